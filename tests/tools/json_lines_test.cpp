#include "json_lines.h"

#include <gtest/gtest.h>

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
}

TEST(JsonHeader, ColumnsTypesAndCount) {
  std::vector<FieldInfo> columns = {{"ID", 3}, {"Na\"me\n", 202}};
  EXPECT_EQ(JsonHeaderLine(columns, 7),
            R"({"columns":[{"name":"ID","type":3},{"name":"Na\"me\u000a","type":202}],"count":7})");
  EXPECT_EQ(JsonHeaderLine({}, 0), R"({"columns":[],"count":0})");
}

}  // namespace
}  // namespace vq::tools
