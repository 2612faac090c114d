#include "jet/text_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "jet/code_page_tables.h"
#include "jet/error.h"

namespace jet {
namespace {

// The character of byte `b` (0x80..0xFF) in `table`: an unassigned byte of
// 0x80..0x9F is the C1 control of the same value, as Windows reads it, any
// other unassigned byte U+FFFD. Without a table the byte reads as in 1252.
uint32_t MapHighByte(uint8_t b, const CodePageTable* table) {
  if (table == nullptr) {
    static const CodePageTable* const western = FindCodePageTable(1252);
    table = western;
  }
  const uint16_t u = table->high[b - 0x80];
  if (u != 0) return u;
  return b < 0xA0 ? b : 0xFFFDu;
}

// The byte of character `u` (U+0080 and above) in `table`, or 0 for none.
uint8_t FindByte(uint32_t u, const CodePageTable& table) {
  const CodePageByte* end = table.by_character + table.assigned;
  const CodePageByte* at =
      std::lower_bound(table.by_character, end, u,
                       [](const CodePageByte& e, uint32_t c) { return e.character < c; });
  if (at != end && at->character == u) return at->byte;
  // A C1 control goes back to the byte that reads as it.
  if (u < 0xA0 && table.high[u - 0x80] == 0) return static_cast<uint8_t>(u);
  return 0;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

namespace {

// Writes the UTF-8 form of code point `cp` at `q`; returns the end.
char* PutUtf8(char* q, uint32_t cp) {
  if (cp < 0x80) {
    *q++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *q++ = static_cast<char>(0xC0 | (cp >> 6));
    *q++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *q++ = static_cast<char>(0xE0 | (cp >> 12));
    *q++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *q++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *q++ = static_cast<char>(0xF0 | (cp >> 18));
    *q++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *q++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *q++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return q;
}

// Writes UCS-2 units as UTF-8 at `q`, joining surrogate pairs; a lone
// surrogate becomes U+FFFD. `q` has room for 3 bytes a unit. Returns the end.
char* PutUnits(const uint8_t* p, size_t units, char* q) {
  size_t k = 0;
  while (k < units) {
    // Text is mostly ASCII: eight, then four units at a time while all are.
#if defined(__SSE2__)
    for (; k + 8 <= units; k += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * k));
      const __m128i above = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, _mm_setzero_si128())) != 0xFFFF) break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_packus_epi16(v, v));
      q += 8;
    }
#endif
    for (; k + 4 <= units; k += 4) {
      const uint64_t w = Le64(p + 2 * k);
      if (w & 0xFF80FF80FF80FF80ull) break;
      q[0] = static_cast<char>(w);
      q[1] = static_cast<char>(w >> 16);
      q[2] = static_cast<char>(w >> 32);
      q[3] = static_cast<char>(w >> 48);
      q += 4;
    }
    if (k == units) break;
    uint32_t u = Le16(p + 2 * k);
    ++k;
    if (u >= 0xD800 && u < 0xDC00 && k < units) {
      uint32_t lo = Le16(p + 2 * k);
      if (lo >= 0xDC00 && lo < 0xE000) {
        q = PutUtf8(q, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
    q = PutUtf8(q, u);
  }
  return q;
}

// Makes `out` at least `size` bytes long, for writing from its start; the
// caller cuts it to what it wrote. Keeps what `out` already holds allocated.
char* Room(std::string& out, size_t size) {
  if (out.size() < size) out.resize(size);
  return out.data();
}

}  // namespace

void Ucs2ToUtf8(ByteView bytes, std::string& out) {
  const size_t units = bytes.size() / 2;
  char* start = Room(out, 3 * units);
  out.resize(static_cast<size_t>(PutUnits(bytes.data(), units, start) - start));
}

void DecodeUnicodeText(ByteView bytes, std::string& out) {
  const uint8_t* p = bytes.data();
  size_t n = bytes.size();
  if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) {
    Ucs2ToUtf8(bytes, out);
    return;
  }
  // A compressed byte becomes at most two bytes of UTF-8, a two-byte unit at most three.
  char* const start = Room(out, 2 * n);
  char* q = start;
  size_t i = 2;
  bool compressed = true;
  while (i < n) {
    if (p[i] == 0) {
      compressed = !compressed;
      ++i;
      continue;
    }
    if (compressed) {
      // Eight bytes at a time while none is a mode switch or above ASCII.
      for (; i + 8 <= n; i += 8) {
        const uint64_t w = Le64(p + i);
        constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
        if ((w & kHighs) || ((w - kOnes) & ~w & kHighs)) break;
        std::memcpy(q, p + i, 8);
        q += 8;
      }
      if (i < n && p[i] != 0) {
        q = PutUtf8(q, p[i]);
        ++i;
      }
    } else if (i + 1 < n) {
      // Two-byte units until a unit starts with the 0x00 mode switch.
      size_t first = i;
      while (i + 1 < n && p[i] != 0) i += 2;
      q = PutUnits(p + first, (i - first) / 2, q);
      if (i + 1 == n && p[i] != 0) ++i;  // a stray odd byte at the end
    } else {
      ++i;  // a stray odd byte at the end
    }
  }
  out.resize(static_cast<size_t>(q - start));
}

