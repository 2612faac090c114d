// "Send Table/s To Sybase ASE" over provider doubles on both sides: the
// statements sent, character for character, the questions, the lists, the
// progress bar, the reports, and what is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "dataaccess/error.h"
#include "dataaccess/memory_cursor.h"
#include "dataaccess/session.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Statements = std::vector<std::string>;
constexpr const char* kHandler = "PushButton3_Click";

class ToAseLogic : public TransferTest {
 protected:
  // The Orders table: every kind of ASE target column.
  void AddOrders(std::vector<std::vector<Value>> rows) {
    FakeTable& t = access_->tables["Orders"];
    t.columns = {Column("ID", kAdInteger), Column("Customer", kAdVarWChar, 50),
                 Column("Paid", kAdBoolean), Column("Total", kAdCurrency),
                 Column("Notes", kAdLongVarWChar)};
    t.rows = std::move(rows);
  }
  void AddTable(const std::string& name, int rows = 0) {
    FakeTable& t = access_->tables[name];
    t.columns = {Column("n", kAdInteger)};
    for (int i = 1; i <= rows; ++i) t.rows.push_back({Value{int64_t{i}}});
  }
};

TEST_F(ToAseLogic, WithoutACurrentEntryOnlyAsksForATable) {
  list1_.AddItem("Orders");
  list1_.SetSelected(0, true);
  EXPECT_EQ(ToAse(), 0);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Please select a table");
  EXPECT_EQ(dialogs_.messages[0].style, kMsgOkOnly);
  EXPECT_EQ(dialogs_.messages[0].title, kApplicationTitle);
  EXPECT_TRUE(access_->opened.empty());
  EXPECT_TRUE(ase_->opened.empty());
  EXPECT_TRUE(pointer_.history.empty());
}

TEST_F(ToAseLogic, ACurrentEntryWithNothingSelectedOpensAndClosesOnly) {
  AddTable("A");
  list1_.AddItem("A");
  list1_.SetListIndex(0);
  EXPECT_EQ(ToAse(), 0);
  EXPECT_EQ(access_->opened.size(), 1u);
  EXPECT_EQ(ase_->opened, Statements{"Provider=ASEOLEDB;Data Source=127.0.0.1:5000;User Id=sa;"
                                     "Password=secret;;Catalog=testdb"});
  EXPECT_TRUE(ase_->executed.empty());
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(pointer_.history, (std::vector<int>{kPointerHourglass, kPointerDefault}));
}

TEST_F(ToAseLogic, OrdersGoAsTheirTypesWithNullsTruthValuesAndTextsKept) {
  AddOrders({
      {int64_t{7}, std::string("O'Hara"), true, Currency{120000}, std::monostate{}},
      {std::monostate{}, std::string(""), false, Currency{50000}, std::string("x")},
      // Texts that read like truth values stay texts; a null truth value is 0.
      {int64_t{8}, std::string("True"), std::monostate{}, Currency{123456}, std::string("'False'")},
      // Cents, the far end of currency, and a text of blanks.
      {int64_t{-1}, std::string("  "), true, Currency{-9223372036854775807LL - 1},
       std::string("say \"hi\"")},
  });
  Select(list1_, {"Orders"});
  EXPECT_EQ(ToAse(), 0) << (Reports().empty() ? "" : Reports()[0]);
  EXPECT_EQ(ase_->executed,
            (Statements{
                "CREATE TABLE [Orders]([ID] INTEGER NULL,[Customer] TEXT NULL,[Paid] BIT,"
                "[Total] MONEY NULL,[Notes] TEXT NULL)",
                "INSERT INTO [Orders] VALUES(7, 'O''Hara', 1, 12, NULL)",
                "INSERT INTO [Orders] VALUES(NULL, '', 0, 5, 'x')",
                "INSERT INTO [Orders] VALUES(8, 'True', 0, 12.3456, '''False''')",
                "INSERT INTO [Orders] VALUES(-1, '  ', 1, -922337203685477.5808, 'say \"hi\"')",
            }));
  EXPECT_EQ(list2_.Items(), Statements{"Orders"});
  EXPECT_EQ(progress_.history, (std::vector<int>{25, 50, 75, 100, 0}));
  EXPECT_EQ(pointer_.history, (std::vector<int>{kPointerHourglass, kPointerDefault}));
}

