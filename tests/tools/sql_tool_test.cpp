#include "sql_tool.h"

#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/fake_provider.h"

namespace vq::tools {
namespace {

using vq::testing::FakeDatabase;
using vq::testing::FakeProvider;
using vq::testing::FakeTable;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = RunVellquistSql(args, out, err);
  return {status, out.str(), err.str()};
}

class SqlToolTest : public ::testing::Test {
 protected:
  SqlToolTest() : data_(std::make_shared<FakeDatabase>()), provider_("Fake.Sql", data_) {
    FakeTable orders;
    orders.columns = {{"ID", 3}, {"Note", 202}, {"Paid", 11}};
    orders.rows = {{int64_t{1}, std::string("tab\there"), true}, {int64_t{2}, Value{}, false}};
    data_->tables["Orders"] = orders;
    data_->tables["MSysObjects"].type = "SYSTEM TABLE";
    data_->tables["Empty"].columns = {{"X", 5}};
  }
  std::shared_ptr<FakeDatabase> data_;
  FakeProvider provider_;
};

TEST_F(SqlToolTest, TablesListsEveryCatalogueRowInOrder) {
  ToolRun r = RunTool({"--connect", "Provider=Fake.Sql", "--tables"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Empty\tTABLE\nMSysObjects\tSYSTEM TABLE\nOrders\tTABLE\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(SqlToolTest, QueryPrintsHeaderThenOneArrayPerRow) {
  ToolRun r = RunTool({"--connect", "Provider=Fake.Sql", "--query", "SELECT * FROM `Orders`",
                       "--query=SELECT * FROM [Empty]"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"columns\":[{\"name\":\"ID\",\"type\":3},{\"name\":\"Note\",\"type\":202},"
            "{\"name\":\"Paid\",\"type\":11}],\"count\":2}\n"
            "[1,\"tab\\u0009here\",true]\n"
            "[2,null,false]\n"
            "{\"columns\":[{\"name\":\"X\",\"type\":5}],\"count\":0}\n");
}

TEST_F(SqlToolTest, ActionsRunInOrderOnOneSessionAndStopAtTheFirstFailure) {
  data_->fail_statement_containing = "BOOM";
  ToolRun r = RunTool({"--cursor-location", "client", "--execute", "CREATE TABLE a", "--connect",
                       "Provider=Fake.Sql", "--tables", "--execute", "INSERT BOOM\r\nnow",
                       "--execute", "never"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(data_->opened.size(), 1u);
  EXPECT_EQ(data_->executed, (std::vector<std::string>{"CREATE TABLE a", "INSERT BOOM\r\nnow"}));
  EXPECT_EQ(r.out, "Empty\tTABLE\nMSysObjects\tSYSTEM TABLE\nOrders\tTABLE\n");
  // One line, whatever line breaks the description held.
  EXPECT_EQ(r.err, "error -2147467259: fake failure: INSERT BOOM  now\n");
}

TEST_F(SqlToolTest, FailuresToOpenOrQueryAreErrorLines) {
  data_->refuse_open = true;
  ToolRun refused = RunTool({"--connect", "Provider=Fake.Sql", "--tables"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "error -2147217843: fake refusal\n");

  data_->refuse_open = false;
  ToolRun missing = RunTool({"--connect", "Provider=Fake.Sql", "--query", "SELECT * FROM Nowhere"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "error -2147217865: no table Nowhere\n");
}

// Rows of one long text column, of which row `bad` (from 1) cannot be read:
// the cursor moves past it and only its values fail, as a damaged row does.
class RowsWithOneUnreadable : public Cursor {
 public:
  RowsWithOneUnreadable(int rows, int bad) : rows_(rows), bad_(bad) {}
  const std::vector<FieldInfo>& Columns() const override { return columns_; }
  bool Fetch(std::vector<Value>& row) override {
    if (next_ >= rows_) return false;
    if (++next_ == bad_)
      throw UnreadableRow(-2147467259, "row " + std::to_string(bad_) + " is damaged");
    row = {int64_t{next_}, std::string(100, 'a' + next_ % 26)};
    return true;
  }
  int64_t RowCount() override { return rows_; }

 private:
  std::vector<FieldInfo> columns_ = {{"N", 3}, {"T", 202}};
  int rows_, bad_, next_ = 0;
};

class UnreadableRowConnection : public Connection {
 public:
  explicit UnreadableRowConnection(int bad) : bad_(bad) {}
  void Execute(const std::string&) override {}
  std::unique_ptr<Cursor> OpenSchema(int) override { return nullptr; }
  std::unique_ptr<Cursor> Query(const std::string&, const QueryOptions&) override {
    return std::make_unique<RowsWithOneUnreadable>(3000, bad_);
  }
  void Close() override {}

 private:
  int bad_;
};

// Lines go out in large pieces; a row that fails must still leave every row
// before it printed whole and nothing of itself, whether the failure comes
// with the fetch or with reading the row's values.
TEST_F(SqlToolTest, AFailingRowEndsTheOutputAfterTheWholeRowsBeforeIt) {
  auto expect_rows_before = [](const ToolRun& r, int bad, const std::string& error) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, error);
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);  // the header
    int n = 0;
    while (std::getline(lines, line)) {
      ++n;
      ASSERT_EQ(line, "[" + std::to_string(n) + ",\"" + std::string(100, 'a' + n % 26) + "\"]");
    }
    EXPECT_EQ(n, bad - 1);
    EXPECT_EQ(r.out.back(), '\n');
  };

  FakeTable many;
  many.columns = {{"N", 3}, {"T", 202}};
  for (int n = 1; n <= 3000; ++n) many.rows.push_back({int64_t{n}, std::string(100, 'a' + n % 26)});
  data_->tables["Many"] = many;
  data_->fail_fetch_of_row = 2500;  // fetches count from the first row's
  expect_rows_before(RunTool({"--connect", "Provider=Fake.Sql", "--query", "SELECT * FROM Many"}),
                     2500, "error -2147467259: fake failure: fetching row 2500\n");

  ProviderRegistry::Global().Register("Unreadable.Sql",
                                      [](const std::string&, const SessionOptions&) {
                                        return std::make_unique<UnreadableRowConnection>(2200);
                                      });
  ToolRun r = RunTool({"--connect", "Provider=Unreadable.Sql", "--query", "SELECT * FROM T"});
  ProviderRegistry::Global().Unregister("Unreadable.Sql");
  expect_rows_before(r, 2200, "error -2147467259: row 2200 is damaged\n");
}

TEST_F(SqlToolTest, UsageErrorsOpenNothing) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"--tables"},
           {"--connect", "Provider=Fake.Sql"},
           {"--connect", "Provider=Fake.Sql", "--connect", "Provider=Fake.Sql", "--tables"},
           {"--connect", "Provider=Fake.Sql", "--tables=yes"},
           {"--connect", "Provider=Fake.Sql", "--execute"},
           {"--connect", "Provider=Fake.Sql", "--cursor-location", "both", "--tables"},
           {"--connect", "Provider=Fake.Sql", "tables"},
           {"--create"},
           {"--create", ""},
           {"--create", "a.mdb", "--create", "b.mdb"},
           {"--create", "a.mdb", "--format", "jet2"},
           {"--connect", "Provider=Fake.Sql", "--password", "x", "--tables"},
           {"--connect", "Provider=Fake.Sql", "--format", "jet4", "--tables"},
           {"--create", "a.mdb", "--code-page", "1253"},
           {"--create", "a.mdb", "--format", "jet3", "--code-page", "greek"},
           {"--connect", "Provider=Fake.Sql", "--code-page", "1253", "--tables"}}) {
    ToolRun r = RunTool(args);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
  }
  EXPECT_TRUE(data_->opened.empty());
}

TEST(SqlToolCreate, MakesTheFileThenRunsTheActionsOnItAndNeverReplacesOne) {
  const std::string folder = ::testing::TempDir() + "vq-sql-create-" + std::to_string(::getpid());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/new.accdb";
  ToolRun r = RunTool({"--create", path, "--format", "ace12", "--execute",
                       "CREATE TABLE `T` (`x` LONG)", "--tables"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("MSysObjects\tSYSTEM TABLE\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("T\tTABLE\n"), std::string::npos) << r.out;

  const auto size = std::filesystem::file_size(path);
  r = RunTool({"--create", path, "--format", "ace12"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("error -2147217897: ", 0), 0u) << r.err;
  EXPECT_EQ(std::filesystem::file_size(path), size);

  // A new .accdb with a password is encrypted: it opens with that password only.
  const std::string ace = folder + "/secret.accdb";
  r = RunTool({"--create", ace, "--format", "ace12", "--password", "p"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string open_ace =
      "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + ace + ";Jet OLEDB:Database Password=";
  EXPECT_EQ(RunTool({"--connect", open_ace + "p", "--tables"}).status, 0);
  r = RunTool({"--connect", open_ace + "q", "--tables"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("error -2147217843: ", 0), 0u) << r.err;

  // A Jet4 file with a password opens with that password only.
  const std::string jet = folder + "/secret.mdb";
  EXPECT_EQ(RunTool({"--create", jet, "--password", "p w"}).status, 0);
  const std::string open =
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + jet + ";Jet OLEDB:Database Password=";
  EXPECT_EQ(RunTool({"--connect", open + "p w", "--tables"}).status, 0);
  EXPECT_EQ(RunTool({"--connect", open + "p", "--tables"}).status, 1);
  // An Access 97 file in the Greek code page takes Greek text; one in a
  // code page that is not a single-byte Windows one is refused, not made.
  const std::string greek = folder + "/greek.mdb";
  r = RunTool({"--create", greek, "--format", "jet3", "--code-page", "1253", "--execute",
               "CREATE TABLE T (\xCE\x8C\xCE\xBD\xCE\xBF\xCE\xBC\xCE\xB1 TEXT(20))", "--execute",
               "INSERT INTO T VALUES ('\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1')", "--query",
               "SELECT * FROM T"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1"), std::string::npos) << r.out;
  r = RunTool({"--create", folder + "/chinese.mdb", "--format", "jet3", "--code-page", "936"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("code page 936"), std::string::npos) << r.err;
  // Nothing but the databases made is left in the folder.
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"new.accdb", "secret.accdb", "secret.mdb", "greek.mdb"}));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vq::tools
