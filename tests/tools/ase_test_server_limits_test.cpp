// The test server's ASE limits and rules seen through tsql: the row size of the
// page size, the variable-length column limit, a full segment, temporary
// tables, text columns in comparisons, string continuation, whole-batch
// compile errors and the reply delay.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/ase_server_fixture.h"
#include "tools/tsql_runner.h"

namespace vq::testing {
namespace {

class AseServerLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TsqlAvailable()) GTEST_SKIP() << "tsql (Debian freetds-bin) is not installed";
  }
  static std::string Sql(AseServerFixture& server, const std::string& script) {
    return RunTsql(server.port(), server.user(), server.password(), script, server.database());
  }
  static AseServerOptions With(std::vector<std::string> args) {
    AseServerOptions options;
    options.extra_args = std::move(args);
    return options;
  }
};

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool HasMessage(const std::string& output, int number) {
  return output.find("Msg " + std::to_string(number) + " ") != std::string::npos;
}

// The one value a "select count(*) ..." printed: the line after the empty header.
std::string CountOf(AseServerFixture& server, const std::string& table) {
  const std::string out = RunTsql(server.port(), server.user(), server.password(),
                                  "select count(*) from " + table + "\ngo\n", server.database());
  const auto rows = out.find("(1 row affected)");
  if (rows == std::string::npos) return "error: " + out;
  const auto end = out.rfind('\n', rows);
  const auto start = out.rfind('\n', end - 1);
  return out.substr(start + 1, end - start - 1);
}

TEST_F(AseServerLimitsTest, RowsMustFitThePageSize) {
  AseServerFixture small;
  // Two varchars holding 1947 bytes make a row of 1962 bytes, the most a 2 KB
  // page takes; one byte more is refused.
  const std::string a(1000, 'a');
  const std::string fits = "insert into [V] values('" + a + "', '" + std::string(947, 'b') + "')";
  const std::string over = "insert into [V] values('" + a + "', '" + std::string(948, 'b') + "')";
  const std::string create = "create table [V]([a] varchar(1000), [b] varchar(1000))\ngo\n";
  std::string out =
      Sql(small, "select @@maxpagesize\ngo\n" + create + fits + "\ngo\n" + over + "\ngo\n");
  EXPECT_NE(out.find("2048"), std::string::npos) << out;
  // The table is made, with a warning that a row might not fit.
  EXPECT_NE(out.find("Row size (2015 bytes) could exceed row size limit, which is 1962 bytes."),
            std::string::npos)
      << out;
  EXPECT_TRUE(HasMessage(out, 511)) << out;
  EXPECT_NE(out.find("resultant row of size 1963 bytes is larger than the maximum size (1962 "
                     "bytes) allowed for this table."),
            std::string::npos)
      << out;
  EXPECT_EQ(CountOf(small, "[V]"), "1");

  // A fixed part that cannot fit is refused outright.
  out = Sql(small, "create table [F]([c] char(1961))\ngo\n");
  EXPECT_TRUE(HasMessage(out, 1701)) << out;
  EXPECT_NE(CountOf(small, "[F]").find("Msg 208"), std::string::npos);

  AseServerFixture large(With({"--page-size", "4096"}));
  out = Sql(large, "select @@maxpagesize\ngo\n" + create + over + "\ngo\n");
  EXPECT_NE(out.find("4096"), std::string::npos) << out;
  EXPECT_FALSE(HasMessage(out, 511)) << out;
  EXPECT_EQ(out.find("could exceed row size limit"), std::string::npos) << out;
  EXPECT_EQ(CountOf(large, "[V]"), "1");
}