TEST_F(ToAseLogic, EveryAccessTypeFindsItsColumnAndLiteral) {
  FakeTable& t = access_->tables["T"];
  t.columns = {Column("big", kAdBigInt),
               Column("byte", kAdUnsignedTinyInt),
               Column("short", kAdSmallInt),
               Column("single", kAdSingle),
               Column("double", kAdDouble),
               Column("when", kAdDate),
               Column("dec", kAdNumeric, 0, 18, 4),
               Column("guid", kAdGuid),
               Column("ole", kAdLongVarBinary),
               Column("bin", kAdVarBinary, 4),
               Column("odd", 999)};
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 17);
  Bytes every;
  for (int b = 0; b < 256; ++b) every.data.push_back(static_cast<uint8_t>(b));
  t.rows = {{int64_t{1} << 62, int64_t{255}, int64_t{-32768}, 1.5, 0.1,
             DateTime{2024, 2, 29, 13, 45, 30, 0}, Decimal{1234567, 4, true}, g, every,
             Bytes{{0xDE, 0xAD}}, std::string("?")}};
  Select(list1_, {"T"});
  EXPECT_EQ(ToAse(), 0);
  ASSERT_EQ(ase_->executed.size(), 2u);
  EXPECT_EQ(ase_->executed[0],
            "CREATE TABLE [T]([big] BIGINT NULL,[byte] INTEGER NULL,[short] INTEGER NULL,"
            "[single] TEXT NULL,[double] TEXT NULL,[when] TEXT NULL,[dec] TEXT NULL,"
            "[guid] TEXT NULL,[ole] TEXT NULL,[bin] TEXT NULL,[odd] TEXT NULL)");
  EXPECT_EQ(ase_->executed[1],
            "INSERT INTO [T] VALUES(4611686018427387904, 255, -32768, '1.5', "
            "'0.1', '2024-02-29 13:45:30', '-123.4567', "
            "'{00112233-4455-6677-8899-AABBCCDDEEFF}', '" +
                BytesToHex(every.data) + "', '0xDEAD', '?')");
}

TEST_F(ToAseLogic, TablesGoFromTheBottomOfTheListAndAreListedAsCreated) {
  for (const char* n : {"A", "B", "C"}) AddTable(n);
  Select(list1_, {"A", "B", "C"});
  list2_.AddItem("Zeta");
  EXPECT_EQ(ToAse(), 0);
  EXPECT_EQ(ase_->executed,
            (Statements{"CREATE TABLE [C]([n] INTEGER NULL)", "CREATE TABLE [B]([n] INTEGER NULL)",
                        "CREATE TABLE [A]([n] INTEGER NULL)"}));
  EXPECT_EQ(list2_.Items(), (Statements{"A", "B", "C", "Zeta"}));
  EXPECT_EQ(progress_.history, (std::vector<int>{0, 0, 0}));
}

