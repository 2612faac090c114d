// The test server's token and value encoders against byte strings FreeTDS is
// known to accept, and the login record parser.
#include <gtest/gtest.h>

#include "column_type.h"
#include "login_record.h"
#include "row_encoding.h"
#include "server_charset.h"
#include "server_message.h"
#include "tokens.h"

namespace vq::ase_server {
namespace {

Bytes Hex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

ResultColumn Col(std::string name, TypeKind kind, bool nullable, int length = 0, int precision = 0,
                 int scale = 0) {
  ResultColumn c;
  c.name = std::move(name);
  c.type = ColumnType{kind, length, precision, scale};
  c.nullable = nullable;
  return c;
}

Bytes Value(const ResultColumn& c, const CellValue& v, std::size_t text_size = 1 << 20) {
  Bytes out;
  WriteValue(out, c, v, text_size);
  return out;
}

TEST(AseServerWire, RowFormatAndRowsMatchAcceptedBytes) {
  const std::vector<ResultColumn> columns{Col("ID", TypeKind::kInt, false),
                                          Col("Customer", TypeKind::kVarChar, true, 255),
                                          Col("Paid", TypeKind::kBit, false)};
  Bytes format;
  WriteRowFormat(format, columns);
  EXPECT_EQ(format, Hex("ee 29 00 03 00 02 49 44 00 07 00 00 00 38 00 08 43 75 73 74 6f 6d 65 72"
                        " 20 02 00 00 00 27 ff 00 04 50 61 69 64 00 10 00 00 00 32 00"));
  Bytes row;
  WriteRow(row, columns, {std::int64_t{7}, Text{"O'Hara"}, std::int64_t{1}}, 100);
  EXPECT_EQ(row, Hex("d1 07 00 00 00 06 4f 27 48 61 72 61 01"));
  row.clear();
  WriteRow(row, columns, {std::int64_t{8}, std::monostate{}, std::int64_t{0}}, 100);
  EXPECT_EQ(row, Hex("d1 08 00 00 00 00 00"));
}

TEST(AseServerWire, ControlTokensMatchAcceptedBytes) {
  Bytes b;
  WriteLoginAck(b, true);
  EXPECT_EQ(b, Hex("ad 14 00 05 05 00 00 00 0a 73 71 6c 20 73 65 72 76 65 72 0f 07 00 00"));
  b.clear();
  WriteDone(b, kDoneCount, 1);
  EXPECT_EQ(b, Hex("fd 10 00 00 00 01 00 00 00"));
  b.clear();
  WriteEnvChange(b, kEnvDatabase, "testdb", "master");
  EXPECT_EQ(b, Hex("e3 0f 00 01 06 74 65 73 74 64 62 06 6d 61 73 74 65 72"));
  b.clear();
  WriteMessage(b, messages::ObjectNotFound("Orders"));
  ASSERT_GT(b.size(), 30u);
  EXPECT_EQ(b[0], 0xE5);
  EXPECT_EQ(b[1] | (b[2] << 8), static_cast<int>(b.size()) - 3);  // length covers the rest
  EXPECT_EQ(Bytes(b.begin() + 3, b.begin() + 9), Hex("d0 00 00 00 01 10"));  // 208, state 1, sev 16
  const std::size_t text_len = b[18] | (b[19] << 8);
  EXPECT_EQ(std::string(b.begin() + 20, b.begin() + 20 + static_cast<long>(text_len)),
            "Orders not found. Specify owner.objectname or use sp_help to check whether the "
            "object exists (sp_help may produce lots of output).\n");
}

TEST(AseServerWire, NumericsUseFreeTdsByteCountsAndBigEndianMagnitude) {
  const int expected[39] = {0,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,
                            7,  7,  8,  8,  9,  9,  9,  10, 10, 11, 11, 11, 12,
                            12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17};
  for (int p = 1; p <= 38; ++p) EXPECT_EQ(NumericByteCount(p), expected[p]) << p;
  // numeric(10,2) -1234.56: 6 bytes = sign + 5-byte magnitude of 123456.
  EXPECT_EQ(Value(Col("n", TypeKind::kNumeric, false, 0, 10, 2), Numeric{-123456}),
            Hex("06 01 00 00 01 e2 40"));
  EXPECT_EQ(Value(Col("n", TypeKind::kDecimal, true, 0, 5, 0), std::monostate{}), Hex("00"));
  Bytes format;
  WriteRowFormat(format, {Col("d", TypeKind::kDecimal, true, 0, 38, 4)});
  // usertype 27 (nullable decimal), DECN, size 17, precision 38, scale 4, locale.
  EXPECT_EQ(Bytes(format.end() - 9, format.end()), Hex("1b 00 00 00 6a 11 26 04 00"));
}

TEST(AseServerWire, FixedAndNullableFormsOfEachType) {
  // money: high 32 bits first. -1.0000 = -10000 units.
  EXPECT_EQ(Value(Col("m", TypeKind::kMoney, false), std::int64_t{-10000}),
            Hex("ff ff ff ff f0 d8 ff ff"));
  EXPECT_EQ(Value(Col("m", TypeKind::kMoney, true), std::int64_t{(5LL << 32) + 1}),
            Hex("08 05 00 00 00 01 00 00 00"));
  EXPECT_EQ(Value(Col("m", TypeKind::kSmallMoney, true), std::monostate{}), Hex("00"));
  EXPECT_EQ(Value(Col("i", TypeKind::kInt, true), std::int64_t{-2}), Hex("04 fe ff ff ff"));
  EXPECT_EQ(Value(Col("i", TypeKind::kSmallInt, false), std::int64_t{258}), Hex("02 01"));
  EXPECT_EQ(Value(Col("b", TypeKind::kBigInt, false), std::int64_t{1}),
            Hex("01 00 00 00 00 00 00 00"));
  EXPECT_EQ(Value(Col("f", TypeKind::kFloat, true), 1.0), Hex("08 00 00 00 00 00 00 f0 3f"));
  EXPECT_EQ(Value(Col("r", TypeKind::kReal, false), 1.0), Hex("00 00 80 3f"));
  // datetime: days, then 1/300 s ticks; a day before 1900 is negative.
  EXPECT_EQ(Value(Col("d", TypeKind::kDateTime, false), std::int64_t{-1 * 25920000 + 300}),
            Hex("ff ff ff ff 2c 01 00 00"));
  EXPECT_EQ(Value(Col("d", TypeKind::kSmallDateTime, true), std::int64_t{2 * 1440 + 61}),
            Hex("04 02 00 3d 00"));
  EXPECT_EQ(Value(Col("d", TypeKind::kDate, true), std::monostate{}), Hex("00"));
  EXPECT_EQ(Value(Col("c", TypeKind::kChar, false, 3), Text{"ab "}), Hex("03 61 62 20"));
  EXPECT_EQ(Value(Col("u", TypeKind::kUniVarChar, true, 5), Text{"é"}), Hex("02 00 00 00 e9 00"));
  EXPECT_EQ(Value(Col("u", TypeKind::kUniChar, true, 5), std::monostate{}), Hex("00 00 00 00"));
  EXPECT_EQ(Value(Col("v", TypeKind::kVarChar, true, 300), Text{"ab"}), Hex("02 00 00 00 61 62"));
  EXPECT_EQ(Value(Col("b", TypeKind::kBit, false), std::int64_t{1}), Hex("01"));

  // The ROWFMT type byte and usertype follow the declaration and nullability.
  struct Expect {
    ResultColumn column;
    std::uint8_t type;
    std::uint32_t usertype;
  };
  const std::vector<Expect> table{
      {Col("", TypeKind::kInt, false), 0x38, 7},
      {Col("", TypeKind::kInt, true), 0x26, 7},
      {Col("", TypeKind::kTinyInt, true), 0x26, 5},
      {Col("", TypeKind::kBigInt, false), 0xBF, 43},
      {Col("", TypeKind::kMoney, true), 0x6E, 17},
      {Col("", TypeKind::kSmallMoney, false), 0x7A, 21},
      {Col("", TypeKind::kFloat, true), 0x6D, 14},
      {Col("", TypeKind::kReal, false), 0x3B, 23},
      {Col("", TypeKind::kDateTime, true), 0x6F, 15},
      {Col("", TypeKind::kSmallDateTime, false), 0x3A, 22},
      {Col("", TypeKind::kDate, false), 0x31, 37},
      {Col("", TypeKind::kTime, true), 0x93, 40},
      {Col("", TypeKind::kChar, false, 5), 0x2F, 1},
      {Col("", TypeKind::kChar, true, 5), 0x27, 1},
      {Col("", TypeKind::kVarChar, true, 300), 0xAF, 2},
      {Col("", TypeKind::kText, true), 0x23, 19},
      {Col("", TypeKind::kUniChar, false, 2), 0xE1, 34},
      {Col("", TypeKind::kUniVarChar, true, 2), 0xE1, 35},
      {Col("", TypeKind::kUniText, true), 0x23, 36},
      {Col("", TypeKind::kBinary, false, 4), 0x2D, 3},
      {Col("", TypeKind::kVarBinary, false, 4), 0x25, 4},
      {Col("", TypeKind::kImage, true), 0x22, 20},
      {Col("", TypeKind::kBit, false), 0x32, 16},
      {Col("", TypeKind::kNumeric, true, 0, 5, 2), 0x6C, 28},
  };
  for (const Expect& e : table) {
    const WireFormat w = WireFormatFor(e.column.type, e.column.nullable);
    EXPECT_EQ(w.type, e.type) << TypeDeclaration(e.column.type);
    EXPECT_EQ(w.usertype, e.usertype) << TypeDeclaration(e.column.type);
  }
}

TEST(AseServerWire, LargeObjectsCarryATextPointerAndHonourTextSize) {
  ResultColumn text = Col("t", TypeKind::kText, true);
  text.table = "T";
  Bytes format;
  WriteRowFormat(format, {text});
  // ... type 0x23, max length 4 bytes, table name with a 2-byte length, locale.
  EXPECT_EQ(Bytes(format.end() - 9, format.end()), Hex("23 ff ff ff 7f 01 00 54 00"));
  const Bytes whole = Value(text, Text{"abcdef"});
  ASSERT_EQ(whole.size(), 1u + 16 + 8 + 4 + 6);
  EXPECT_EQ(whole[0], 16);
  EXPECT_EQ(Bytes(whole.end() - 10, whole.end()), Hex("06 00 00 00 61 62 63 64 65 66"));
  const Bytes cut = Value(text, Text{"abcdef"}, 4);
  EXPECT_EQ(Bytes(cut.end() - 8, cut.end()), Hex("04 00 00 00 61 62 63 64"));
  EXPECT_EQ(Value(text, std::monostate{}), Hex("00"));
  EXPECT_EQ(Value(Col("i", TypeKind::kImage, true), Binary{{1, 2}}).back(), 2);
}

// With iso_1 the wire carries one byte a character; what iso_1 cannot hold
// is '?' where ASE would store or send it, and the Unicode types keep it.
TEST(AseServerWire, Iso1ServersCarryOneByteACharacter) {
  struct Restore {
    ~Restore() { SetWireCharset(ServerCharset::kUtf8); }
  } restore;
  EXPECT_EQ(ToWire("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xC3\xA9 \xE2\x82\xAC");  // utf8: as is
  SetWireCharset(ServerCharset::kIso1);
  EXPECT_EQ(ToWire("caf\xC3\xA9 \xE2\x82\xAC\xE6\x97\xA5"), "caf\xE9 ??");
  EXPECT_EQ(ToWire("bad \xC3"), "bad ?");  // a cut sequence never passes as Latin-1
  EXPECT_EQ(FromWire("caf\xE9 \xFF"), "caf\xC3\xA9 \xC3\xBF");
  EXPECT_EQ(AsStored("a\xE2\x82\xAC\xC3\xA9"), "a?\xC3\xA9");
  EXPECT_EQ(StoredBytes("caf\xC3\xA9"), 4u);
  EXPECT_EQ(Value(Col("v", TypeKind::kVarChar, true, 10), Text{"\xC3\xA9\xE2\x82\xAC"}),
            Hex("02 e9 3f"));
  EXPECT_EQ(Value(Col("u", TypeKind::kUniVarChar, true, 5), Text{"\xE2\x82\xAC"}),
            Hex("02 00 00 00 ac 20"));
  Bytes format;
  WriteRowFormat(format, {Col("\xC3\xA9", TypeKind::kInt, false)});
  EXPECT_EQ(format[5], 1);  // the name's length: one byte
  EXPECT_EQ(format[6], 0xE9);
}

TEST(AseServerWire, LoginRecordFields) {
  Bytes login(603, 0);
  auto put = [&](std::size_t at, const std::string& v) {
    std::copy(v.begin(), v.end(), login.begin() + static_cast<long>(at));
    login[at + 30] = static_cast<std::uint8_t>(v.size());
  };
  put(31, "sa");
  put(62, "x");
  put(140, "TSQL");
  std::copy_n("512", 3, login.begin() + 557);
  login[563] = 3;
  login[568] = 0xE2;
  login[569] = 32;
  login[571] = 0x01;
  const auto parsed = ParseLoginRecord(login);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->user, "sa");
  EXPECT_EQ(parsed->password, "x");
  EXPECT_EQ(parsed->application, "TSQL");
  EXPECT_EQ(parsed->packet_size, 512u);
  ASSERT_EQ(parsed->capability.size(), 32u);
  EXPECT_EQ(parsed->capability[0], 0x01);
  // Too short to be a login; a length byte larger than its field is clamped.
  EXPECT_FALSE(ParseLoginRecord(Bytes(100, 0)));
  login[61] = 200;
  EXPECT_EQ(ParseLoginRecord(login)->user.size(), 30u);
}

}  // namespace
}  // namespace vq::ase_server