TEST_F(AseServerLimitsTest, AllpagesTablesTakeAtMost254VariableLengthColumns) {
  AseServerFixture server;
  // Nullable columns count as variable-length ones; NOT NULL int columns do not.
  auto table = [](const std::string& name, int nullable, int fixed) {
    std::string sql = "create table [" + name + "](";
    for (int i = 0; i < nullable + fixed; ++i) {
      sql += (i ? ", [c" : "[c") + std::to_string(i) + "] int" + (i < nullable ? " null" : "");
    }
    return sql + ")\ngo\n";
  };
  const std::string out = Sql(server, table("Ok", 254, 10) + table("TooMany", 255, 0));
  EXPECT_TRUE(HasMessage(out, 1767)) << out;
  EXPECT_NE(out.find("Number of variable length columns exceeds limit of 254 for allpage locked "
                     "tables. CREATE TABLE for 'TooMany' failed."),
            std::string::npos)
      << out;
  EXPECT_EQ(CountOf(server, "[Ok]"), "0");
  EXPECT_NE(CountOf(server, "[TooMany]").find("Msg 208"), std::string::npos);
}

TEST_F(AseServerLimitsTest, AFullSegmentRefusesEveryFollowingInsert) {
  AseServerFixture server(With({"--max-pages", "3"}));
  // Rows of 914 bytes: two to a 2 KB page, so three pages hold six rows.
  const std::string row = "insert into [T] values(1, '" + std::string(900, 'r') + "')\n";
  std::string batch;
  for (int i = 0; i < 8; ++i) batch += row;
  std::string out = Sql(server, "create table [T]([i] int, [s] varchar(1000))\ngo\n" + batch +
                                    "insert into [T] values(2, 'small')\ngo\n");
  // Each statement of the batch is answered on its own.
  EXPECT_EQ(CountOf(server, "[T]"), "6");
  EXPECT_EQ(Count(out, "Msg 1105 "), 3) << out;
  EXPECT_NE(out.find("Can't allocate space for object 'T' in database 'testdb' because "
                     "'default' segment is full/has no free extents."),
            std::string::npos)
      << out;
  // Another table gets no page either, until pages are given back.
  out = Sql(server, "create table [U]([i] int)\ngo\ninsert into [U] values(1)\ngo\n");
  EXPECT_TRUE(HasMessage(out, 1105)) << out;
  out = Sql(server, "truncate table [T]\ngo\ninsert into [U] values(1)\ngo\n");
  EXPECT_FALSE(HasMessage(out, 1105)) << out;
  EXPECT_EQ(CountOf(server, "[U]"), "1");

  // The count survives a restart: the pages of stored rows are counted again.
  Sql(server, row + row + row + row + "go\n");
  server.Restart();
  out = Sql(server, row + "go\n");
  EXPECT_TRUE(HasMessage(out, 1105)) << out;
}

TEST_F(AseServerLimitsTest, TemporaryTablesBelongToTheirConnectionAndGoWithIt) {
  AseServerFixture server;
  std::string out = Sql(server,
                        "create table [#work]([i] int)\ngo\n"
                        "insert into [#work] values(5)\ngo\n"
                        "select * from [#work]\ngo\n"
                        "select name from sysobjects where type in ('U') order by name\ngo\n");
  EXPECT_NE(out.find("(1 row affected)"), std::string::npos) << out;
  EXPECT_FALSE(HasMessage(out, 208)) << out;
  // Temporary tables live in tempdb, not among the database's tables.
  EXPECT_EQ(out.find("#work\n"), std::string::npos) << out;
  // The next connection finds no such table, and may make its own.
  out = Sql(server, "select * from [#work]\ngo\ncreate table #work([j] int)\ngo\n");
  EXPECT_TRUE(HasMessage(out, 208)) << out;
  EXPECT_FALSE(HasMessage(out, 2714)) << out;
}

TEST_F(AseServerLimitsTest, TextColumnsAreComparedOnlyWithIsNull) {
  AseServerFixture server;
  Sql(server,
      "create table [M]([i] int, [t] text null, [u] unitext null, [b] image null)\ngo\n"
      "insert into [M] values(1, 'memo', 'uni', 0x01)\ngo\n");
  for (const std::string where : {"[t] = 'memo'", "[u] <> 'x'", "[b] = 0x01", "[t] in ('a')"}) {
    const std::string out = Sql(server, "select [i] from [M] where " + where + "\ngo\n");
    EXPECT_TRUE(HasMessage(out, 306)) << where << "\n" << out;
    EXPECT_NE(out.find("TEXT, IMAGE and UNITEXT datatypes may not be used in a WHERE clause"),
              std::string::npos)
        << out;
  }
  EXPECT_TRUE(HasMessage(Sql(server, "update [M] set [i] = 2 where [t] = 'memo'\ngo\n"), 306));
  EXPECT_TRUE(HasMessage(Sql(server, "select [i] from [M] order by [t]\ngo\n"), 420));
  const std::string out = Sql(server, "select [i] from [M] where [t] is not null\ngo\n");
  EXPECT_NE(out.find("(1 row affected)"), std::string::npos) << out;
}

