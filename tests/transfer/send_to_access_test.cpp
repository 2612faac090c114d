// "Send Table/s To Access" over provider doubles on both sides: the
// statements sent, character for character, the column types, the lists, the
// questions and what is refused.
#include <gtest/gtest.h>

#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Statements = std::vector<std::string>;
constexpr const char* kHandler = "PushButton4_Click";

class ToAccessLogic : public TransferTest {
 protected:
  void AddTable(const std::string& name, int rows = 0) {
    FakeTable& t = ase_->tables[name];
    t.columns = {Column("n", kAdInteger)};
    for (int i = 1; i <= rows; ++i) t.rows.push_back({Value{int64_t{i}}});
  }
};

TEST_F(ToAccessLogic, WithoutACurrentEntryOnlyAsksForATable) {
  list2_.AddItem("T");
  EXPECT_EQ(ToAccess(), 0);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Please select a table to send.");
  EXPECT_EQ(dialogs_.messages[0].style, kMsgOkOnly);
  EXPECT_TRUE(access_->opened.empty());
  EXPECT_TRUE(ase_->opened.empty());
}

TEST_F(ToAccessLogic, EveryValueGoesQuotedAndNullOrEmptyAsNull) {
  FakeTable& t = ase_->tables["T"];
  t.columns = {Column("id", kAdInteger), Column("name", kAdVarChar, 30),
               Column("price", kAdNumeric, 0, 12, 3)};
  t.rows = {{int64_t{1}, std::string("it's"), std::monostate{}},
            {std::monostate{}, std::string("x"), Decimal{1234567, 3, false}},
            {int64_t{2}, std::string(""), Decimal{5, 3, true}},
            {std::monostate{}, std::string("   "), std::monostate{}},
            {std::monostate{}, std::monostate{}, std::monostate{}}};
  Select(list2_, {"T"});
  EXPECT_EQ(ToAccess(), 0);
  EXPECT_EQ(access_->executed,
            (Statements{"CREATE TABLE `T`(`id` INT,`name` VARCHAR,`price` DECIMAL(12,3));",
                        "INSERT INTO `T` VALUES('1', 'it''s', NULL)",
                        "INSERT INTO `T` VALUES(NULL, 'x', '1234.567')",
                        "INSERT INTO `T` VALUES('2', NULL, '-0.005')",
                        "INSERT INTO `T` VALUES(NULL, '   ', NULL)",
                        "INSERT INTO `T` VALUES(NULL, NULL, NULL)"}));
  EXPECT_EQ(list1_.Items(), Statements{"T"});
  EXPECT_EQ(progress_.history, (std::vector<int>{20, 40, 60, 80, 100, 0}));
  EXPECT_EQ(pointer_.history, (std::vector<int>{kPointerHourglass, kPointerDefault}));
}

TEST_F(ToAccessLogic, ColumnsKeepTheirPrecisionLengthAndBytes) {
  FakeTable& t = ase_->tables["Kinds"];
  t.columns = {Column("dec", kAdDecimal, 0, 10, 2),
               Column("wide", kAdNumeric, 0, 38, 10),
               Column("re", kAdSingle),
               Column("fl", kAdDouble),
               Column("long", kAdVarChar, 1000),
               Column("v255", kAdVarChar, 255),
               Column("uni", kAdVarWChar, 400),
               Column("uniwide", kAdVarWChar, 600),
               Column("tx", kAdLongVarChar),
               Column("img", kAdLongVarBinary),
               Column("vb", kAdVarBinary, 4),
               Column("bit", kAdBoolean),
               Column("mo", kAdCurrency),
               Column("dt", kAdDBTimeStamp),
               Column("big", kAdBigInt),
               Column("ch", kAdChar, 10)};
  Bytes every;
  for (int b = 0; b < 256; ++b) every.data.push_back(static_cast<uint8_t>(b));
  const std::string thousand(1000, 'k');
  t.rows = {{Decimal{1, 2, true}, Decimal{1, 10, false}, 1.5, 0.25, thousand, std::string("v"),
             std::string("\xE6\x97\xA5"), std::string("u"), std::string("t"), every,
             Bytes{{0x00, 0xFF}}, true, Currency{1}, DateTime{1999, 12, 31, 23, 59, 58, 0},
             int64_t{1} << 40, std::string("c")},
            {std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{},
             std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{},
             std::monostate{}, std::monostate{}, std::monostate{}, false, std::monostate{},
             std::monostate{}, std::monostate{}, std::monostate{}}};
  Select(list2_, {"Kinds"});
  EXPECT_EQ(ToAccess(), 0);
  ASSERT_EQ(access_->executed.size(), 3u);
  EXPECT_EQ(access_->executed[0],
            "CREATE TABLE `Kinds`(`dec` DECIMAL(10,2),`wide` DECIMAL(28,10),`re` REAL,`fl` FLOAT,"
            "`long` MEMO,`v255` VARCHAR,`uni` VARCHAR,`uniwide` MEMO,`tx` MEMO,`img` OLEOBJECT,"
            "`vb` VARCHAR,`bit` VARCHAR,`mo` VARCHAR,`dt` DATETIME,`big` BIGINT,`ch` VARCHAR);");
  EXPECT_EQ(access_->executed[1],
            "INSERT INTO `Kinds` VALUES('-0.01', '0.0000000001', '1.5', '0.25', '" + thousand +
                "', 'v', '\xE6\x97\xA5', 'u', 't', " + BytesToHex(every.data) +
                ", '0x00FF', 'True', '0.0001', '1999-12-31 23:59:58', '1099511627776', 'c')");
  EXPECT_EQ(access_->executed[2],
            "INSERT INTO `Kinds` VALUES(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
            "NULL, NULL, 'False', NULL, NULL, NULL, NULL)");
}

