#include "jet/text_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace jet {
namespace {

std::string Unicode(std::vector<uint8_t> bytes) {
  std::string out = "stale";
  DecodeUnicodeText(ByteView(bytes.data(), bytes.size()), out);
  return out;
}

TEST(UnicodeText, CompressedTextSwitchesToTwoByteUnitsAndBack) {
  // "ab", switch, U+03A9 U+4E2D as UCS-2, switch, "c".
  EXPECT_EQ(Unicode({0xFF, 0xFE, 'a', 'b', 0x00, 0xA9, 0x03, 0x2D, 0x4E, 0x00, 'c'}),
            "ab\u03A9\u4E2D"
            "c");
  // A value may end in two-byte mode; Latin-1 letters in one-byte mode.
  EXPECT_EQ(Unicode({0xFF, 0xFE, 0xE9, 0x00, 0xAC, 0x20}), "\u00E9\u20AC");
  EXPECT_EQ(Unicode({0xFF, 0xFE}), "");
}

TEST(UnicodeText, PlainUcs2JoinsSurrogatesAndReplacesLoneOnes) {
  EXPECT_EQ(Unicode({'h', 0, 'i', 0}), "hi");
  EXPECT_EQ(Unicode({0x3D, 0xD8, 0x00, 0xDE}), "\U0001F600");
  EXPECT_EQ(Unicode({0x3D, 0xD8, 'x', 0}), "\uFFFDx");
  // An odd trailing byte is not half a character.
  EXPECT_EQ(Unicode({'o', 0, 'k'}), "o");
}

// Text is decoded in blocks of ASCII; a character that is not ASCII must be
// found wherever it falls against the blocks, and the ASCII around it kept.
TEST(UnicodeText, CharactersBeyondAsciiAtEveryPlaceInARun) {
  const uint32_t specials[] = {0xE9, 0x7F, 0x4E2D, 0x1F600};
  for (size_t length = 1; length <= 40; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (uint32_t special : specials) {
        std::string expected;
        std::vector<uint8_t> plain, packed = {0xFF, 0xFE};
        for (size_t k = 0; k < length; ++k) {
          const uint32_t cp = k == at ? special : 'a' + k % 26;
          AppendUtf8(expected, cp);
          if (cp >= 0x10000) {
            const uint32_t v = cp - 0x10000;
            for (uint32_t unit : {0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)}) {
              plain.push_back(static_cast<uint8_t>(unit));
              plain.push_back(static_cast<uint8_t>(unit >> 8));
            }
          } else {
            plain.push_back(static_cast<uint8_t>(cp));
            plain.push_back(static_cast<uint8_t>(cp >> 8));
          }
          if (cp < 0x100) {
            packed.push_back(static_cast<uint8_t>(cp));
          } else if (cp < 0x10000) {  // two-byte mode for this one character
            packed.insert(packed.end(),
                          {0x00, static_cast<uint8_t>(cp), static_cast<uint8_t>(cp >> 8), 0x00});
          }
        }
        SCOPED_TRACE("length " + std::to_string(length) + ", U+" + std::to_string(special) +
                     " at " + std::to_string(at));
        EXPECT_EQ(Unicode(plain), expected);
        if (special < 0x10000) {
          EXPECT_EQ(Unicode(packed), expected);
        }
      }
    }
  }
  // A long value decoded into a string that held a longer one keeps nothing of it.
  std::string out(100, 'x');
  std::vector<uint8_t> hi = {'h', 0, 'i', 0};
  DecodeUnicodeText(ByteView(hi.data(), hi.size()), out);
  EXPECT_EQ(out, "hi");
}

TEST(CodePageText, MapsWesternAndCyrillicUpperHalves) {
  std::vector<uint8_t> bytes = {'A', 0x80, 0x81, 0xE9, 0x9F};
  std::string out;
  DecodeCodePageText(ByteView(bytes.data(), bytes.size()), 1252, out);
  EXPECT_EQ(out, "A\u20AC\u0081\u00E9\u0178");
  std::vector<uint8_t> cyrillic = {0xC0, 0xFF, 0xA8, 'z'};
  DecodeCodePageText(ByteView(cyrillic.data(), cyrillic.size()), 1251, out);
  EXPECT_EQ(out, "\u0410\u044F\u0401z");
  // A code page without a table of its own reads as 1252.
  DecodeCodePageText(ByteView(bytes.data(), bytes.size()), 437, out);
  EXPECT_EQ(out, "A\u20AC\u0081\u00E9\u0178");
}

TEST(Names, UpperCaseFoldsLettersBeyondAscii) {
  EXPECT_EQ(UpperCaseName("Ums\u00e4tze 2024"), "UMS\u00c4TZE 2024");
  EXPECT_EQ(UpperCaseName("\u00ff\u0153\u0142\u017e"), "\u0178\u0152\u0141\u017d");
  EXPECT_EQ(UpperCaseName("\u043f\u0440\u0438\u0432\u0435\u0442 \u0451"),
            "\u041f\u0420\u0418\u0412\u0415\u0422 \u0401");
  EXPECT_EQ(UpperCaseName("\u03b1\u03c2\u00f7\u4e2d"), "\u0391\u03c2\u00f7\u4e2d");
  EXPECT_EQ(UpperCaseName(std::string("\xC3", 1)), std::string("\xC3", 1));
}

}  // namespace
}  // namespace jet
