#include "json_lines.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <variant>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// True when a byte of the eight in `w` is one AppendJsonString cannot copy as
// it is: below 0x20, not ASCII, '"' or '\'. Exact for the word as a whole,
// which is all the caller asks.
inline bool AnyNeedsCare(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  auto has_zero = [](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
  const uint64_t below_space = (w - kOnes * 0x20) & ~w & kHighs;
  return ((w & kHighs) | below_space | has_zero(w ^ (kOnes * '"')) |
          has_zero(w ^ (kOnes * '\\'))) != 0;
}

inline bool NeedsCare(unsigned char c) {
  return c < 0x20 || c >= 0x80 || c == '"' || c == '\\';
}

// The length of the plain printable ASCII (nothing to escape) at the start of `text`.
size_t PlainPrefix(std::string_view text) {
  const char* p = text.data();
  const size_t n = text.size();
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // Compared as signed bytes, those from 0x80 up are below 0x20 as well.
    const __m128i care = _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
    if (const int mask = _mm_movemask_epi8(care); mask != 0)
      return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
  }
#endif
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (AnyNeedsCare(w)) break;
  }
  while (i < n && !NeedsCare(static_cast<unsigned char>(p[i]))) ++i;
  return i;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  static const char* hex = "0123456789abcdef";
  out.push_back('"');
  size_t i = 0;
  while (i < text.size()) {
    // Plain printable ASCII goes out in one piece: most text is nothing else.
    size_t run = PlainPrefix(text.substr(i));
    if (run > 0) {
      out.append(text.data() + i, run);
      i += run;
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
  if (const auto* s = std::get_if<std::string>(&value)) {
    AppendJsonString(out, *s);
  } else if (const auto* i = std::get_if<int64_t>(&value)) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, *i).ptr);
  } else if (IsNull(value)) {
    out += "null";
  } else if (const auto* b = std::get_if<bool>(&value)) {
    out += *b ? "true" : "false";
  } else {
    // Every other kind's text is made of digits, signs, letters, points,
    // dashes, colons, blanks and braces: nothing in it needs escaping.
    out.push_back('"');
    AppendText(out, value);
    out.push_back('"');
  }
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
