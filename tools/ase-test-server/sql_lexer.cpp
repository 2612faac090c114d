#include "sql_lexer.h"

#include <cctype>
#include <cstdint>
#include <optional>

#include "server_message.h"

namespace vq::ase_server {
namespace {

bool IsWordStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool IsWordPart(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The text of a U&'...' literal with its escapes read, as ASE reads them since
// 12.5.1 (Transact-SQL User's Guide, "Entering Unicode characters"): \xxxx is
// the character U+xxxx, \+yyyyyy the character U+yyyyyy, and \\ one
// backslash. A surrogate pair written as two \xxxx is one character.
// nullopt for a malformed escape.
std::optional<std::string> UnicodeEscapes(const std::string& raw) {
  std::string out;
  std::uint32_t high = 0;  // a high surrogate waiting for its pair
  auto hex = [&](std::size_t at, std::size_t digits) -> std::optional<std::uint32_t> {
    if (at + digits > raw.size()) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < digits; ++k) {
      const char c = raw[at + k];
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
      v = v * 16 + static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                  ? c - '0'
                                                  : (std::tolower(c) - 'a' + 10));
    }
    return v;
  };
  for (std::size_t i = 0; i < raw.size();) {
    std::uint32_t cp = 0;
    if (raw[i] != '\\') {
      if (high != 0) return std::nullopt;
      out += raw[i++];
      continue;
    }
    if (i + 1 < raw.size() && raw[i + 1] == '\\') {
      cp = '\\';
      i += 2;
    } else if (i + 1 < raw.size() && raw[i + 1] == '+') {
      auto v = hex(i + 2, 6);
      if (!v || *v > 0x10FFFF) return std::nullopt;
      cp = *v;
      i += 8;
    } else {
      auto v = hex(i + 1, 4);
      if (!v) return std::nullopt;
      cp = *v;
      i += 5;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (high != 0) return std::nullopt;
      high = cp;
      continue;
    }
    if (cp >= 0xDC00 && cp <= 0xDFFF) {
      if (high == 0) return std::nullopt;
      cp = 0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00);
      high = 0;
    } else if (high != 0) {
      return std::nullopt;
    }
    AppendUtf8(out, cp);
  }
  if (high != 0) return std::nullopt;
  return out;
}

}  // namespace

std::vector<Token> Tokenize(std::string_view s, bool quoted_identifier) {
  std::vector<Token> out;
  std::size_t i = 0;
  const std::size_t n = s.size();
  auto peek = [&](std::size_t k) -> unsigned char { return i + k < n ? s[i + k] : '\0'; };
  while (i < n) {
    const unsigned char c = s[i];
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && peek(1) == '-') {
      while (i < n && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && peek(1) == '*') {
      const std::size_t end = s.find("*/", i + 2);
      if (end == std::string_view::npos) throw ServerError(messages::SyntaxNear(s.substr(i, 2)));
      i = end + 2;
      continue;
    }
    Token t;
    t.offset = i;
    if (c == '[') {
      const std::size_t end = s.find(']', i + 1);
      if (end == std::string_view::npos) throw ServerError(messages::SyntaxNear(s.substr(i)));
      t.kind = TokenKind::kQuotedName;
      t.text = std::string(s.substr(i + 1, end - i - 1));
      // ASE drops trailing blanks inside the brackets.
      while (!t.text.empty() && t.text.back() == ' ') t.text.pop_back();
      i = end + 1;
    } else if (c == '\'' || c == '"' || ((c == 'N' || c == 'n') && peek(1) == '\'') ||
               ((c == 'U' || c == 'u') && peek(1) == '&' && (peek(2) == '\'' || peek(2) == '"'))) {
      const bool unicode = c == 'U' || c == 'u';
      if (unicode) i += 2;
      if (c != '\'' && c != '"' && !unicode) ++i;
      const char quote = s[i];
      const bool is_name = quote == '"' && quoted_identifier;
      ++i;
      std::string value;
      bool closed = false;
      while (i < n) {
        // A backslash right before a line break continues the string on the
        // next line: ASE drops both and keeps reading the same literal.
        if (!is_name && s[i] == '\\') {
          if (i + 1 < n && s[i + 1] == '\n') {
            i += 2;
            continue;
          }
          if (i + 2 < n && s[i + 1] == '\r' && s[i + 2] == '\n') {
            i += 3;
            continue;
          }
        }
        if (s[i] == quote) {
          if (i + 1 < n && s[i + 1] == quote) {
            value += quote;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += s[i++];
      }
      if (!closed) throw ServerError(messages::SyntaxNear(s.substr(t.offset, 30)));
      if (unicode) {
        auto decoded = UnicodeEscapes(value);
        if (!decoded) throw ServerError(messages::SyntaxNear(s.substr(t.offset, 30)));
        value = std::move(*decoded);
      }
      t.kind = is_name ? TokenKind::kQuotedName : TokenKind::kString;
      t.text = std::move(value);
    } else if (c == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
      i += 2;
      const std::size_t start = i;
      while (i < n && std::isxdigit(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = TokenKind::kHex;
      t.text = std::string(s.substr(start, i - start));
      if (i < n && IsWordPart(static_cast<unsigned char>(s[i]))) {
        throw ServerError(messages::SyntaxNear(s.substr(t.offset, i + 1 - t.offset)));
      }
    } else if (std::isdigit(c) || (c == '.' && std::isdigit(peek(1)))) {
      const std::size_t start = i;
      while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) {
          i = j;
          while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      t.kind = TokenKind::kNumber;
      t.text = std::string(s.substr(start, i - start));
    } else if (c == '@') {
      const bool global = peek(1) == '@';
      i += global ? 2 : 1;
      const std::size_t start = i;
      while (i < n && IsWordPart(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = global ? TokenKind::kGlobal : TokenKind::kVariable;
      t.text = std::string(s.substr(start, i - start));
    } else if (IsWordStart(c)) {
      const std::size_t start = i;
      while (i < n && IsWordPart(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = TokenKind::kWord;
      t.text = std::string(s.substr(start, i - start));
    } else {
      t.kind = TokenKind::kSymbol;
      const std::string_view two = s.substr(i, 2);
      if (two == "<=" || two == ">=" || two == "<>" || two == "!=") {
        t.text = std::string(two);
        i += 2;
      } else {
        t.text = std::string(1, static_cast<char>(c));
        ++i;
      }
    }
    out.push_back(std::move(t));
  }
  Token end;
  end.kind = TokenKind::kEnd;
  end.offset = n;
  out.push_back(end);
  return out;
}

}  // namespace vq::ase_server
