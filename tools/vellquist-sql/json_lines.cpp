#include "json_lines.h"

#include <charconv>
#include <type_traits>
#include <variant>

namespace vq::tools {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  static const char* hex = "0123456789abcdef";
  out.push_back('"');
  size_t i = 0;
  while (i < text.size()) {
    // Plain printable ASCII goes out in one piece: most text is nothing else.
    size_t run = i;
    while (run < text.size()) {
      unsigned char c = static_cast<unsigned char>(text[run]);
      if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') break;
      ++run;
    }
    if (run > i) {
      out.append(text.data() + i, run - i);
      i = run;
      if (i == text.size()) break;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out.push_back('\\');
        out.push_back(static_cast<char>(c));
      } else {
        out += "\\u00";
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
      }
      ++i;
      continue;
    }
    size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for one stray byte
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  out.push_back('"');
}

void AppendJsonValue(std::string& out, const Value& value) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          out += "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          out += v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, int64_t>) {
          char buf[24];
          auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
          out.append(buf, end);
        } else if constexpr (std::is_same_v<T, std::string>) {
          AppendJsonString(out, v);
        } else if constexpr (std::is_same_v<T, Bytes>) {
          static const char* hex = "0123456789ABCDEF";
          out += "\"0x";
          for (uint8_t b : v.data) {
            out.push_back(hex[b >> 4]);
            out.push_back(hex[b & 15]);
          }
          out.push_back('"');
        } else {
          AppendJsonString(out, ToText(value));
        }
      },
      value);
}

std::string JsonHeaderLine(const std::vector<FieldInfo>& columns, int64_t count) {
  std::string out = "{\"columns\":[";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) out.push_back(',');
    out += "{\"name\":";
    AppendJsonString(out, columns[i].name);
    out += ",\"type\":" + std::to_string(columns[i].type) + "}";
  }
  out += "],\"count\":" + std::to_string(count) + "}";
  return out;
}

std::string JsonRowLine(const std::vector<Value>& row) {
  std::string out = "[";
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) out.push_back(',');
    AppendJsonValue(out, row[i]);
  }
  out.push_back(']');
  return out;
}

}  // namespace vq::tools
