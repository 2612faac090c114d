#include "ase/ase_statement.h"

#include "ase/ase_error.h"

namespace vq::ase {
namespace {

// Past a quoted run that starts at `i` (', " or [); doubled closers stay inside.
size_t SkipQuoted(std::string_view s, size_t i) {
  char close = s[i] == '[' ? ']' : s[i];
  ++i;
  while (i < s.size()) {
    if (s[i] == close) {
      if (i + 1 < s.size() && s[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return s.size();
}

// Past a comment that starts at `i`, or one character on when there is none.
size_t SkipComment(std::string_view s, size_t i) {
  if (s[i] == '-' && i + 1 < s.size() && s[i + 1] == '-') {
    size_t nl = s.find('\n', i + 2);
    return nl == std::string_view::npos ? s.size() : nl + 1;
  }
  if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '*') {
    size_t end = s.find("*/", i + 2);
    return end == std::string_view::npos ? s.size() : end + 2;
  }
  return i + 1;
}

}  // namespace

size_t FindParameterMarker(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size()) {
    switch (sql[i]) {
      case '\'':
      case '"':
      case '[':
        i = SkipQuoted(sql, i);
        break;
      case '-':
      case '/':
        i = SkipComment(sql, i);
        break;
      case '?':
        return i;
      default:
        ++i;
    }
  }
  return std::string_view::npos;
}

void CheckStatementText(std::string_view sql) {
  if (sql.find('\0') != std::string_view::npos) {
    throw AseError(ErrorKind::kClient, 0, "the statement holds a NUL character and was not sent");
  }
  size_t marker = FindParameterMarker(sql);
  if (marker != std::string_view::npos) {
    throw AseError(ErrorKind::kClient, 0,
                   "the statement holds a '?' outside quotes or brackets (at character " +
                       std::to_string(marker + 1) +
                       "), which the client library takes for a parameter marker; it was not "
                       "sent. Put the '?' inside quotes or brackets.");
  }
}

std::string BracketName(std::string_view name) {
  if (name.empty()) throw AseError(ErrorKind::kClient, 0, "an empty name cannot be used");
  for (char c : name) {
    if (c == ']' || c == '.' || static_cast<unsigned char>(c) < 0x20) {
      throw AseError(ErrorKind::kClient, 0,
                     "the name \"" + std::string(name) +
                         "\" holds a character ASE cannot take in a bracketed name (']', '.' or "
                         "a control character)");
    }
  }
  return "[" + std::string(name) + "]";
}

}  // namespace vq::ase
