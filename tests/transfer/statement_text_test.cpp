// The column types and literals the transfers write, and the names they refuse.
#include "transfer/statement_text.h"

#include <gtest/gtest.h>

#include "dataaccess/error.h"

namespace vq {
namespace {

std::string Refusal(void (*check)(const std::string&, const char*), const std::string& name) {
  try {
    check(name, "table");
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.Number(), errors::kInvalidArgument);
    return e.Description();
  }
  return "";
}

TEST(AseColumnFor, FollowsTheFirstMatchingTestWithTheTypeMends) {
  EXPECT_EQ(AseColumnFor("advarwchar").suffix, " TEXT NULL,");
  EXPECT_EQ(AseColumnFor("adlongvarbinary").suffix, " TEXT NULL,");
  EXPECT_EQ(AseColumnFor("adinteger").suffix, " INTEGER NULL,");
  EXPECT_EQ(AseColumnFor("adunsignedtinyint").kind, AseColumnKind::kNumber);
  EXPECT_EQ(AseColumnFor("adbigint").suffix, " BIGINT NULL,");
  EXPECT_EQ(AseColumnFor("adcurrency").suffix, " MONEY NULL,");
  EXPECT_EQ(AseColumnFor("adcurrency").kind, AseColumnKind::kNumber);
  EXPECT_EQ(AseColumnFor("addate").suffix, " TEXT NULL,");
  EXPECT_EQ(AseColumnFor("adboolean").suffix, " BIT,");
  EXPECT_EQ(AseColumnFor("adsingle").suffix, " TEXT NULL,");
  EXPECT_EQ(AseColumnFor("").kind, AseColumnKind::kText);
}

TEST(AseLiteral, TruthValuesByTypeNullsAsNullAndOnlyNumbersBare) {
  EXPECT_EQ(AseLiteral(AseColumnKind::kBit, true), "1");
  EXPECT_EQ(AseLiteral(AseColumnKind::kBit, false), "0");
  EXPECT_EQ(AseLiteral(AseColumnKind::kBit, std::monostate{}), "0");
  EXPECT_EQ(AseLiteral(AseColumnKind::kText, std::string("True")), "'True'");
  EXPECT_EQ(AseLiteral(AseColumnKind::kText, std::string("'True'")), "'''True'''");
  EXPECT_EQ(AseLiteral(AseColumnKind::kText, std::string("")), "''");
  EXPECT_EQ(AseLiteral(AseColumnKind::kText, std::monostate{}), "NULL");
  EXPECT_EQ(AseLiteral(AseColumnKind::kNumber, std::monostate{}), "NULL");
  EXPECT_EQ(AseLiteral(AseColumnKind::kNumber, Currency{12345}), "1.2345");
  EXPECT_EQ(AseLiteral(AseColumnKind::kNumber, int64_t{1} << 62), "4611686018427387904");
  // A text in a number column is never bare, whatever it holds.
  EXPECT_EQ(AseLiteral(AseColumnKind::kNumber, std::string("1); DROP TABLE x --")),
            "'1); DROP TABLE x --'");
  EXPECT_EQ(AseLiteral(AseColumnKind::kText, Bytes{{0x00, 0x27, 0xFF}}), "'0x0027FF'");
}

TEST(AccessColumnFor, KeepsPrecisionLengthAndBinary) {
  FieldInfo none;
  FieldInfo num;
  num.precision = 12;
  num.scale = 3;
  EXPECT_EQ(AccessColumnFor("adnumeric", num).suffix, "` DECIMAL(12,3),");
  EXPECT_EQ(AccessColumnFor("addecimal", num).suffix, "` DECIMAL(12,3),");
  num.precision = 38;
  num.scale = 30;
  EXPECT_EQ(AccessColumnFor("adnumeric", num).suffix, "` DECIMAL(28,28),");
  EXPECT_EQ(AccessColumnFor("adnumeric", none).suffix, "` DECIMAL,");
  EXPECT_EQ(AccessColumnFor("adsingle", none).suffix, "` REAL,");
  EXPECT_EQ(AccessColumnFor("adinteger", none).suffix, "` INT,");
  // A Long column would cut 64-bit integers to 32 bits.
  EXPECT_EQ(AccessColumnFor("adbigint", none, true).suffix, "` BIGINT,");
  EXPECT_EQ(AccessColumnFor("adbigint", none, false).suffix, "` DECIMAL(19,0),");
  EXPECT_EQ(AccessColumnFor("adunsignedbigint", none, true).suffix, "` DECIMAL(20,0),");
  EXPECT_EQ(AccessColumnFor("adlongvarbinary", none).kind, AccessColumnKind::kBinary);
  EXPECT_EQ(AccessColumnFor("advarbinary", none).kind, AccessColumnKind::kText);
  EXPECT_EQ(AccessColumnFor("adcurrency", none).suffix, "` VARCHAR,");
  FieldInfo text;
  text.defined_size = 255;
  EXPECT_EQ(AccessColumnFor("advarchar", text).suffix, "` VARCHAR,");
  text.defined_size = 256;
  EXPECT_EQ(AccessColumnFor("advarchar", text).suffix, "` MEMO,");
  text.defined_size = 510;  // 255 wide characters
  EXPECT_EQ(AccessColumnFor("advarwchar", text).suffix, "` VARCHAR,");
  EXPECT_EQ(AccessColumnFor("addbtimestamp", none).suffix, "` DATETIME,");
}

TEST(NameChecks, RefuseTheClosingDelimiterControlCharactersAndOverlongNames) {
  EXPECT_EQ(Refusal(CheckAseName, "Order Details 'x' [1 `y` \xE2\x82\xAC"), "");
  EXPECT_EQ(Refusal(CheckAseName, "a]b"),
            "'a]b' cannot be used as a table name in Sybase ASE: it holds a closing bracket (]).");
  EXPECT_NE(Refusal(CheckAseName, std::string("a\0b", 3)).find("control character"),
            std::string::npos);
  EXPECT_NE(Refusal(CheckAseName, "").find("empty"), std::string::npos);
  EXPECT_EQ(Refusal(CheckAseName, std::string(255, 'x')), "");
  EXPECT_NE(Refusal(CheckAseName, std::string(256, 'x')).find("255"), std::string::npos);

  EXPECT_EQ(Refusal(CheckAccessName, "Order Details ' [x"),
            "'Order Details ' [x' cannot be used "
            "as a table name in Access: it holds "
            "the character '['.");
  EXPECT_EQ(Refusal(CheckAccessName, "Bestellungen \xC3\x84 'x' \"y\""), "");
  EXPECT_NE(Refusal(CheckAccessName, " lead").find("begins with a blank"), std::string::npos);
  EXPECT_NE(Refusal(CheckAccessName, "a\nb").find("'a?b'"), std::string::npos);
  EXPECT_EQ(Refusal(CheckAccessName, std::string(64, 'x')), "");
  EXPECT_NE(Refusal(CheckAccessName, std::string(65, 'x')).find("64"), std::string::npos);

  EXPECT_NO_THROW(CheckAccessSourceName("Order Details.old"));
  EXPECT_THROW(CheckAccessSourceName("a`b"), DatabaseError);
}

TEST(RowPercent, CountsTheRowBeingSent) {
  EXPECT_EQ(RowPercent(0, 4), 25);
  EXPECT_EQ(RowPercent(3, 4), 100);
  EXPECT_EQ(RowPercent(0, 3), 33);
  EXPECT_EQ(RowPercent(1, 3), 67);
  EXPECT_EQ(RowPercent(0, 200000), 0);
  EXPECT_EQ(RowPercent(0, 0), 0);
}

}  // namespace
}  // namespace vq
