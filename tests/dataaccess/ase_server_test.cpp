// The ASE provider and catalogue against the real test server, over TDS 5.0
// and FreeTDS: what the transfers and the windows see.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "dataaccess/ase_catalogue.h"
#include "dataaccess/ase_provider.h"
#include "dataaccess/connection_settings.h"
#include "dataaccess/error.h"
#include "dataaccess/memory_interaction.h"
#include "dataaccess/session.h"
#include "support/ase_server_fixture.h"
#include "support/silent_listener.h"

namespace vq {
namespace {

using namespace std::chrono_literals;

class AseServerTest : public ::testing::Test {
 protected:
  AseServerTest() {
    settings_.Set(Setting::kAseServer, "127.0.0.1");
    settings_.Set(Setting::kAsePort, std::to_string(server_.port()));
    settings_.Set(Setting::kAseUser, server_.user());
    settings_.Set(Setting::kAsePassword, server_.password());
    settings_.Set(Setting::kAseDatabase, server_.database());
  }

  std::string ConnectionString() { return BuildSybaseConnectionString(settings_); }
  CommandEnv Env() { return CommandEnv{settings_, dialogs_, yielder_}; }

  void Open(DatabaseSession& db, int cursor_location = kAdUseServer) {
    db.SetCursorLocation(cursor_location);
    db.Open(ConnectionString());
  }

  // The error a statement fails with; fails the test when it succeeds.
  DatabaseError ErrorOf(const std::string& sql) {
    DatabaseSession db;
    Open(db);
    try {
      db.Execute(sql);
    } catch (const DatabaseError& e) {
      return e;
    }
    ADD_FAILURE() << "succeeded: " << sql;
    return DatabaseError(0, "");
  }

