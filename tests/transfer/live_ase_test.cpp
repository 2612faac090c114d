// The transfers against the ASE test server over the real client library,
// with a provider double on the Access side (the engine that would stand
// there is tested end to end elsewhere).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <utility>

#include "dataaccess/session.h"
#include "support/ase_server_fixture.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Statements = std::vector<std::string>;

class LiveAse : public TransferTest {
 protected:
  explicit LiveAse(AseServerOptions server = {}) : server_(std::move(server)) {
    UseRealAse();
    settings_.Set(Setting::kAsePort, std::to_string(server_.port()));
    settings_.Set(Setting::kAseUser, server_.user());
    settings_.Set(Setting::kAsePassword, server_.password());
    settings_.Set(Setting::kAseDatabase, server_.database());
    options_ = TransferOptions{};  // as the program runs
  }

  void Execute(const std::string& sql) {
    DatabaseSession db;
    db.Open(BuildSybaseConnectionString(settings_));
    db.Execute(sql);
  }

  // Every row of `sql` on the server, each value as its text ("<null>" for null).
  std::vector<Statements> Rows(const std::string& sql) {
    DatabaseSession db;
    db.Open(BuildSybaseConnectionString(settings_));
    RecordSet rs;
    rs.Open(sql, db);
    std::vector<Statements> out;
    while (!rs.Eof()) {
      Statements row;
      for (int j = 0; j < rs.Fields().Count(); ++j) {
        const Value& v = rs.Fields().Item(j).Value();
        row.push_back(IsNull(v) ? "<null>" : ToText(v));
      }
      out.push_back(std::move(row));
      rs.MoveNext();
    }
    return out;
  }

  AseServerFixture server_;
};

TEST_F(LiveAse, EveryAccessKindArrivesWithItsValueNullsAndTruthValues) {
  FakeTable& t = access_->tables["All Kinds"];
  t.columns = {Column("id", kAdInteger),
               Column("big", kAdBigInt),
               Column("money", kAdCurrency),
               Column("yes", kAdBoolean),
               Column("name", kAdVarWChar, 50),
               Column("memo", kAdLongVarWChar),
               Column("when", kAdDate),
               Column("dbl", kAdDouble),
               Column("dec", kAdNumeric, 0, 18, 4),
               Column("ole", kAdLongVarBinary),
               Column("guid", kAdGuid)};
  Bytes every;
  for (int b = 0; b < 256; ++b) every.data.push_back(static_cast<uint8_t>(b));
  Guid g;
  g.bytes[15] = 1;
  const std::string long_text(1000, 'w');
  t.rows = {
      {int64_t{1}, int64_t{1} << 62, Currency{12345678}, true, std::string("O'Hara \"q\" [x]"),
       long_text, DateTime{2024, 2, 29, 13, 45, 30, 0}, 0.1, Decimal{1234567, 4, false}, every, g},
      {int64_t{2}, std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{},
       std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{},
       std::monostate{}},
      {int64_t{3}, int64_t{-1}, Currency{-1}, false, std::string("True"), std::string("'False'"),
       DateTime{1899, 12, 30, 0, 0, 0, 0}, -2.5e-308, Decimal{5, 4, true},
       Bytes{{0x41, 0x00, 0x42}}, g},
      {int64_t{4}, int64_t{0}, Currency{0}, true, std::string("日本 €"),
       std::string("Zeile 1\r\nZeile 2"), DateTime{9999, 12, 31, 23, 59, 59, 0}, 1e300,
       Decimal{0, 0, false}, Bytes{}, g},
      // ASE drops a backslash directly before a line break with the line
      // break; these must arrive whole all the same.
      {int64_t{5}, std::monostate{}, std::monostate{}, false, std::string("a\\\nb\\"),
       std::string("C:\\dir\\\r\nnext\\\n"), std::monostate{}, std::monostate{}, std::monostate{},
       std::monostate{}, std::monostate{}},
  };
  Select(list1_, {"All Kinds"});
  EXPECT_EQ(ToAse(), 0) << (Reports().empty() ? "" : Reports()[0]);
  EXPECT_EQ(list2_.Items(), Statements{"All Kinds"});

  const auto rows = Rows("SELECT * FROM [All Kinds] ORDER BY [id]");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0],
            (Statements{"1", "4611686018427387904", "1234.5678", "True", "O'Hara \"q\" [x]",
                        long_text, "2024-02-29 13:45:30", "0.1", "123.4567", BytesToHex(every.data),
                        "{00000000-0000-0000-0000-000000000001}"}));
  // Nulls arrive as nulls; a null truth value as False.
  EXPECT_EQ(rows[1], (Statements{"2", "<null>", "<null>", "False", "<null>", "<null>", "<null>",
                                 "<null>", "<null>", "<null>", "<null>"}));
  EXPECT_EQ(rows[2], (Statements{"3", "-1", "-0.0001", "False", "True", "'False'",
                                 "1899-12-30 00:00:00", "-2.5e-308", "-0.0005", "0x410042",
                                 "{00000000-0000-0000-0000-000000000001}"}));
  EXPECT_EQ(rows[3], (Statements{"4", "0", "0", "True", "日本 €", "Zeile 1\r\nZeile 2",
                                 "9999-12-31 23:59:59", "1e+300", "0", "0x",
                                 "{00000000-0000-0000-0000-000000000001}"}));
  EXPECT_EQ(rows[4],
            (Statements{"5", "<null>", "<null>", "False", "a\\\nb\\", "C:\\dir\\\r\nnext\\\n",
                        "<null>", "<null>", "<null>", "<null>", "<null>"}));
}

