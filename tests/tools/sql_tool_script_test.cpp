// vellquist-sql --script: statements from a file, one per line, on the tool's one session.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sql_tool.h"
#include "support/fake_provider.h"

namespace vq::tools {
namespace {

using Statements = std::vector<std::string>;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

class SqlToolScript : public ::testing::Test {
 protected:
  SqlToolScript()
      : data_(std::make_shared<vq::testing::FakeDatabase>()), provider_("Fake.Sql", data_) {
    data_->tables["Orders"].columns = {{"ID", 3}};
    data_->tables["Orders"].rows = {{int64_t{7}}};
  }
  ~SqlToolScript() override {
    for (const std::string& path : written_) std::filesystem::remove(path);
  }
  std::string Script(const std::string& name, const std::string& text) {
    // Named after the test too: CTest may run this binary's tests side by side.
    std::string path = ::testing::TempDir() + "/" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" + name;
    std::ofstream(path, std::ios::binary) << text;
    written_.push_back(path);
    return path;
  }
  ToolRun Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = RunVellquistSql(args, out, err);
    return {status, out.str(), err.str()};
  }

  std::shared_ptr<vq::testing::FakeDatabase> data_;
  vq::testing::FakeProvider provider_;
  std::vector<std::string> written_;
};

TEST_F(SqlToolScript, RunsEachStatementLineInOrderAmongOtherActions) {
  std::string path = Script("ok.sql",
                            "\xEF\xBB\xBF-- a comment\n"
                            "CREATE TABLE `T` (`a` LONG);\r\n"
                            "\n"
                            "   \t\n"
                            "  INSERT INTO `T` VALUES (1, '--not a comment;')  ;  \n"
                            "  -- indented comment\n"
                            ";\n"
                            "DROP TABLE `T`");  // no line break after the last line
  ToolRun r = Run({"--connect", "Provider=Fake.Sql", "--execute", "first", "--script", path,
                   "--query", "SELECT * FROM `Orders`", "--script=" + path});
  EXPECT_EQ(r.status, 0) << r.err;
  const Statements once = {"CREATE TABLE `T` (`a` LONG)",
                           "INSERT INTO `T` VALUES (1, '--not a comment;')", "DROP TABLE `T`"};
  Statements expected = {"first"};
  expected.insert(expected.end(), once.begin(), once.end());
  expected.insert(expected.end(), once.begin(), once.end());
  EXPECT_EQ(data_->executed, expected);
  EXPECT_EQ(data_->opened.size(), 1u);
  EXPECT_EQ(r.out, "{\"columns\":[{\"name\":\"ID\",\"type\":3}],\"count\":1}\n[7]\n");
}

TEST_F(SqlToolScript, AFailureStopsAndNamesTheFileLine) {
  data_->fail_statement_containing = "BOOM";
  std::string path = Script("fails.sql", "-- setup\nCREATE TABLE a\n\nINSERT BOOM\nDROP TABLE a\n");
  ToolRun r = Run({"--connect", "Provider=Fake.Sql", "--script", path, "--tables"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(data_->executed, (Statements{"CREATE TABLE a", "INSERT BOOM"}));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error -2147467259: fake failure: INSERT BOOM (line 4)\n");

  // A failure after the script has finished names no line.
  data_->executed.clear();
  ToolRun after = Run({"--connect", "Provider=Fake.Sql", "--script", Script("ok.sql", "A\n"),
                       "--query", "SELECT * FROM Nowhere"});
  EXPECT_EQ(after.status, 1);
  EXPECT_EQ(after.err, "error -2147217865: no table Nowhere\n");
}

TEST_F(SqlToolScript, EmptyOrCommentOnlyScriptsRunNothing) {
  for (const std::string& text : {std::string(""), std::string("-- only\n\n--\n")}) {
    ToolRun r = Run({"--connect", "Provider=Fake.Sql", "--script", Script("empty.sql", text)});
    EXPECT_EQ(r.status, 0) << r.err;
  }
  EXPECT_TRUE(data_->executed.empty());
}

TEST_F(SqlToolScript, AnUnreadableScriptIsAUsageErrorBeforeAnythingRuns) {
  for (const std::string& path :
       {::testing::TempDir() + "/no-such-script.sql", ::testing::TempDir()}) {  // a folder
    ToolRun r = Run({"--connect", "Provider=Fake.Sql", "--execute", "first", "--script", path});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read the script"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(data_->opened.empty());
  EXPECT_EQ(Run({"--connect", "Provider=Fake.Sql", "--script"}).status, 2);
}

}  // namespace
}  // namespace vq::tools