  testing::AseServerFixture server_;
  FixedConnectionSettings settings_;
  ScriptedDialogs dialogs_;
  CountingYielder yielder_;
};

const char* const kCreateAllTypes =
    "CREATE TABLE [All Types]([i] INT NULL, [si] SMALLINT NULL, [ti] TINYINT NULL, "
    "[bi] BIGINT NULL, [nu] NUMERIC(38,10) NULL, [de] DECIMAL(10,2) NULL, [mo] MONEY NULL, "
    "[sm] SMALLMONEY NULL, [fl] FLOAT NULL, [re] REAL NULL, [dt] DATETIME NULL, "
    "[sd] SMALLDATETIME NULL, [da] DATE NULL, [tm] TIME NULL, [ch] CHAR(10) NULL, "
    "[vc] VARCHAR(50) NULL, [tx] TEXT NULL, [uc] UNICHAR(10) NULL, [uv] UNIVARCHAR(20) NULL, "
    "[ut] UNITEXT NULL, [bn] BINARY(4) NULL, [vb] VARBINARY(10) NULL, [im] IMAGE NULL, [bt] BIT)";

const int kAllTypesAdo[] = {3,   2,   17,  20,  131, 14,  6,   6,   5,   4,   135, 135,
                            133, 134, 129, 200, 201, 130, 202, 203, 128, 204, 205, 11};

TEST_F(AseServerTest, EveryTypeComesBackWithItsAdoCodeAndExactValue) {
  DatabaseSession db;
  Open(db);
  db.Execute(kCreateAllTypes);
  db.Execute(
      "INSERT INTO [All Types] VALUES(-2147483648, -32768, 255, -9223372036854775808, "
      "-1234567890123456789012345678.0123456789, 99999999.99, -922337203685477.5808, "
      "214748.3647, 1.7976931348623157e308, 3.4e38, '9999-12-31 23:59:59.997', "
      "'2079-06-06 23:59', '0001-01-01', '23:59:59.997', 'O''Hara', 'it''s \"quoted\" [x]?', "
      "'Ünïcödé text', 'žluť', '日本語 😀', 'Ελληνικά ''q''', 0xDEADBEEF, 0x0001, 0x89504E470D0A, "
      "1)");
  db.Execute(
      "INSERT INTO [All Types] VALUES(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
      "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0)");
  db.Execute(
      "INSERT INTO [All Types] VALUES(2147483647, 32767, 0, 9223372036854775807, "
      "0.0000000001, -0.01, 922337203685477.5807, -214748.3648, -2.5e-308, -1.5, "
      "'1753-01-01 00:00:00.003', '1900-01-01', '9999-12-31', '00:00:00.007', 'x', ' ', "
      "'a', 'b', 'c', 'd', 0x00, 0x00, 0x00, 1)");

  for (int location : {kAdUseServer, kAdUseClient}) {
    SCOPED_TRACE(location);
    DatabaseSession reader;
    Open(reader, location);
    RecordSet rs;
    rs.Open("SELECT * FROM [All Types]", reader);
    ASSERT_EQ(rs.Fields().Count(), static_cast<int>(std::size(kAllTypesAdo)));
    for (int i = 0; i < rs.Fields().Count(); ++i) {
      EXPECT_EQ(rs.Fields().Item(i).Type(), kAllTypesAdo[i]) << rs.Fields().Item(i).Name();
    }
    EXPECT_EQ(rs.RecordCount(), 3);

    auto text = [&](const char* name) { return ToText(rs.Fields().Item(name).Value()); };
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields().Item("i").Value(), Value{int64_t{-2147483648}});
    EXPECT_EQ(text("si"), "-32768");
    EXPECT_EQ(text("ti"), "255");
    EXPECT_EQ(rs.Fields().Item("bi").Value(), Value{INT64_MIN});
    EXPECT_EQ(text("nu"), "-1234567890123456789012345678.0123456789");
    EXPECT_EQ(text("de"), "99999999.99");
    EXPECT_EQ(rs.Fields().Item("mo").Value(), Value{Currency{INT64_MIN}});
    EXPECT_EQ(text("sm"), "214748.3647");
    EXPECT_EQ(rs.Fields().Item("fl").Value(), Value{1.7976931348623157e308});
    EXPECT_EQ(text("re"), "3.4e+38");
    EXPECT_EQ(text("dt"), "9999-12-31 23:59:59.9966667");
    EXPECT_EQ(text("sd"), "2079-06-06 23:59:00");
    EXPECT_EQ(text("da"), "0001-01-01 00:00:00");
    EXPECT_EQ(text("tm"), "1899-12-30 23:59:59.9966667");
    EXPECT_EQ(text("ch").substr(0, 6), "O'Hara");  // ASE pads char(10); either way the text is kept
    EXPECT_EQ(text("vc"), "it's \"quoted\" [x]?");
    EXPECT_EQ(text("tx"), "Ünïcödé text");
    EXPECT_EQ(text("uc").substr(0, 6), "žluť");
    EXPECT_EQ(text("uv"), "日本語 😀");
    EXPECT_EQ(text("ut"), "Ελληνικά 'q'");
    EXPECT_EQ(text("bn"), "0xDEADBEEF");
    EXPECT_EQ(text("vb"), "0x0001");
    EXPECT_EQ(text("im"), "0x89504E470D0A");
    EXPECT_EQ(rs.Fields().Item("bt").Value(), Value{true});

    rs.MoveNext();
    ASSERT_FALSE(rs.Eof());
    for (int i = 0; i + 1 < rs.Fields().Count(); ++i) {
      EXPECT_TRUE(IsNull(rs.Fields().Item(i).Value())) << rs.Fields().Item(i).Name();
    }
    EXPECT_EQ(rs.Fields().Item("bt").Value(), Value{false});

    rs.MoveNext();
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(text("i"), "2147483647");
    EXPECT_EQ(text("bi"), "9223372036854775807");
    EXPECT_EQ(text("nu"), "0.0000000001");
    EXPECT_EQ(text("de"), "-0.01");
    EXPECT_EQ(text("mo"), "922337203685477.5807");
    EXPECT_EQ(text("sm"), "-214748.3648");
    EXPECT_EQ(rs.Fields().Item("fl").Value(), Value{-2.5e-308});
    EXPECT_EQ(rs.Fields().Item("re").Value(), Value{-1.5});
    EXPECT_EQ(text("dt"), "1753-01-01 00:00:00.0033333");
    EXPECT_EQ(text("sd"), "1900-01-01 00:00:00");
    EXPECT_EQ(text("tm"), "1899-12-30 00:00:00.0066667");
    EXPECT_EQ(text("vc"), " ");  // ASE keeps a blank where '' or ' ' was stored
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    rs.Close();
  }
  db.Close();
}

TEST_F(AseServerTest, TheCatalogueListsTheTableAsTableAndTheListerKeepsSysNames) {
  DatabaseSession db;
  Open(db);
  for (const char* name : {"Orders", "Analysys", "mysettings_sys"}) {
    db.Execute(std::string("CREATE TABLE [") + name + "]([a] INT NULL)");
  }
  RecordSet rs = db.OpenSchema(kAdSchemaTables);
  std::map<std::string, std::string> types;
  while (!rs.Eof()) {
    types[ToText(rs.Fields().Item("TABLE_NAME").Value())] =
        ToText(rs.Fields().Item("TABLE_TYPE").Value());
    rs.MoveNext();
  }
  EXPECT_EQ(types["Orders"], "TABLE");
  EXPECT_EQ(types["sysobjects"], "SYSTEM TABLE");
  db.Close();

  MemoryTableList list;
  list.AddItem("old");
  FillSybaseTableList(Env(), list);
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"Analysys", "mysettings_sys", "Orders"}));
  EXPECT_EQ(yielder_.count, 3);
  EXPECT_TRUE(SybaseConnects(Env()));
}