TEST_F(ToAccessLogic, TablesGoFromTheBottomAndKeepTheirSpellingInTheAccessList) {
  for (const char* n : {"A", "b", "C"}) AddTable(n, 1);
  Select(list2_, {"A", "b", "C"});
  list1_.AddItem("B");
  dialogs_.yes_no_answers = {kAnswerYes};
  EXPECT_EQ(ToAccess(), 0);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Would you like to overwrite b?");
  EXPECT_EQ(dialogs_.messages[0].title, "Overwrite?");
  EXPECT_EQ(
      access_->executed,
      (Statements{"CREATE TABLE `C`(`n` INT);", "INSERT INTO `C` VALUES('1')", "DROP TABLE `b`",
                  "CREATE TABLE `b`(`n` INT);", "INSERT INTO `b` VALUES('1')",
                  "CREATE TABLE `A`(`n` INT);", "INSERT INTO `A` VALUES('1')"}));
  // Access dropped B by the name b, so its entry went and b took its place.
  EXPECT_EQ(list1_.Items(), (Statements{"A", "b", "C"}));
}

TEST_F(ToAccessLogic, NoToTheQuestionLeavesEverythingAsItWas) {
  AddTable("T", 2);
  Select(list2_, {"T"});
  list1_.AddItem("t");
  dialogs_.yes_no_answers = {kAnswerNo};
  EXPECT_EQ(ToAccess(), 0);
  EXPECT_TRUE(access_->executed.empty());
  EXPECT_EQ(list1_.Items(), Statements{"t"});
  EXPECT_TRUE(progress_.history.empty());
}

TEST_F(ToAccessLogic, NamesAccessCannotTakeAreReportedAndNoStatementIsBuiltFromThem) {
  AddTable("Good", 0);
  AddTable("a`b", 1);
  AddTable(std::string(65, 'L'), 1);
  FakeTable& cols = ase_->tables["Cols"];
  cols.columns = {Column("ok", kAdInteger), Column("x.y", kAdInteger)};
  Select(list2_, {"Good", "a`b", "Cols"});
  list2_.AddItem(std::string(65, 'L'));
  for (int i = 0; i < list2_.ListCount(); ++i) list2_.SetSelected(i, true);
  EXPECT_EQ(ToAccess(), 3);
  EXPECT_EQ(access_->executed, Statements{"CREATE TABLE `Good`(`n` INT);"});
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  // From the bottom: LLL..., Good, Cols, a`b.
  EXPECT_NE(reports[0].find("cannot be used as a table name in Access: it is longer than 64 "
                            "characters."),
            std::string::npos)
      << reports[0];
  EXPECT_NE(reports[1].find("'x.y' cannot be used as a column name in Access: it holds the "
                            "character '.'."),
            std::string::npos)
      << reports[1];
  EXPECT_TRUE(reports[1].ends_with("sql: CREATE TABLE `Cols`(`ok` INT,")) << reports[1];
  EXPECT_NE(reports[1].find("at line 152"), std::string::npos);
  EXPECT_EQ(reports[2], Report(kHandler,
                               "'a`b' cannot be used as a table name in Access: it holds a grave "
                               "accent (`).",
                               128, "CREATE TABLE `Cols`(`ok` INT,"));
  EXPECT_EQ(list1_.Items(), Statements{"Good"});
}

TEST_F(ToAccessLogic, ARefusedInsertIsReportedAndTheNextRowsStillGo) {
  AddTable("T", 3);
  access_->fail_statement_containing = "VALUES('2')";
  Select(list2_, {"T"});
  EXPECT_EQ(ToAccess(), 1);
  EXPECT_EQ(access_->executed.size(), 4u);
  EXPECT_EQ(Reports(), Statements{Report(kHandler, "fake failure: INSERT INTO `T` VALUES('2')", 248,
                                         "INSERT INTO `T` VALUES('2')")});
}

}  // namespace
}  // namespace vq::testing
