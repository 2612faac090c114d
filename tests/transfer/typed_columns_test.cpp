// "Keep column types": the column each source type becomes on the other side,
// the literals of its values, and the statements both transfers then send.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dataaccess/ase_provider.h"
#include "transfer/row_sender.h"
#include "transfer/typed_columns.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Statements = std::vector<std::string>;

FieldInfo Required(FieldInfo f) {
  f.nullable = false;
  return f;
}

TEST(TypedAseColumn, EveryAccessTypeBecomesTheAseTypeThatHoldsItsValues) {
  const AseServerTypes all;
  struct Case {
    FieldInfo field;
    const char* type;
    TypedAseKind kind;
  };
  const Case cases[] = {
      {Column("b", kAdUnsignedTinyInt), "tinyint", TypedAseKind::kInteger},
      {Column("i", kAdSmallInt), "smallint", TypedAseKind::kInteger},
      {Column("l", kAdInteger), "int", TypedAseKind::kInteger},
      {Column("q", kAdBigInt), "bigint", TypedAseKind::kInteger},
      {Column("c", kAdCurrency), "money", TypedAseKind::kExact},
      {Column("s", kAdSingle), "real", TypedAseKind::kReal},
      {Column("d", kAdDouble), "float", TypedAseKind::kFloat},
      {Column("n", kAdNumeric, 0, 18, 4), "numeric(18,4)", TypedAseKind::kExact},
      {Column("t", kAdDate), "datetime", TypedAseKind::kDateTime},
      {Column("y", kAdBoolean), "bit", TypedAseKind::kBit},
      {Column("x", kAdVarWChar, 50), "univarchar(50)", TypedAseKind::kUnicode},
      {Column("m", kAdLongVarWChar), "unitext", TypedAseKind::kUnicode},
      {Column("v", kAdVarBinary, 8), "varbinary(8)", TypedAseKind::kBinary},
      {Column("o", kAdLongVarBinary), "image", TypedAseKind::kBinary},
      {Column("g", kAdGuid), "char(38)", TypedAseKind::kText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field.name);
    const TypedAseColumn column = TypedAseColumnFor(c.field, all, false);
    EXPECT_EQ(column.type, c.type);
    EXPECT_EQ(column.kind, c.kind);
    // Bit is NOT NULL on ASE whatever Access says; the rest follow Access.
    EXPECT_EQ(column.not_null, c.field.type == kAdBoolean);
  }
  // A required column and a key column hold a value in every row.
  EXPECT_EQ(
      TypedAseDefinition("a b", TypedAseColumnFor(Required(Column("", kAdInteger)), all, false)),
      "[a b] int NOT NULL");
  FieldInfo key = Column("k", kAdVarWChar, 10);
  key.key_position = 1;
  EXPECT_TRUE(TypedAseColumnFor(key, all, false).not_null);
  EXPECT_EQ(AsePrimaryKey({"k", "second key"}), "PRIMARY KEY ([k],[second key])");
  EXPECT_EQ(AsePrimaryKey({}), "");
}

TEST(TypedAseColumn, OlderServersGetTheTypesTheyHave) {
  const AseServerTypes old{false, false, false};
  EXPECT_EQ(TypedAseColumnFor(Column("q", kAdBigInt), old, false).type, "numeric(19,0)");
  EXPECT_EQ(TypedAseColumnFor(Column("m", kAdLongVarWChar), old, false).type, "text");
  // A date datetime cannot hold stays datetime without bigdatetime, and its
  // row is refused when sent.
  EXPECT_EQ(TypedAseColumnFor(Column("t", kAdDate), old, true).type, "datetime");
  EXPECT_EQ(TypedAseColumnFor(Column("t", kAdDate), AseServerTypes{}, true).type, "bigdatetime");
}

TEST(TypedAseLiteral, NumbersAreExactAndFloatsReadBackAsTheSameDouble) {
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kInteger, Value{int64_t{-32768}}), "-32768");
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kExact, Value{Currency{-9223372036854775807 - 1}}),
            "-922337203685477.5808");
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kExact, Value{Decimal{123456789, 4, true}}),
            "-12345.6789");
  // An exponent makes ASE read an approximate number, never a 300-digit exact one.
  for (double d : {0.1, 1e300, -2.5e-308, 5e-324, 1.7976931348623157e308, 3.4028234663852886e38}) {
    const std::string text = TypedAseLiteral(TypedAseKind::kFloat, Value{d});
    EXPECT_NE(text.find('e'), std::string::npos) << text;
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), d) << text;
  }
  // The largest single as Access prints it lies above the largest single.
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kReal, Value{3.4028235e38}), "3.4028234663852886e+38");
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kBit, Value{true}), "1");
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kBinary, Value{Bytes{{0x00, 0xAB}}}), "0x00AB");
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kInteger, Value{}), "NULL");
}

