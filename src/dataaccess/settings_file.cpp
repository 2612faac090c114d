#include "dataaccess/settings_file.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vq {
namespace {

bool Blank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trimmed(const std::string& text) {
  size_t from = 0, to = text.size();
  while (from < to && Blank(text[from])) ++from;
  while (to > from && Blank(text[to - 1])) --to;
  return text.substr(from, to - from);
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Drops the blanks that end `item`, except those inside quotes or escaped
// (the first `keep` bytes).
void ChopBlanks(std::string& item, size_t keep) {
  while (item.size() > keep && Blank(item.back())) item.pop_back();
}

size_t SkipBlanks(const std::string& text, size_t i) {
  while (i < text.size() && Blank(text[i])) ++i;
  return i;
}

// Appends the escape at raw[i] (just after the backslash) to `item` and
// returns the index of its last character. The store escapes control
// characters as \x and UTF-16 code units, so a character beyond the BMP
// arrives as two escapes; `high_surrogate` carries the first.
size_t AppendEscape(const std::string& raw, size_t i, std::string& item, uint32_t& high_surrogate) {
  const char e = raw[i];
  switch (e) {
    case 'a':
      item += '\a';
      return i;
    case 'b':
      item += '\b';
      return i;
    case 'f':
      item += '\f';
      return i;
    case 'n':
      item += '\n';
      return i;
    case 'r':
      item += '\r';
      return i;
    case 't':
      item += '\t';
      return i;
    case 'v':
      item += '\v';
      return i;
    case 'x': {
      uint32_t code = 0;
      int digits = 0;
      while (i + 1 < raw.size() && digits < 4 && HexDigit(raw[i + 1]) >= 0) {
        code = code * 16 + static_cast<uint32_t>(HexDigit(raw[++i]));
        ++digits;
      }
      if (code >= 0xD800 && code < 0xDC00) {
        high_surrogate = code;
      } else if (code >= 0xDC00 && code < 0xE000 && high_surrogate != 0) {
        AppendUtf8(item, 0x10000 + ((high_surrogate - 0xD800) << 10) + (code - 0xDC00));
        high_surrogate = 0;
      } else {
        AppendUtf8(item, code);
      }
      return i;
    }
    default:
      if (e >= '0' && e <= '7') {
        uint32_t code = static_cast<uint32_t>(e - '0');
        while (i + 1 < raw.size() && raw[i + 1] >= '0' && raw[i + 1] <= '7' && code < 0x20)
          code = code * 8 + static_cast<uint32_t>(raw[++i] - '0');
        AppendUtf8(item, code);
      } else {
        item += e;  // \" \' \\ \? and anything else: the character itself
      }
      return i;
  }
}

// One value as the store wrote it (the text after '=').
std::string Unescaped(const std::string& raw) {
  std::vector<std::string> items;
  std::string item;
  size_t keep = 0;  // how much of `item` is quoted or escaped text
  bool quoted = false;
  uint32_t high_surrogate = 0;
  for (size_t i = SkipBlanks(raw, 0); i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '"') {
      quoted = !quoted;
      keep = item.size();
    } else if (c == '\\' && i + 1 < raw.size()) {
      i = AppendEscape(raw, i + 1, item, high_surrogate);
      keep = item.size();
    } else if (!quoted && c == ';') {
      break;  // a comment
    } else if (!quoted && c == ',') {
      ChopBlanks(item, keep);
      items.push_back(std::move(item));
      item.clear();
      keep = 0;
      i = SkipBlanks(raw, i + 1) - 1;
    } else {
      item += c;
      if (quoted) keep = item.size();
    }
  }
  ChopBlanks(item, keep);
  items.push_back(std::move(item));
  std::string out;
  for (size_t k = 0; k < items.size(); ++k) out += (k ? ", " : "") + items[k];
  // The store doubles a leading '@', which would otherwise mark a typed value.
  if (out.size() >= 2 && out[0] == '@' && out[1] == '@') out.erase(0, 1);
  return out;
}

}  // namespace

std::map<std::string, std::string> ReadSettingsSection(const std::string& path,
                                                       const std::string& section) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot read the settings file " + path);
  std::map<std::string, std::string> values;
  std::string line, current;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] == ';' || text[0] == '#') continue;
    if (text.front() == '[' && text.back() == ']') {
      current = text.substr(1, text.size() - 2);
      continue;
    }
    const size_t equals = text.find('=');
    if (current != section || equals == std::string::npos) continue;
    values[Trimmed(text.substr(0, equals))] = Unescaped(text.substr(equals + 1));
  }
  if (in.bad()) throw std::runtime_error("Cannot read the settings file " + path);
  return values;
}

std::string DefaultSettingsFile(const std::string& application) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/" + application + ".conf";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/" + application + ".conf";
}

FixedConnectionSettings ReadConnectionSettingsFile(const std::string& path) {
  const std::map<std::string, std::string> values = ReadSettingsSection(path, "Vellquist");
  FixedConnectionSettings settings;
  for (int i = 0; i < kSettingCount; ++i) {
    const auto which = static_cast<Setting>(i);
    const auto it = values.find(SettingKey(which));
    settings.Set(which, it != values.end() ? it->second : SettingDefault(which));
  }
  return settings;
}

}  // namespace vq