TEST_F(AseServerLimitsTest, ABackslashBeforeALineBreakContinuesTheString) {
  AseServerFixture server;
  const std::string out = Sql(server,
                              "create table [S]([i] int, [s] varchar(100))\ngo\n"
                              "insert into [S] values(1, 'C:\\dir\\\nnext')\ngo\n"
                              "insert into [S] values(2, 'C:\\dir\\ x\nline')\ngo\n"
                              "insert into [S] values(3, 'C:\\dir\\' + char(10) + 'n' + 'o')\n"
                              "go\n"
                              "select [s] from [S] where [i] = 3\ngo\n"
                              "select [s] from [S] where [i] = 1\ngo\n"
                              "select [s] from [S] where [i] = 2\ngo\n");
  // Both the backslash and the line break go; elsewhere both stay.
  EXPECT_NE(out.find("C:\\dirnext"), std::string::npos) << out;
  EXPECT_NE(out.find("C:\\dir\\ x\nline"), std::string::npos) << out;
  // Joined strings let a client keep a backslash before a line break.
  EXPECT_NE(out.find("C:\\dir\\\nno"), std::string::npos) << out;
}

TEST_F(AseServerLimitsTest, AStatementThatDoesNotCompileStopsTheWholeBatch) {
  AseServerFixture server;
  Sql(server, "create table [B]([i] tinyint)\ngo\n");
  // 257 is found while compiling: none of the batch runs.
  std::string out = Sql(server,
                        "insert into [B] values(1)\ninsert into [B] values('2')\n"
                        "insert into [B] values(3)\ngo\n");
  EXPECT_EQ(Count(out, "Msg "), 1) << out;
  EXPECT_TRUE(HasMessage(out, 257)) << out;
  EXPECT_EQ(CountOf(server, "[B]"), "0");
  // So does a missing table or column anywhere in the batch.
  out = Sql(server, "insert into [B] values(1)\nselect [nope] from [B]\ngo\n");
  EXPECT_TRUE(HasMessage(out, 207)) << out;
  EXPECT_EQ(CountOf(server, "[B]"), "0");
  // An overflow is found while running: only that statement fails.
  out = Sql(server,
            "insert into [B] values(1)\ninsert into [B] values(300)\ninsert into [B] values(3)\n"
            "go\n");
  EXPECT_TRUE(HasMessage(out, 220)) << out;
  EXPECT_EQ(CountOf(server, "[B]"), "2");
  // A table made earlier in the batch is used by it; a statement on it that
  // does not compile ends the batch there.
  out = Sql(server,
            "create table [N]([i] int)\ninsert into [N] values(1)\ninsert into [N] values('x')\n"
            "insert into [N] values(3)\ngo\n");
  EXPECT_TRUE(HasMessage(out, 257)) << out;
  EXPECT_EQ(CountOf(server, "[N]"), "1");
}

TEST_F(AseServerLimitsTest, EveryLanguageReplyWaitsTheReplyDelay) {
  AseServerFixture server(With({"--reply-delay-us", "150000"}));
  const auto start = std::chrono::steady_clock::now();
  // The login's own setup batch and the three below: four delayed replies.
  const std::string out = Sql(server, "select 1\ngo\nselect 2\ngo\nselect 3\ngo\n");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(Count(out, "(1 row affected)"), 3) << out;
  EXPECT_GE(elapsed, std::chrono::milliseconds(600));
}

}  // namespace
}  // namespace vq::testing