TEST(TypedAseLiteral, ValuesAseCannotHoldAreRefusedNotChanged) {
  auto refused = [](TypedAseKind kind, const Value& v) {
    try {
      TypedAseLiteral(kind, v);
    } catch (const DatabaseError& e) {
      EXPECT_EQ(e.Number(), -2147217833);
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(refused(TypedAseKind::kFloat, Value{std::numeric_limits<double>::quiet_NaN()}), "");
  EXPECT_NE(refused(TypedAseKind::kFloat, Value{-HUGE_VAL}), "");
  const std::string old = refused(TypedAseKind::kDateTime, Value{DateTime{1752, 12, 31}});
  EXPECT_NE(old.find("1752-12-31"), std::string::npos) << old;
  EXPECT_NE(old.find("1753"), std::string::npos) << old;
  // 1 ms lies between two of datetime's 1/300 s ticks.
  EXPECT_NE(refused(TypedAseKind::kDateTime, Value{DateTime{2024, 1, 1, 0, 0, 0, 1000000}}), "");
  EXPECT_NE(refused(TypedAseKind::kBigDateTime, Value{DateTime{2024, 1, 1, 0, 0, 0, 100}}), "");
  // What each type holds is written as it is.
  EXPECT_EQ(TypedAseLiteral(TypedAseKind::kDateTime, Value{DateTime{1753, 1, 1, 0, 0, 0, 3000000}}),
            "'1753-01-01 00:00:00.003'");
  EXPECT_EQ(
      TypedAseLiteral(TypedAseKind::kBigDateTime, Value{DateTime{100, 1, 1, 23, 59, 59, 1000}}),
      "'0100-01-01 23:59:59.000001'");
}

TEST(TypedAseLiteral, DateTimeHoldsExactlyTheMillisecondsItsTicksReadBackAs) {
  // Ticks of 10/3 ms read back as .000, .003, .007, .010, ...
  for (uint32_t ms : {0u, 3u, 7u, 10u, 13u, 997u}) {
    EXPECT_TRUE(DateTimeHolds(DateTime{2000, 1, 1, 0, 0, 0, ms * 1000000})) << ms;
  }
  for (uint32_t ms : {1u, 2u, 5u, 999u}) {
    EXPECT_FALSE(DateTimeHolds(DateTime{2000, 1, 1, 0, 0, 0, ms * 1000000})) << ms;
  }
  EXPECT_TRUE(DateTimeHolds(DateTime{9999, 12, 31, 23, 59, 59, 0}));
  EXPECT_FALSE(DateTimeHolds(DateTime{1752, 12, 31, 23, 59, 59, 0}));
}

TEST(AseUnicodeLiteral, AnyScriptAndEveryLineBreakArriveWhole) {
  EXPECT_EQ(AseUnicodeLiteral("O'Hara"), "'O''Hara'");
  EXPECT_EQ(AseUnicodeLiteral("Gr\xC3\xB6\xC3\x9F"
                              "e"),
            "U&'Gr\\00F6\\00DFe'");
  // Beyond the first plane, and a backslash before CR LF: no line break and
  // no lone backslash stands in the statement.
  EXPECT_EQ(AseUnicodeLiteral("\xF0\x9F\x98\x80"), "U&'\\+01F600'");
  EXPECT_EQ(AseUnicodeLiteral("C:\\dir\\\r\nit's"), "U&'C:\\\\dir\\\\\\000D\\000Ait''s'");
  EXPECT_EQ(AseUnicodeLiteral(""), "''");
}

TEST(TypedAccessSuffix, EveryAseTypeBecomesTheAccessTypeThatHoldsIt) {
  struct Case {
    FieldInfo field;
    bool takes_bigint;
    const char* suffix;
    bool binary;
  };
  const Case cases[] = {
      {Column("", kAdBoolean), false, "` BIT,", false},
      {Column("", kAdCurrency), false, "` CURRENCY,", false},
      {Column("", kAdUnsignedTinyInt), false, "` BYTE,", false},
      {Column("", kAdSmallInt), false, "` SHORT,", false},
      {Required(Column("", kAdInteger)), false, "` LONG NOT NULL,", false},
      {Column("", kAdBigInt), true, "` BIGINT,", false},
      {Column("", kAdBigInt), false, "` DECIMAL(19,0),", false},
      {Column("", kAdSingle), false, "` REAL,", false},
      {Column("", kAdDouble), false, "` FLOAT,", false},
      {Column("", kAdNumeric, 0, 38, 10), false, "` DECIMAL(28,10),", false},
      {Column("", kAdDBTimeStamp), false, "` DATETIME,", false},
      {Column("", kAdVarBinary, 8), false, "` BINARY(8),", true},
      {Column("", kAdBinary, 4000), false, "` OLEOBJECT,", true},
      {Column("", kAdLongVarBinary), false, "` OLEOBJECT,", true},
      {Column("", kAdLongVarChar), false, "` MEMO,", false},
      {Column("", kAdLongVarWChar), false, "` MEMO,", false},
      {Column("", kAdChar, 38), false, "` VARCHAR(38),", false},
      {Column("", kAdVarChar, 255), false, "` VARCHAR(255),", false},
      {Column("", kAdVarChar, 256), false, "` MEMO,", false},
      // univarchar(50) is 100 bytes wide.
      {Required(Column("", kAdVarWChar, 100)), false, "` VARCHAR(50) NOT NULL,", false},
      // ASE's bit is always NOT NULL; Access's Yes/No needs no Required for that.
      {Required(Column("", kAdBoolean)), false, "` BIT,", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.suffix);
    bool binary = !c.binary;
    EXPECT_EQ(TypedAccessSuffix(c.field, c.takes_bigint, binary), c.suffix);
    EXPECT_EQ(binary, c.binary);
  }
}

TEST(AseVersion, TheVersionIsReadFromTheServersOwnText) {
  EXPECT_EQ(ParseAseVersion("Adaptive Server Enterprise/15.7/EBF 0 SQLite/P/x86_64/Linux/"), 1570);
  EXPECT_EQ(ParseAseVersion("Adaptive Server Enterprise/16.0 SP03 PL02/EBF 27413 SMP/P/"), 1600);
  EXPECT_EQ(ParseAseVersion("Adaptive Server Enterprise/12.5.1/EBF 11428/P/"), 1250);
  EXPECT_EQ(ParseAseVersion("SQL Server/11.0/"), 1100);
  EXPECT_EQ(ParseAseVersion("something else"), 0);
  EXPECT_EQ(ParseAseVersion("x/y"), 0);
}

// The statements both transfers send with the box checked.
class KeepTypes : public TransferTest {
 protected:
  KeepTypes() { options_.keep_column_types = true; }
};

TEST_F(KeepTypes, ToAseCreatesTypedColumnsNotNullAndThePrimaryKey) {
  FakeTable& t = access_->tables["Orders"];
  FieldInfo id = Required(Column("ID", kAdInteger));
  id.key_position = 1;
  FieldInfo line = Column("Line", kAdSmallInt);
  line.key_position = 2;
  t.columns = {id,
               line,
               Column("Customer", kAdVarWChar, 40),
               Column("Paid", kAdBoolean),
               Column("When", kAdDate),
               Column("Total", kAdCurrency)};
  t.rows = {{int64_t{7}, int64_t{1}, std::string("M\xC3\xBCller"), true,
             DateTime{2024, 2, 29, 13, 45, 30, 0}, Currency{125000}},
            {int64_t{8}, int64_t{1}, std::monostate{}, false, std::monostate{}, std::monostate{}}};
  Select(list1_, {"Orders"});
  EXPECT_EQ(ToAse(), 0) << (Reports().empty() ? "" : Reports()[0]);
  EXPECT_EQ(ase_->executed,
            (Statements{"CREATE TABLE [Orders]([ID] int NOT NULL,[Line] smallint NOT NULL,"
                        "[Customer] univarchar(40) NULL,[Paid] bit NOT NULL,[When] datetime NULL,"
                        "[Total] money NULL,PRIMARY KEY ([ID],[Line]))",
                        "INSERT INTO [Orders] VALUES(7, 1, U&'M\\00FCller', 1, "
                        "'2024-02-29 13:45:30.000', 12.5)",
                        "INSERT INTO [Orders] VALUES(8, 1, NULL, 0, NULL, NULL)"}));
}

TEST_F(KeepTypes, ADateBefore1753MakesTheColumnBigdatetime) {
  FakeTable& t = access_->tables["Old"];
  t.columns = {Column("when", kAdDate), Column("later", kAdDate)};
  t.rows = {{DateTime{2000, 1, 1}, DateTime{2000, 1, 1}},
            {DateTime{1492, 10, 12}, std::monostate{}}};
  Select(list1_, {"Old"});
  EXPECT_EQ(ToAse(), 0) << (Reports().empty() ? "" : Reports()[0]);
  ASSERT_EQ(ase_->executed.size(), 3u);
  EXPECT_EQ(ase_->executed[0], "CREATE TABLE [Old]([when] bigdatetime NULL,[later] datetime NULL)");
  EXPECT_EQ(ase_->executed[2], "INSERT INTO [Old] VALUES('1492-10-12 00:00:00.000000', NULL)");
}

TEST_F(KeepTypes, ABitOrMemoInTheKeyLeavesTheKeyOutButKeepsTheColumns) {
  FakeTable& t = access_->tables["K"];
  FieldInfo flag = Column("flag", kAdBoolean);
  flag.key_position = 1;
  t.columns = {flag, Column("n", kAdInteger)};
  Select(list1_, {"K"});
  EXPECT_EQ(ToAse(), 0);
  EXPECT_EQ(ase_->executed, Statements{"CREATE TABLE [K]([flag] bit NOT NULL,[n] int NULL)"});
}

TEST_F(KeepTypes, ARowWithAValueAseCannotHoldIsReportedAndTheOthersGoOn) {
  FakeTable& t = access_->tables["F"];
  t.columns = {Column("n", kAdInteger), Column("d", kAdDouble)};
  t.rows = {{int64_t{1}, 1.5},
            {int64_t{2}, std::numeric_limits<double>::infinity()},
            {int64_t{3}, -0.25}};
  Select(list1_, {"F"});
  EXPECT_EQ(ToAse(), 1);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("cannot be stored in Sybase ASE"), std::string::npos) << Reports()[0];
  EXPECT_NE(Reports()[0].find("INSERT INTO [F] VALUES(2, "), std::string::npos) << Reports()[0];
  EXPECT_EQ(ase_->executed, (Statements{"CREATE TABLE [F]([n] int NULL,[d] float NULL)",
                                        "INSERT INTO [F] VALUES(1, 1.5e+00)",
                                        "INSERT INTO [F] VALUES(3, -2.5e-01)"}));
  EXPECT_EQ(list2_.Items(), Statements{"F"});
}

TEST_F(KeepTypes, ToAccessKeepsAsesTypesAsAccessHasThem) {
  FakeTable& t = ase_->tables["Prices"];
  t.columns = {Required(Column("id", kAdInteger)),  Column("flag", kAdBoolean),
               Column("small", kAdUnsignedTinyInt), Column("amount", kAdCurrency),
               Column("code", kAdVarBinary, 4),     Column("name", kAdVarWChar, 60),
               Column("note", kAdLongVarChar)};
  t.rows = {{int64_t{1}, true, int64_t{255}, Currency{10000}, Bytes{{1, 2}}, std::string("it's"),
             std::string("n")}};
  Select(list2_, {"Prices"});
  EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports()[0]);
  EXPECT_EQ(access_->executed,
            (Statements{"CREATE TABLE `Prices`(`id` LONG NOT NULL,`flag` BIT,`small` BYTE,"
                        "`amount` CURRENCY,`code` BINARY(4),`name` VARCHAR(30),`note` MEMO);",
                        "INSERT INTO `Prices` VALUES('1', 'True', '255', '1', 0x0102, 'it''s', "
                        "'n')"}));
}

}  // namespace
}  // namespace vq::testing

namespace vq::testing {
namespace {

// Without bigdatetime every row of an old date would be refused: one
// question after ten, not one box a row.
TEST_F(KeepTypes, ManyRowsAseCannotHoldAskOnceAndNoEndsTheTable) {
  FakeTable& t = access_->tables["Inf"];
  t.columns = {Column("d", kAdDouble)};
  for (int k = 0; k < 50; ++k) t.rows.push_back({std::numeric_limits<double>::infinity()});
  Select(list1_, {"Inf"});
  dialogs_.yes_no_answers = {kAnswerNo};
  EXPECT_EQ(ToAse(), RowSender::kFailureRun);
  int questions = 0;
  for (const auto& m : dialogs_.messages) questions += m.title == kFailureRunTitle ? 1 : 0;
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(ase_->executed, Statements{"CREATE TABLE [Inf]([d] float NULL)"});
}

}  // namespace
}  // namespace vq::testing
