#include "json_lines.h"

#include <gtest/gtest.h>

#include <limits>

namespace vq::tools {
namespace {

std::string Quoted(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

TEST(JsonString, EscapesQuotesBackslashesAndEveryControlCharacter) {
  EXPECT_EQ(Quoted(""), "\"\"");
  EXPECT_EQ(Quoted("say \"hi\" C:\\x"), R"("say \"hi\" C:\\x")");
  EXPECT_EQ(Quoted("a\nb\r\tc"), R"("a\u000ab\u000d\u0009c")");
  EXPECT_EQ(Quoted(std::string_view("\0\x1f", 2)), R"("\u0000\u001f")");
  // DEL and the solidus need no escape in JSON.
  EXPECT_EQ(Quoted("\x7f/"), "\"\x7f/\"");
}

TEST(JsonString, PassesValidUtf8AndReplacesInvalidBytes) {
  EXPECT_EQ(Quoted("Zürich 日本 \xF0\x9F\x98\x80"), "\"Zürich 日本 \xF0\x9F\x98\x80\"");
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(Quoted("a\xFF"
                   "b"),
            "\"a" + fffd + "b\"");
  EXPECT_EQ(Quoted("end\xC3"), "\"end" + fffd + "\"");                  // cut-off sequence
  EXPECT_EQ(Quoted("\xC0\xAF"), "\"" + fffd + fffd + "\"");             // overlong "/"
  EXPECT_EQ(Quoted("\xED\xA0\x80"), "\"" + fffd + fffd + fffd + "\"");  // surrogate
  EXPECT_EQ(Quoted("\xF4\x90\x80\x80"), "\"" + fffd + fffd + fffd + fffd + "\"");  // > U+10FFFF
  // A stray byte does not swallow the ASCII after it.
  EXPECT_EQ(Quoted("\xE6\x97\"x"), "\"" + fffd + fffd + "\\\"x\"");
}

// Plain text is copied in blocks; a character that needs care must be found
// wherever it falls against them, and the text before and after kept.
TEST(JsonString, CharactersNeedingCareAtEveryPlaceInARun) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"", "\\\""},           {"\\", "\\\\"},           {"\n", "\\u000a"},
      {"\x1f", "\\u001f"},      {"\xC3\xA9", "\xC3\xA9"},  // é passes as it is
      {"\xFF", "\xEF\xBF\xBD"},                            // a stray byte becomes U+FFFD
  };
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at = 0; at <= length; ++at) {
      for (const auto& [raw, escaped] : cases) {
        std::string text, expected = "\"";
        for (size_t k = 0; k <= length; ++k) {
          if (k == at) {
            text += raw;
            expected += escaped;
          }
          if (k < length) {
            const char c =
                static_cast<char>(' ' + (k * 7) % 95);  // printable, '"' and '\' left out
            const char plain = c == '"' || c == '\\' ? 'q' : c;
            text += plain;
            expected += plain;
          }
        }
        expected += '"';
        EXPECT_EQ(Quoted(text), expected) << "length " << length << ", at " << at;
      }
    }
  }
}

TEST(JsonRow, ValueKindsAndTheirForms) {
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 17);
  std::vector<Value> row = {Value{},
                            true,
                            false,
                            int64_t{-9223372036854775807LL - 1},
                            int64_t{42},
                            1.5,
                            Currency{-12345},
                            DateTime{2024, 2, 29, 13, 5, 9, 0},
                            std::string("O'Brien \"x\""),
                            Bytes{{0x00, 0xAB}},
                            g};
  EXPECT_EQ(JsonRowLine(row), R"([null,true,false,-9223372036854775808,42,"1.5","-1.2345",)"
                              R"("2024-02-29 13:05:09","O'Brien \"x\"","0x00AB",)"
                              R"("{00112233-4455-6677-8899-AABBCCDDEEFF}"])");
  EXPECT_EQ(JsonRowLine({}), "[]");
  // The other kinds print their text as a JSON string, appended after what is there.
  std::string line = "[";
  AppendJsonValue(line, Decimal{123456, 4, true});
  AppendJsonValue(line, std::numeric_limits<double>::quiet_NaN());
  AppendJsonValue(line, DateTime{-5, 1, 2, 3, 4, 5, 600000000});
  EXPECT_EQ(line, R"(["-12.3456""NaN""-005-01-02 03:04:05.6")");
}

TEST(JsonHeader, ColumnsTypesAndCount) {
  std::vector<FieldInfo> columns = {{"ID", 3}, {"Na\"me\n", 202}};
  EXPECT_EQ(JsonHeaderLine(columns, 7),
            R"({"columns":[{"name":"ID","type":3},{"name":"Na\"me\u000a","type":202}],"count":7})");
  EXPECT_EQ(JsonHeaderLine({}, 0), R"({"columns":[],"count":0})");
}

}  // namespace
}  // namespace vq::tools