TEST_F(AseServerTest, ServerErrorsKeepTheirMessageNumbersAndText) {
  {
    DatabaseSession db;
    Open(db);
    db.Execute("CREATE TABLE [NN]([a] INT, [b] VARCHAR(5) NULL)");
  }
  DatabaseError missing = ErrorOf("DROP TABLE [Nowhere]");
  EXPECT_NE(missing.Description().find("Msg 3701"), std::string::npos) << missing.Description();
  DatabaseError e208 = ErrorOf("INSERT INTO [Nowhere] VALUES(1)");
  EXPECT_EQ(e208.Number(), errors::kNoSuchTable);
  EXPECT_NE(e208.Description().find("Msg 208, Level 16"), std::string::npos) << e208.Description();
  DatabaseError e2714 = ErrorOf("CREATE TABLE [NN]([a] INT)");
  EXPECT_EQ(e2714.Number(), errors::kSyntaxError);
  EXPECT_NE(e2714.Description().find("Msg 2714"), std::string::npos) << e2714.Description();
  EXPECT_NE(e2714.Description().find("NN"), std::string::npos);
  DatabaseError e257 = ErrorOf("INSERT INTO [NN] VALUES('', 'x')");
  EXPECT_NE(e257.Description().find("Msg 257"), std::string::npos) << e257.Description();
  EXPECT_NE(e257.Description().find("Implicit conversion"), std::string::npos);
  DatabaseError null_into_not_null = ErrorOf("INSERT INTO [NN] VALUES(NULL, 'x')");
  const std::string d = null_into_not_null.Description();
  EXPECT_TRUE(d.find("Msg 233") != std::string::npos || d.find("Msg 515") != std::string::npos)
      << d;
  // A '?' outside quotes never reaches the server; inside brackets it is fine.
  DatabaseError marker = ErrorOf("INSERT INTO [NN] VALUES(?, 'x')");
  EXPECT_NE(marker.Description().find("'?'"), std::string::npos);
  DatabaseSession db;
  Open(db);
  db.Execute("CREATE TABLE [Why?]([a] INT NULL)");
  db.Execute("INSERT INTO [Why?] VALUES(1)");
  RecordSet rs;
  rs.Open("SELECT * FROM [Why?]", db);
  EXPECT_EQ(rs.RecordCount(), 1);
}

