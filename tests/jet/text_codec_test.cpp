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

// Every byte of every single-byte Windows code page reads as a character that
// writes back to that byte; the bytes a code page leaves unassigned read as
// U+FFFD, except those of 0x80..0x9F, which are C1 controls as in Windows.
TEST(CodePageText, EveryByteOfEveryCodePageRoundTrips) {
  const uint16_t pages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
  for (uint16_t page : pages) {
    size_t replaced = 0;
    for (unsigned b = 0x80; b < 0x100; ++b) {
      SCOPED_TRACE("code page " + std::to_string(page) + ", byte " + std::to_string(b));
      const uint8_t byte = static_cast<uint8_t>(b);
      std::string text;
      DecodeCodePageText(ByteView(&byte, 1), page, text);
      std::vector<uint8_t> back;
      const std::optional<uint32_t> refused = AppendCodePageText(text, page, back);
      if (text == "\uFFFD") {
        EXPECT_GE(b, 0xA0u);
        EXPECT_EQ(refused, 0xFFFDu);
        EXPECT_TRUE(back.empty());
        ++replaced;
        continue;
      }
      EXPECT_FALSE(refused.has_value());
      EXPECT_EQ(back, std::vector<uint8_t>{byte});
    }
    // Of 0xA0..0xFF Thai leaves eight bytes unassigned, Hebrew eleven, Greek
    // three, Baltic two, the others none.
    const size_t expected = page == 874    ? 8
                            : page == 1255 ? 11
                            : page == 1253 ? 3
                            : page == 1257 ? 2
                                           : 0;
    EXPECT_EQ(replaced, expected) << page;
  }
}

// One letter of each code page's own script, at the byte its code page puts it.
TEST(CodePageText, EachCodePageReadsItsOwnScript) {
  const struct {
    uint16_t page;
    uint8_t byte;
    const char* text;
  } cases[] = {{874, 0xA1, "\u0E01"},  {1250, 0xB3, "\u0142"}, {1251, 0xC0, "\u0410"},
               {1252, 0xE9, "\u00E9"}, {1253, 0xC1, "\u0391"}, {1254, 0xF0, "\u011F"},
               {1255, 0xE0, "\u05D0"}, {1256, 0xC7, "\u0627"}, {1257, 0xE8, "\u010D"},
               {1258, 0xD0, "\u0110"}};
  for (const auto& c : cases) {
    std::string out;
    const uint8_t bytes[] = {'a', c.byte};
    DecodeCodePageText(ByteView(bytes, 2), c.page, out);
    EXPECT_EQ(out, std::string("a") + c.text) << c.page;
    EXPECT_EQ(CodePageByteOf(0x0391, c.page).has_value(), c.page == 1253) << c.page;
  }
}

TEST(CodePageText, RefusesWhatTheCodePageCannotHold) {
  std::vector<uint8_t> out = {'x'};
  // Greek in the Central European page; nothing of the value is appended.
  EXPECT_EQ(AppendCodePageText("ab\u03A9", 1250, out), 0x03A9u);
  EXPECT_EQ(out, std::vector<uint8_t>{'x'});
  // A character beyond U+FFFF is named whole.
  EXPECT_EQ(AppendCodePageText("\U0001F600", 1253, out), 0x1F600u);
  // Vietnamese: a letter and a combining mark are two bytes, but the
  // precomposed letter 1258 lacks is refused, not decomposed.
  out.clear();
  EXPECT_FALSE(AppendCodePageText("e\u0301", 1258, out).has_value());
  EXPECT_EQ(out, (std::vector<uint8_t>{'e', 0xEC}));
  EXPECT_EQ(AppendCodePageText("\u00E9\u1EBF", 1258, out), 0x1EBFu);
  // U+0080 has no byte in 1252, whose 0x80 is the euro sign; U+0081 does.
  out.clear();
  EXPECT_EQ(AppendCodePageText("\u0080", 1252, out), 0x80u);
  EXPECT_FALSE(AppendCodePageText("\u0081\u20AC", 1252, out).has_value());
  EXPECT_EQ(out, (std::vector<uint8_t>{0x81, 0x80}));
}

// A code page that is not a single-byte Windows one (the double-byte pages of
// East Asia, or a value that names none) reads as 1252 and takes only ASCII.
TEST(CodePageText, OtherCodePagesReadAsWesternAndTakeOnlyAscii) {
  const uint8_t bytes[] = {'A', 0x80, 0x81, 0xE9, 0x9F};
  for (uint16_t page : {uint16_t{936}, uint16_t{932}, uint16_t{437}, uint16_t{0xFFFF}}) {
    std::string out;
    DecodeCodePageText(ByteView(bytes, sizeof bytes), page, out);
    EXPECT_EQ(out, "A\u20AC\u0081\u00E9\u0178");
    std::vector<uint8_t> written;
    EXPECT_FALSE(AppendCodePageText("plain ~", page, written).has_value());
    EXPECT_EQ(AppendCodePageText("\u00E9", page, written), 0xE9u);
    EXPECT_NE(CodePageNote(page).find("writes only ASCII"), std::string::npos);
  }
  EXPECT_EQ(CodePageNote(1253), "it keeps text in the Greek code page 1253");
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