namespace {

uint32_t UpperCodePoint(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs capital and small letters, mostly capital first.
    bool odd_small = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool even_small = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (odd_small && (c & 1)) return c - 1;
    if (even_small && !(c & 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

}  // namespace

std::string UpperCaseName(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size(), i = 0;
  while (i < n) {
    unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(static_cast<char>(UpperCodePoint(b)));
      ++i;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
      // Every letter that folds lies in the two-byte range.
      uint32_t c = ((b & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu);
      AppendUtf8(out, c < 0x80 ? c : UpperCodePoint(c));
      i += 2;
    } else {
      out.push_back(static_cast<char>(b));
      ++i;
    }
  }
  return out;
}

void DecodeCodePageText(ByteView bytes, uint16_t code_page, std::string& out) {
  const CodePageTable* table = FindCodePageTable(code_page);
  out.clear();
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = bytes.data()[i];
    if (b < 0x80)
      out.push_back(static_cast<char>(b));
    else
      AppendUtf8(out, MapHighByte(b, table));
  }
}

}  // namespace jet

namespace jet {
namespace {

[[noreturn]] void ThrowBadUtf8(size_t at) {
  throw JetError(
      error_numbers::kTypeMismatch,
      "text is not valid UTF-8 (a malformed sequence at byte " + std::to_string(at) + ")");
}

// Characters a compressed value keeps as one byte.
bool OneByte(uint16_t u) {
  return u >= 0x01 && u <= 0xFF;
}

}  // namespace

namespace {

// Calls emit(unit) for each UTF-16 unit of `utf8`; malformed UTF-8 throws.
template <typename Emit>
void ForEachUtf16Unit(std::string_view utf8, Emit emit) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    unsigned char b = p[i];
    if (b < 0x80) {
      emit(static_cast<uint16_t>(b));
      ++i;
      continue;
    }
    size_t extra;
    uint32_t cp, min;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1Fu, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0Fu, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07u, min = 0x10000;
    } else {
      ThrowBadUtf8(i);
    }
    if (extra > n - i - 1) ThrowBadUtf8(i);
    for (size_t k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ThrowBadUtf8(i);
      cp = (cp << 6) | (p[i + k] & 0x3Fu);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are not UTF-8.
    if (cp < min || (cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF) ThrowBadUtf8(i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      emit(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      emit(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      emit(static_cast<uint16_t>(cp));
    }
    i += extra + 1;
  }
}

}  // namespace

void Utf8ToUtf16(std::string_view utf8, std::vector<uint16_t>& units) {
  ForEachUtf16Unit(utf8, [&](uint16_t u) { units.push_back(u); });
}

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (unsigned char b : utf8) {
    if ((b & 0xC0) != 0x80) ++units;  // a lead byte or ASCII
    if ((b & 0xF8) == 0xF0) ++units;  // beyond U+FFFF: a surrogate pair
  }
  return units;
}

void AppendUcs2(const uint16_t* units, size_t count, std::vector<uint8_t>& out) {
  size_t at = out.size();
  out.resize(at + 2 * count);
  uint8_t* q = out.data() + at;
  for (size_t k = 0; k < count; ++k) {
    q[2 * k] = static_cast<uint8_t>(units[k]);
    q[2 * k + 1] = static_cast<uint8_t>(units[k] >> 8);
  }
}

bool AppendCompressedUnicode(const uint16_t* units, size_t count, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  out.push_back(0xFF);
  out.push_back(0xFE);
  bool one_byte = true;  // a compressed value starts in one-byte mode
  for (size_t i = 0; i < count; ++i) {
    const uint16_t u = units[i];
    // A zero byte may only ever be a mode switch: a unit with a zero low
    // byte cannot be written at all, and characters up to U+00FF (zero high
    // byte) only in one-byte mode. Every reader then agrees on the value.
    if ((u & 0xFF) == 0) {
      out.resize(start);
      return false;
    }
    if (OneByte(u) != one_byte) {
      out.push_back(0x00);
      one_byte = !one_byte;
    }
    out.push_back(static_cast<uint8_t>(u));
    if (!one_byte) out.push_back(static_cast<uint8_t>(u >> 8));
  }
  if (out.size() - start >= 2 * count) {
    out.resize(start);
    return false;
  }
  return true;
}

size_t AppendUnicodeText(std::string_view utf8, bool may_compress, std::vector<uint16_t>& scratch,
                         std::vector<uint8_t>& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  bool plain_ascii = true;
  for (size_t k = 0; k < n && plain_ascii; ++k) plain_ascii = p[k] >= 0x01 && p[k] < 0x80;
  if (plain_ascii) {
    // The common case, without going through UTF-16 units.
    size_t at = out.size();
    if (may_compress && n > 2) {
      out.resize(at + 2 + n);
      out[at] = 0xFF;
      out[at + 1] = 0xFE;
      std::memcpy(out.data() + at + 2, p, n);
    } else {
      out.resize(at + 2 * n);
      uint8_t* q = out.data() + at;
      for (size_t k = 0; k < n; ++k) {
        q[2 * k] = p[k];
        q[2 * k + 1] = 0;
      }
    }
    return n;
  }
  if (!may_compress) {
    // Straight to bytes: long memo values need no second copy as units.
    size_t units = 0;
    out.reserve(out.size() + 2 * n);
    ForEachUtf16Unit(utf8, [&](uint16_t u) {
      out.push_back(static_cast<uint8_t>(u));
      out.push_back(static_cast<uint8_t>(u >> 8));
      ++units;
    });
    return units;
  }
  scratch.clear();
  Utf8ToUtf16(utf8, scratch);
  if (!AppendCompressedUnicode(scratch.data(), scratch.size(), out))
    AppendUcs2(scratch.data(), scratch.size(), out);
  return scratch.size();
}

std::optional<uint32_t> AppendCodePageText(std::string_view utf8, uint16_t code_page,
                                           std::vector<uint8_t>& out) {
  const CodePageTable* table = FindCodePageTable(code_page);
  const size_t start = out.size();
  std::optional<uint32_t> refused;
  uint32_t high = 0;  // a high surrogate waiting for its partner
  ForEachUtf16Unit(utf8, [&](uint16_t u) {
    if (refused) return;
    if (high != 0) {
      refused = 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00u);
      return;
    }
    if (u >= 0xD800 && u < 0xDC00) {
      high = u;
      return;
    }
    if (u < 0x80) {
      out.push_back(static_cast<uint8_t>(u));
      return;
    }
    // One character is one byte: a character the code page has only as a
    // letter and a combining mark (the Vietnamese 1258 lacks most precomposed
    // letters) is refused, not decomposed, so what is written reads back as
    // the very character that was given.
    if (table != nullptr) {
      if (const uint8_t b = FindByte(u, *table)) {
        out.push_back(b);
        return;
      }
    }
    refused = u;
  });
  if (refused) out.resize(start);
  return refused;
}

std::optional<uint8_t> CodePageByteOf(uint32_t character, uint16_t code_page) {
  if (character < 0x80) return static_cast<uint8_t>(character);
  const CodePageTable* table = FindCodePageTable(code_page);
  if (table == nullptr || character > 0xFFFF) return std::nullopt;
  if (const uint8_t b = FindByte(character, *table)) return b;
  return std::nullopt;
}

std::string CodePageNote(uint16_t code_page) {
  if (const CodePageTable* table = FindCodePageTable(code_page))
    return "it keeps text in the " + std::string(table->name) + " code page " +
           std::to_string(code_page);
  return "it keeps text in code page " + std::to_string(code_page) +
         ", which is not a single-byte Windows code page this program knows, so it writes only "
         "ASCII there";
}

std::string NotInCodePage(uint32_t character, uint16_t code_page) {
  return DescribeCharacter(character) + ", which this Access 97 file cannot hold (" +
         CodePageNote(code_page) + ")";
}

std::string DescribeCharacter(uint32_t code_point) {
  std::string out = "'";
  AppendUtf8(out, code_point);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(code_point));
  return out + "' (U+" + hex + ")";
}

}  // namespace jet