TEST_F(ToAseLogic, AnOverwriteNeedsAYesAndTheDropTakesOnlyTheEntrySpelledAlike) {
  AddTable("Orders", 1);
  AddTable("Other", 1);
  Select(list1_, {"Orders", "Other"});
  for (const char* n : {"Orders", "orders", "other"}) list2_.AddItem(n);
  dialogs_.yes_no_answers = {kAnswerNo, kAnswerYes};  // Other first, then Orders
  EXPECT_EQ(ToAse(), 0);
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0].text, "Would you like to overwrite Other?");
  EXPECT_EQ(dialogs_.messages[0].style, kMsgYesNo);
  EXPECT_EQ(dialogs_.messages[0].title, "Overwrite?");
  EXPECT_EQ(dialogs_.messages[1].text, "Would you like to overwrite Orders?");
  // No for Other: nothing; Yes for Orders: dropped, then created afresh.
  EXPECT_EQ(ase_->executed,
            (Statements{"DROP TABLE [Orders]", "CREATE TABLE [Orders]([n] INTEGER NULL)",
                        "INSERT INTO [Orders] VALUES(1)"}));
  // ASE names keep their case: orders is another table and stays listed;
  // Orders went with its table and came back, once, with the new one.
  EXPECT_EQ(list2_.Items(), (Statements{"Orders", "orders", "other"}));
  EXPECT_EQ(progress_.history, (std::vector<int>{100, 0}));
}

TEST_F(ToAseLogic, NamesAseCannotTakeAreReportedAndNoStatementIsBuiltFromThem) {
  AddTable("Good", 1);
  AddTable("Bad]Name", 1);
  AddTable("Tab\tName", 1);
  FakeTable& cols = access_->tables["Cols"];
  cols.columns = {Column("ok", kAdInteger), Column("x] INT, [y", kAdInteger)};
  cols.rows = {{int64_t{1}, int64_t{2}}};
  Select(list1_, {"Good", "Bad]Name", "Tab\tName", "Cols"});
  list2_.AddItem("bad]name");
  const int failures = ToAse();
  EXPECT_EQ(failures, 3);
  for (const auto& sql : ase_->executed) {
    EXPECT_EQ(sql.find("Bad]"), std::string::npos) << sql;
    EXPECT_EQ(sql.find("Tab\t"), std::string::npos) << sql;
    EXPECT_EQ(sql.find("[Cols]"), std::string::npos) << sql;
  }
  EXPECT_EQ(ase_->executed,
            (Statements{"CREATE TABLE [Good]([n] INTEGER NULL)", "INSERT INTO [Good] VALUES(1)"}));
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  // The walk runs Tab, Good, Cols, Bad from the bottom of the sorted list.
  EXPECT_NE(reports[0].find("'Tab?Name' cannot be used as a table name in Access: it holds a "
                            "control character."),
            std::string::npos)
      << reports[0];
  EXPECT_NE(reports[0].find("at line 128"), std::string::npos);
  EXPECT_NE(reports[1].find("'x] INT, [y' cannot be used as a column name in Sybase ASE: it holds "
                            "a closing bracket (])."),
            std::string::npos)
      << reports[1];
  // The report shows the statement as far as it was built.
  EXPECT_NE(reports[1].find("at line 154"), std::string::npos);
  EXPECT_TRUE(reports[1].ends_with("sql: CREATE TABLE [Cols]([ok] INTEGER NULL,")) << reports[1];
  EXPECT_NE(reports[2].find("'Bad]Name' cannot be used"), std::string::npos);
  // No question for a refused table; a refused or uncreated table is not listed.
  EXPECT_EQ(list2_.Items(), (Statements{"bad]name", "Good"}));
  EXPECT_EQ(dialogs_.messages.size(), 3u);
}

TEST_F(ToAseLogic, AFailedRowIsReportedWithItsStatementAndTheRestStillGo) {
  AddTable("T", 3);
  ase_->fail_statement_containing = "VALUES(2)";
  Select(list1_, {"T"});
  EXPECT_EQ(ToAse(), 1);
  EXPECT_EQ(ase_->executed.size(), 4u);
  EXPECT_EQ(Reports(), Statements{Report(kHandler, "fake failure: INSERT INTO [T] VALUES(2)", 276,
                                         "INSERT INTO [T] VALUES(2)")});
}

