#include "sql_lexer.h"

#include <cctype>

#include "server_message.h"

namespace vq::ase_server {
namespace {

bool IsWordStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool IsWordPart(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80;
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
    } else if (c == '\'' || c == '"' || ((c == 'N' || c == 'n') && peek(1) == '\'')) {
      if (c != '\'' && c != '"') ++i;
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