TEST_F(LiveAse, TenThousandRowsArriveExactlyOnce) {
  FakeTable& t = access_->tables["Many"];
  t.columns = {Column("n", kAdInteger), Column("label", kAdVarWChar, 20)};
  constexpr int kRows = 10000;
  for (int i = 1; i <= kRows; ++i) t.rows.push_back({int64_t{i}, "row " + std::to_string(i)});
  Select(list1_, {"Many"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ToAse(), 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("[ measure  ] %d rows to ASE in %.2f s: %.0f rows/s\n", kRows, seconds,
              kRows / seconds);
  EXPECT_EQ(Rows("SELECT count(*) FROM [Many]"), (std::vector<Statements>{{"10000"}}));
  // Each row once: every number from 1 to 10,000 with its own label.
  std::vector<bool> seen(kRows + 1, false);
  for (const auto& row : Rows("SELECT [n], [label] FROM [Many]")) {
    const int n = std::stoi(row[0]);
    ASSERT_TRUE(n >= 1 && n <= kRows && !seen[n]) << row[0];
    seen[n] = true;
    EXPECT_EQ(row[1], "row " + row[0]);
  }
  EXPECT_EQ(Rows("SELECT [label] FROM [Many] WHERE [n] = 9999"),
            (std::vector<Statements>{{"row 9999"}}));
  EXPECT_EQ(progress_.history.back(), 0);
  EXPECT_EQ(*(progress_.history.end() - 2), 100);
}

TEST_F(LiveAse, YesReplacesTheServersTableAndACreateThatFailsSendsNoRows) {
  Execute("CREATE TABLE [Orders]([n] INTEGER NULL, [old] INTEGER NULL)");
  Execute("INSERT INTO [Orders] VALUES(99, 99)");
  Execute("CREATE TABLE [Hidden]([n] INTEGER NULL)");
  FakeTable& orders = access_->tables["Orders"];
  orders.columns = {Column("n", kAdInteger)};
  orders.rows = {{int64_t{1}}, {int64_t{2}}};
  FakeTable& hidden = access_->tables["Hidden"];
  hidden.columns = {Column("n", kAdInteger)};
  for (int i = 0; i < 500; ++i) hidden.rows.push_back({int64_t{i}});
  Select(list1_, {"Orders", "Hidden"});
  list2_.AddItem("Orders");
  dialogs_.yes_no_answers = {kAnswerYes};
  // Hidden exists on the server but not in the list: its CREATE is refused,
  // once, and none of its rows goes into the table that is there.
  EXPECT_EQ(ToAse(), 1);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("at line 196"), std::string::npos);
  EXPECT_TRUE(reports[0].ends_with("sql: CREATE TABLE [Hidden]([n] INTEGER NULL)"));
  EXPECT_EQ(Rows("SELECT * FROM [Orders] ORDER BY [n]"), (std::vector<Statements>{{"1"}, {"2"}}));
  EXPECT_TRUE(Rows("SELECT * FROM [Hidden]").empty());
  EXPECT_EQ(list2_.Items(), (Statements{"Orders"}));
}

TEST_F(LiveAse, ServerTypesBecomeTheAccessColumnsThatKeepTheirValues) {
  Execute(
      "CREATE TABLE [Kinds]([id] INT, [amount] NUMERIC(12,3) NULL, [rate] DECIMAL(5,2) NULL, "
      "[re] REAL NULL, [long] VARCHAR(1000) NULL, [short] VARCHAR(40) NULL, "
      "[uni] UNIVARCHAR(20) NULL, [bin] BINARY(4) NULL, [vb] VARBINARY(300) NULL, "
      "[img] IMAGE NULL, [flag] BIT, [mo] MONEY NULL, [at] DATETIME NULL)");
  std::string hex;
  for (int b = 0; b < 256; ++b) {
    static const char* digits = "0123456789ABCDEF";
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  const std::string thousand(1000, 'z');
  Execute("INSERT INTO [Kinds] VALUES(1, 123456789.125, -1.5, 0.5, '" + thousand +
          "', 'it''s', '日本', 0x00FF10EF, 0x" + hex + ", 0x" + hex +
          ", 1, 12.34, '2024-02-29 13:45:30')");
  Execute(
      "INSERT INTO [Kinds] VALUES(2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, "
      "NULL, NULL)");
  Select(list2_, {"Kinds"});
  EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports()[0]);
  ASSERT_EQ(access_->executed.size(), 3u);
  EXPECT_EQ(access_->executed[0],
            "CREATE TABLE `Kinds`(`id` INT,`amount` DECIMAL(12,3),`rate` DECIMAL(5,2),`re` REAL,"
            "`long` MEMO,`short` VARCHAR,`uni` VARCHAR,`bin` VARCHAR,`vb` VARCHAR,"
            "`img` OLEOBJECT,`flag` VARCHAR,`mo` VARCHAR,`at` DATETIME);");
  EXPECT_EQ(access_->executed[1],
            "INSERT INTO `Kinds` VALUES('1', '123456789.125', '-1.5', '0.5', '" + thousand +
                "', 'it''s', '日本', '0x00FF10EF', '0x" + hex + "', 0x" + hex +
                ", 'True', '12.34', '2024-02-29 13:45:30')");
  EXPECT_EQ(access_->executed[2],
            "INSERT INTO `Kinds` VALUES('2', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
            "NULL, 'False', NULL, NULL)");
  EXPECT_EQ(list1_.Items(), Statements{"Kinds"});
}

// A row the client library could read only with '?' in place of a character
// (a univarchar holding half a surrogate pair, which a utf8 server keeps as
// it was given) gets its own report; the rows
// before and after it arrive.
TEST_F(LiveAse, ARowThatLostCharactersIsReportedAndTheRestArrive) {
  Execute("CREATE TABLE [Halves]([id] INT, [uni] UNIVARCHAR(10) NULL)");
  Execute("INSERT INTO [Halves] VALUES(1, 'before')");
  Execute(
      "INSERT INTO [Halves] VALUES(2, 'a\xED\xA0\x80"
      "b')");
  Execute("INSERT INTO [Halves] VALUES(3, 'after')");
  Select(list2_, {"Halves"});
  EXPECT_EQ(ToAccess(), 1);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("column uni"), std::string::npos) << reports[0];
  ASSERT_EQ(access_->executed.size(), 3u);
  EXPECT_EQ(access_->executed[1], "INSERT INTO `Halves` VALUES('1', 'before')");
  EXPECT_EQ(access_->executed[2], "INSERT INTO `Halves` VALUES('3', 'after')");
}