TEST_F(ToAseLogic, AnAseServerThatRefusesGivesAReportForEveryStepThatNeedsIt) {
  AddTable("T", 2);
  AddTable("U", 0);
  ase_->refuse_open = true;
  Select(list1_, {"T", "U"});
  ToAse();
  const auto reports = Reports();
  // The open, then per table the CREATE and nothing more of it: no row of a
  // table that was not created is sent; the close of a connection never
  // opened does nothing.
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0], Report(kHandler, "fake refusal", 114, ""));
  EXPECT_NE(reports[1].find("at line 196"), std::string::npos);
  EXPECT_TRUE(reports[1].ends_with("sql: CREATE TABLE [U]([n] INTEGER NULL)"));
  EXPECT_TRUE(reports[2].ends_with("sql: CREATE TABLE [T]([n] INTEGER NULL)"));
  // Neither table exists on the server, so neither is listed.
  EXPECT_TRUE(list2_.Items().empty());
}

TEST_F(ToAseLogic, AFailedDropShowsThePreviousTablesLastStatement) {
  AddTable("A", 0);
  AddTable("B", 2);
  Select(list1_, {"A", "B"});
  list2_.AddItem("A");
  dialogs_.yes_no_answers = {kAnswerYes};
  ase_->fail_statement_containing = "DROP";
  EXPECT_EQ(ToAse(), 1);
  EXPECT_EQ(Reports(), Statements{Report(kHandler, "fake failure: DROP TABLE [A]", 140,
                                         "INSERT INTO [B] VALUES(2)")});
}

TEST_F(ToAseLogic, AMissingSourceTableIsReportedAndNotCreated) {
  Select(list1_, {"Gone"});
  EXPECT_EQ(ToAse(), 1);
  EXPECT_TRUE(ase_->executed.empty());
  EXPECT_EQ(Reports(), Statements{Report(kHandler, "no table Gone", 144, "")});
  EXPECT_TRUE(list2_.Items().empty());
}

TEST_F(ToAseLogic, YieldsAtEveryEntryColumnRowAndValueUnlessThrottled) {
  FakeTable& t = access_->tables["T"];
  t.columns = {Column("a", kAdInteger), Column("b", kAdInteger)};
  for (int i = 0; i < 3; ++i) t.rows.push_back({int64_t{i}, int64_t{i}});
  Select(list1_, {"T"});
  list1_.AddItem("Unselected");
  ToAse();
  // Once at the start, per entry 2, per column 2, per row 3, per value 6.
  EXPECT_EQ(yielder_.count, 1 + 2 + 2 + 3 + 6);

  // Served at most every 50 ms, a fast table of many rows yields a handful of times.
  for (int i = 3; i < 5000; ++i) t.rows.push_back({int64_t{i}, int64_t{i}});
  yielder_.count = 0;
  ase_->executed.clear();
  list2_.Clear();  // no overwrite question this time
  options_.yield_interval = std::chrono::milliseconds(50);
  options_.call_poll = std::chrono::milliseconds(50);
  const auto start = std::chrono::steady_clock::now();
  ToAse();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(ase_->executed.size(), 5001u);
  EXPECT_LE(yielder_.count, 2 + elapsed / std::chrono::milliseconds(50)) << yielder_.count;
}

// A provider whose statements take a while, and whose rows may fail to fetch.
class SlowConnection : public Connection {
 public:
  SlowConnection(std::shared_ptr<FakeDatabase> db, std::chrono::milliseconds delay,
                 std::atomic<bool>* executing)
      : db_(std::move(db)), delay_(delay), executing_(executing) {}
  void Execute(const std::string& sql) override {
    *executing_ = true;
    std::this_thread::sleep_for(delay_);
    db_->executed.push_back(sql);
    *executing_ = false;
  }
  std::unique_ptr<Cursor> OpenSchema(int) override { return nullptr; }
  std::unique_ptr<Cursor> Query(const std::string&, const QueryOptions&) override {
    return nullptr;
  }
  void Close() override {}