TEST_F(AseServerTest, RefusalsAndSilenceMakeSybaseConnectsFalseInTime) {
  FixedConnectionSettings good = settings_;
  auto check_false = [&](FixedConnectionSettings s, const char* what) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SybaseConnects(CommandEnv{s, dialogs_, yielder_})) << what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 12s) << what;
  };
  FixedConnectionSettings s = good;
  s.Set(Setting::kAsePassword, "wrong");
  check_false(s, "wrong password");
  s = good;
  s.Set(Setting::kAseUser, "nobody");
  check_false(s, "unknown user");
  s = good;
  s.Set(Setting::kAseDatabase, "nosuchdb");
  check_false(s, "unknown database");
  s = good;
  s.Set(Setting::kAsePort, std::to_string(testing::ClosedLoopbackPort()));
  check_false(s, "closed port");
  testing::SilentListener silent;
  s = good;
  s.Set(Setting::kAsePort, std::to_string(silent.Port()) + ";Connect Timeout=2");
  check_false(s, "silent host");
  EXPECT_TRUE(dialogs_.messages.empty());

  s = good;
  s.Set(Setting::kAsePassword, "wrong");
  DatabaseSession db;
  try {
    db.Open(BuildSybaseConnectionString(s));
    FAIL() << "a wrong password was accepted";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.Number(), errors::kLoginFailed);
    EXPECT_NE(e.Description().find("4002"), std::string::npos) << e.Description();
  }
}

TEST_F(AseServerTest, ATableStreamsWithAnExactCountAndSurvivesOtherStatements) {
  DatabaseSession db;
  Open(db);
  db.Execute("CREATE TABLE [Big]([n] INT, [t] TEXT NULL)");
  const std::string long_text(200 * 1024, 'x');
  db.Execute("INSERT INTO [Big] VALUES(0, '" + long_text + "')");
  for (int i = 1; i < 300; ++i)
    db.Execute("INSERT INTO [Big] VALUES(" + std::to_string(i) + ", 'r')");

  RecordSet rs;
  rs.Open("SELECT * FROM [Big]", db);
  EXPECT_EQ(rs.RecordCount(), 300);
  EXPECT_EQ(ToText(rs.Fields().Item("t").Value()).size(),
            long_text.size());  // whole, not cut at a text size
  int64_t expect = 0;
  while (!rs.Eof()) {
    EXPECT_EQ(rs.Fields().Item("n").Value(), Value{expect});
    if (expect == 10) {
      // Another statement on the same connection while rows are still coming.
      db.Execute("INSERT INTO [Big] VALUES(1000, 'late')");
    }
    ++expect;
    rs.MoveNext();
  }
  EXPECT_EQ(expect, 300);
  EXPECT_EQ(rs.RecordCount(), 300);
  rs.Close();

  RecordSet filtered;
  filtered.Open("SELECT * FROM [Big] WHERE [n] = 1000", db);
  EXPECT_EQ(filtered.RecordCount(), 1);
}

// A univarchar holding half of a surrogate pair (ASE keeps whatever UTF-16 it
// is given) cannot become UTF-8: the client library would read it with a '?'
// in its place. That row's values fail to read, naming its column; the rows
// after it come, whether streamed or taken into memory for another statement.
TEST_F(AseServerTest, ARowThatLostCharactersFailsToReadAndTheNextRowsStillCome) {
  DatabaseSession db;
  Open(db);
  db.Execute("CREATE TABLE [Lost]([n] INT, [u] UNIVARCHAR(10) NULL, [v] VARCHAR(10) NULL)");
  db.Execute("INSERT INTO [Lost] VALUES(1, 'ok', 'a?')");
  // A lone high surrogate in UTF-8's form: the server keeps the bytes and
  // sends U+D800 alone.
  db.Execute(
      "INSERT INTO [Lost] VALUES(2, 'a\xED\xA0\x80"
      "b', 'x')");
  db.Execute("INSERT INTO [Lost] VALUES(3, 'fine', 'y')");

  for (const bool buffered : {false, true}) {
    SCOPED_TRACE(buffered ? "taken into memory" : "streamed");
    RecordSet rs;
    rs.Open("SELECT * FROM [Lost]", db);
    EXPECT_EQ(rs.Fields().Item("u").Value(), Value{std::string("ok")});
    // Another statement on the connection takes the rest of the rows into memory.
    if (buffered) db.Execute("SELECT 1");
    // The fetch passes the row; only its values fail, with the reason.
    rs.MoveNext();
    ASSERT_FALSE(rs.Eof());
    for (const char* column : {"n", "u"}) {
      try {
        ADD_FAILURE() << "read as " << ToText(rs.Fields().Item(column).Value());
      } catch (const DatabaseError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("row 2 of the result"), std::string::npos) << what;
        EXPECT_NE(what.find("column u that"), std::string::npos) << what;
        EXPECT_NE(what.find("'?'"), std::string::npos) << what;
      }
    }
    rs.MoveNext();
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields().Item("u").Value(), Value{std::string("fine")});
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
  }
}