// The same transfers against a server whose character set is iso_1 or utf8.
class LiveAseCharset : public LiveAse, public ::testing::WithParamInterface<const char*> {
 protected:
  LiveAseCharset() : LiveAse(Options()) {}
  static AseServerOptions Options() {
    AseServerOptions o;
    o.charset = GetParam();
    return o;
  }
  bool Iso1() const { return std::string(GetParam()) == "iso_1"; }
};

// Latin-1 text arrives as it is either way. Text an iso_1 server cannot hold
// gets the row's report, naming the character set, and the walk goes on with
// the next row: no row arrives with '?' in place of a character.
TEST_P(LiveAseCharset, NoCharacterIsLostOrReplacedOnTheWayToAse) {
  FakeTable& t = access_->tables["Texts"];
  t.columns = {Column("id", kAdInteger), Column("name", kAdVarWChar, 50),
               Column("memo", kAdLongVarWChar)};
  t.rows = {{int64_t{1}, std::string("café"), std::string("Ærø ÿ ß ½ ©")},
            {int64_t{2}, std::string("12 €"), std::string("plain")},
            {int64_t{3}, std::string("plain"), std::string("日本")},
            {int64_t{4}, std::string("naïve"), std::monostate{}}};
  Select(list1_, {"Texts"});
  const int failures = ToAse();
  const auto rows = Rows("SELECT [id], [name], [memo] FROM [Texts] ORDER BY [id]");
  if (Iso1()) {
    EXPECT_EQ(failures, 2);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 2u);
    for (const std::string& r : reports) {
      EXPECT_NE(r.find("at line 276"), std::string::npos) << r;
      EXPECT_NE(r.find("character set"), std::string::npos) << r;
    }
    EXPECT_TRUE(reports[0].ends_with("sql: INSERT INTO [Texts] VALUES(2, '12 €', 'plain')"));
    EXPECT_TRUE(reports[1].ends_with("sql: INSERT INTO [Texts] VALUES(3, 'plain', '日本')"));
    EXPECT_EQ(rows,
              (std::vector<Statements>{{"1", "café", "Ærø ÿ ß ½ ©"}, {"4", "naïve", "<null>"}}));
  } else {
    EXPECT_EQ(failures, 0) << (Reports().empty() ? "" : Reports()[0]);
    EXPECT_EQ(rows, (std::vector<Statements>{{"1", "café", "Ærø ÿ ß ½ ©"},
                                             {"2", "12 €", "plain"},
                                             {"3", "plain", "日本"},
                                             {"4", "naïve", "<null>"}}));
  }
  // Whatever the server could not take, the connection stays usable.
  EXPECT_EQ(list2_.Items(), Statements{"Texts"});
}

// Text the server holds comes to Access unchanged. A varchar's length counts
// bytes of the server's character set: "café" fills an iso_1 varchar(4) and
// loses its "é" in a utf8 one, as ASE cuts it.
TEST_P(LiveAseCharset, ServerTextArrivesInAccessUnchanged) {
  Execute("CREATE TABLE [Latin]([id] INT, [short] VARCHAR(4) NULL, [uni] UNIVARCHAR(10) NULL)");
  Execute("INSERT INTO [Latin] VALUES(1, 'café', 'Ærø')");
  Select(list2_, {"Latin"});
  EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports()[0]);
  ASSERT_EQ(access_->executed.size(), 2u);
  EXPECT_EQ(access_->executed[1], std::string("INSERT INTO `Latin` VALUES('1', '") +
                                      (Iso1() ? "café" : "caf") + "', 'Ærø')");
}

INSTANTIATE_TEST_SUITE_P(Charsets, LiveAseCharset, ::testing::Values("iso_1", "utf8"));

}  // namespace
}  // namespace vq::testing