 private:
  std::shared_ptr<FakeDatabase> db_;
  std::chrono::milliseconds delay_;
  std::atomic<bool>* executing_;
};

TEST_F(ToAseLogic, TheWindowIsServedWhileAStatementTakesItsTime) {
  AddTable("T", 1);
  Select(list1_, {"T"});
  fake_ase_.reset();
  std::atomic<bool> executing = false;
  long yields_while_executing = 0;
  auto db = ase_;
  ProviderRegistry::Global().Register("ASEOLEDB", [&](const std::string&, const SessionOptions&) {
    return std::make_unique<SlowConnection>(db, std::chrono::milliseconds(100), &executing);
  });
  yielder_.hook = [&] {
    if (executing) ++yields_while_executing;
  };
  ToAse();
  RegisterStandardProviders(ProviderRegistry::Global());
  EXPECT_EQ(ase_->executed.size(), 2u);
  // Two statements of 100 ms, served every 5 ms.
  EXPECT_GE(yields_while_executing, 10);
}

// Rows that fail to fetch after the first.
class FlakyCursor : public MemoryCursor {
 public:
  using MemoryCursor::MemoryCursor;
  bool Fetch(std::vector<Value>& row) override {
    if (++fetches_ > 1) throw DatabaseError(errors::kUnspecified, "the network went away");
    return MemoryCursor::Fetch(row);
  }

 private:
  int fetches_ = 0;
};

class FlakyConnection : public Connection {
 public:
  void Execute(const std::string&) override {}
  std::unique_ptr<Cursor> OpenSchema(int) override { return nullptr; }
  std::unique_ptr<Cursor> Query(const std::string&, const QueryOptions&) override {
    std::vector<std::vector<Value>> rows = {{int64_t{1}}, {int64_t{2}}, {int64_t{3}}};
    return std::make_unique<FlakyCursor>(std::vector<FieldInfo>{Column("n", kAdInteger)}, rows);
  }
  void Close() override {}
};

TEST_F(ToAseLogic, ARowThatCannotBeFetchedIsNeverSentAgainInItsPlace) {
  fake_access_.reset();
  ProviderRegistry::Global().Register("Microsoft.Jet.OLEDB.4.0",
                                      [](const std::string&, const SessionOptions&) {
                                        return std::make_unique<FlakyConnection>();
                                      });
  Select(list1_, {"T"});
  ToAse();
  RegisterStandardProviders(ProviderRegistry::Global());
  EXPECT_EQ(ase_->executed,
            (Statements{"CREATE TABLE [T]([n] INTEGER NULL)", "INSERT INTO [T] VALUES(1)"}));
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("the network went away"), std::string::npos);
  EXPECT_NE(reports[0].find("at line 278"), std::string::npos);
}

// The INSERT and the fetch after it share one call to the worker; each still
// fails on its own step, the INSERT's first.
TEST_F(ToAseLogic, ARefusedInsertAndTheFetchAfterItAreReportedInTurn) {
  fake_access_.reset();
  ProviderRegistry::Global().Register("Microsoft.Jet.OLEDB.4.0",
                                      [](const std::string&, const SessionOptions&) {
                                        return std::make_unique<FlakyConnection>();
                                      });
  ase_->fail_statement_containing = "VALUES(1)";
  Select(list1_, {"T"});
  EXPECT_EQ(ToAse(), 2);
  RegisterStandardProviders(ProviderRegistry::Global());
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_NE(reports[0].find("at line 276"), std::string::npos) << reports[0];
  EXPECT_TRUE(reports[0].ends_with("sql: INSERT INTO [T] VALUES(1)")) << reports[0];
  EXPECT_NE(reports[1].find("at line 278"), std::string::npos) << reports[1];
  EXPECT_NE(reports[1].find("the network went away"), std::string::npos) << reports[1];
}

}  // namespace
}  // namespace vq::testing
