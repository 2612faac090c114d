// ASCII case folding for names, keywords and keys. Only A-Z and a-z fold;
// every other byte (and so every byte of a multi-byte UTF-8 character) stays
// as it is, whatever locale the process runs in: std::tolower would fold
// Latin-1 bytes under a Latin-1 locale and split UTF-8 text apart.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vq::ascii {

// `c` in lower case when it is an ASCII capital, else `c` itself.
constexpr char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// `c` in upper case when it is an ASCII small letter, else `c` itself.
constexpr char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

// `s` with its ASCII capitals made small.
inline std::string Lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

// `s` with its ASCII small letters made capitals.
inline std::string Uppered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Upper(c);
  return out;
}

// Whether `a` and `b` are equal once ASCII letters are folded.
constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Whether `a` sorts before `b` once ASCII letters are folded, bytes compared
// unsigned (so UTF-8 text keeps its code point order).
constexpr bool LessIgnoreCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

}  // namespace vq::ascii