TEST_F(AseServerTest, AnotherClientsInsertWaitsUntilTheCountedRowsAreRead) {
  DatabaseSession db;
  Open(db, kAdUseClient);
  db.Execute("CREATE TABLE [Shared]([n] INT)");
  for (int i = 0; i < 50; ++i) db.Execute("INSERT INTO [Shared] VALUES(" + std::to_string(i) + ")");

  RecordSet rs;
  rs.Open("SELECT * FROM [Shared]", db);
  ASSERT_EQ(rs.RecordCount(), 50);
  std::promise<std::string> inserted;  // what the other client's insert came to
  auto outcome = inserted.get_future();
  std::thread other([&] {
    try {
      DatabaseSession second;
      Open(second);
      second.Execute("INSERT INTO [Shared] VALUES(999)");
      inserted.set_value("inserted");
    } catch (const DatabaseError& e) {
      inserted.set_value(e.Description());
    }
  });
  // While the counted rows stream, the table stays as it was counted.
  EXPECT_EQ(outcome.wait_for(500ms), std::future_status::timeout)
      << "another client changed the table between the count and the rows";
  int64_t read = 0;
  for (; !rs.Eof(); rs.MoveNext()) EXPECT_EQ(rs.Fields().Item(0).Value(), Value{read++});
  EXPECT_EQ(read, 50);
  EXPECT_EQ(rs.RecordCount(), 50);
  EXPECT_EQ(outcome.wait_for(10s), std::future_status::ready) << "the insert still waits";
  other.join();
  EXPECT_EQ(outcome.get(), "inserted");

  // Against an inserter that never stops, every read's count is its rows.
  std::atomic<bool> stop{false};
  std::atomic<int> added{0};
  std::thread inserter([&] {
    try {
      DatabaseSession second;
      Open(second);
      while (!stop) second.Execute("INSERT INTO [Shared] VALUES(" + std::to_string(++added) + ")");
    } catch (const DatabaseError&) {
      added = -1000000;
    }
  });
  for (int round = 0; round < 15; ++round) {
    RecordSet again;
    again.Open("SELECT * FROM [Shared]", db);
    const int64_t counted = again.RecordCount();
    int64_t rows = 0;
    for (; !again.Eof(); again.MoveNext()) ++rows;
    EXPECT_EQ(rows, counted) << "round " << round;
    again.Close();
    std::this_thread::sleep_for(10ms);
  }
  stop = true;
  inserter.join();
  EXPECT_GT(added.load(), 0);
}

TEST_F(AseServerTest, ASlowStatementIsCancelledAtTheCommandTimeoutAndTheSessionGoesOn) {
  DatabaseSession db;
  db.Open(ConnectionString() + ";Command Timeout=1");
  db.Execute("CREATE TABLE [W]([a] INT)");
  auto start = std::chrono::steady_clock::now();
  try {
    db.Execute("waitfor delay '00:00:20'");
    FAIL() << "the wait was not cut short";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.Number(), -2147217871) << e.Description();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  db.Execute("INSERT INTO [W] VALUES(7)");
  RecordSet rs;
  rs.Open("SELECT * FROM [W]", db);
  EXPECT_EQ(rs.RecordCount(), 1);
}

TEST(AseSilentServerTest, SybaseConnectsGivesUpOnASilentTestServer) {
  testing::AseServerOptions options;
  options.silent = true;
  testing::AseServerFixture server(options);
  FixedConnectionSettings s;
  s.Set(Setting::kAseServer, "127.0.0.1");
  s.Set(Setting::kAsePort, std::to_string(server.port()) + ";Connect Timeout=1");
  s.Set(Setting::kAseUser, server.user());
  s.Set(Setting::kAsePassword, server.password());
  ScriptedDialogs dialogs;
  CountingYielder yielder;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SybaseConnects(CommandEnv{s, dialogs, yielder}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace vq
