// vellquist-transfer when every row of a table would fail: a read-only Access
// target is one report and exit status 1, and a server that runs out of space
// stops that table after ten rows, says so, and the run goes on.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dataaccess/session.h"
#include "support/access_write_probe.h"
#include "support/ase_server_fixture.h"
#include "transfer_tool.h"

namespace vq::tools {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// How often `piece` stands in `text`.
size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

class FloodTool : public ::testing::Test {
 protected:
  explicit FloodTool(vq::testing::AseServerOptions options = {}) : server_(std::move(options)) {}
  void TearDown() override {
    for (const std::string& p : {file_, settings_, err_file_}) {
      if (p.empty()) continue;
      ::chmod(p.c_str(), 0644);
      fs::remove(p);
    }
  }
  std::string Name(const std::string& what) const {
    return std::string("flood-tool-") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
           std::to_string(getpid()) + what;
  }
  // A new Access file holding what `statements` make, and a settings file
  // naming it and the server.
  void UseNewFile(const Names& statements) {
    file_ = vq::testing::NewAccessFile(Name(".mdb"));
    DatabaseSession db;
    db.Open(vq::testing::AccessConnectionString(file_));
    for (const std::string& sql : statements) db.Execute(sql);
    db.Close();
    settings_ = ::testing::TempDir() + "/" + Name(".conf");
    std::ofstream(settings_) << "[Vellquist]\nAccessMDBFile=" << file_
                             << "\nAccessPassword=\nASEServer=127.0.0.1\nASEPort=" << server_.port()
                             << "\nASEUser=" << server_.user() << "\nASEPassword=\""
                             << server_.password() << "\"\nASEDatabase=" << server_.database()
                             << "\n";
  }
  std::string Ase() const {
    return "Provider=ASEOLEDB;Data Source=" + server_.address() + ";User Id=" + server_.user() +
           ";Password=" + server_.password() + ";;Catalog=" + server_.database();
  }
  // The first column of every row of `sql` on the server.
  Names Column(const std::string& sql) const {
    DatabaseSession db;
    db.Open(Ase());
    RecordSet rs;
    rs.Open(sql, db);
    Names out;
    for (; !rs.Eof(); rs.MoveNext()) out.push_back(ToText(rs.Fields().Item(0).Value()));
    return out;
  }

  vq::testing::AseServerFixture server_;
  std::string file_, settings_, err_file_;
};

TEST_F(FloodTool, AReadOnlyAccessTargetIsOneReportAndExitStatusOne) {
  {
    DatabaseSession db;
    db.Open(Ase());
    db.Execute("CREATE TABLE [Big]([n] INT, [label] VARCHAR(20) NULL)");
    Names rows;
    for (int i = 1; i <= 5000; ++i) {
      rows.push_back("INSERT INTO [Big] VALUES(" + std::to_string(i) + ", 'row " +
                     std::to_string(i) + "')");
    }
    std::vector<std::string_view> views(rows.begin(), rows.end());
    std::vector<std::exception_ptr> outcomes;
    ASSERT_EQ(db.ExecuteBatch(views, outcomes), views.size());
  }
  UseNewFile({"CREATE TABLE `Kept` (`n` LONG)"});
  ASSERT_EQ(::chmod(file_.c_str(), 0444), 0);
  const auto before = fs::file_size(file_);

  // The binary, so that the status is the one a script sees.
  err_file_ = ::testing::TempDir() + "/" + Name(".err");
  const std::string command = std::string(VQ_TRANSFER_TOOL) + " --settings '" + settings_ +
                              "' --send-to-access Big 2>'" + err_file_ + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kTransferFailed);
  std::stringstream err;
  err << std::ifstream(err_file_).rdbuf();
  const std::string text = err.str();
  EXPECT_EQ(Count(text, "Application Error:\n"), 1u) << text;
  EXPECT_NE(text.find("read-only"), std::string::npos) << text;
  EXPECT_NE(text.find("sql: CREATE TABLE `Big`("), std::string::npos) << text;
  EXPECT_EQ(text.find("INSERT"), std::string::npos) << text;
  EXPECT_EQ(fs::file_size(file_), before);

  // Overwriting a table the file has: the refused DROP is the one report.
  {
    DatabaseSession db;
    db.Open(Ase());
    db.Execute("CREATE TABLE [Kept]([n] INT)");
  }
  std::ostringstream out;
  EXPECT_EQ(
      RunVellquistTransfer(
          {"--settings", settings_, "--overwrite", "yes", "--send-to-access", "Kept"}, out, false),
      kTransferFailed);
  EXPECT_EQ(Count(out.str(), "Application Error:\n"), 1u) << out.str();
  EXPECT_NE(out.str().find("PushButton4_Click at line 140\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("read-only"), std::string::npos) << out.str();
  EXPECT_EQ(fs::file_size(file_), before);
}

// A server whose database has room for a few dozen rows of text.
class FloodToolFullServer : public FloodTool {
 protected:
  FloodToolFullServer() : FloodTool(Options()) {}
  static vq::testing::AseServerOptions Options() {
    vq::testing::AseServerOptions o;
    o.extra_args = {"--max-pages", "40"};
    return o;
  }
};

TEST_F(FloodToolFullServer, AFullSegmentStopsTheTableAfterTenRowsAndTheRunGoesOn) {
  Names statements = {"CREATE TABLE `Full` (`n` LONG, `memo` MEMO)",
                      "CREATE TABLE `Alpha` (`n` LONG)"};
  for (int i = 1; i <= 300; ++i) {
    statements.push_back("INSERT INTO `Full` VALUES(" + std::to_string(i) + ", 'memo " +
                         std::to_string(i) + "')");
  }
  UseNewFile(statements);
  std::ostringstream out;
  // Full first, then Alpha.
  EXPECT_EQ(
      RunVellquistTransfer(
          {"--settings", settings_, "--send-to-ase", "Full", "--send-to-ase", "Alpha"}, out, false),
      kTransferFailed);
  const std::string text = out.str();

  const Names fitted = Column("SELECT [n] FROM [Full] ORDER BY [n]");
  ASSERT_FALSE(fitted.empty());
  const int first_refused = static_cast<int>(fitted.size()) + 1;
  ASSERT_LT(first_refused, 290);
  EXPECT_EQ(fitted.back(), std::to_string(first_refused - 1));

  // Ten reports of the full segment, the stop, and nothing more of Full.
  EXPECT_EQ(Count(text, "Application Error:\n"), 10u) << text;
  EXPECT_EQ(Count(text, "segment is full"), 10u) << text;
  const std::string stop =
      "The last 10 rows of Full failed with the same error. Go on sending Full? no: "
      "vellquist-transfer sends no more rows of this table\n";
  const size_t said = text.find(stop);
  ASSERT_NE(said, std::string::npos) << text;
  EXPECT_EQ(Count(text, "Go on sending"), 1u) << text;
  const std::string tenth = "sql: INSERT INTO [Full] VALUES(" + std::to_string(first_refused + 9) +
                            ", 'memo " + std::to_string(first_refused + 9) + "')";
  EXPECT_NE(text.find(tenth), std::string::npos) << text;
  EXPECT_LT(text.find(tenth), said);
  EXPECT_EQ(text.find("Application Error", said), std::string::npos) << text;

  // The run went on with Alpha, which is on the server.
  EXPECT_EQ(Column("SELECT count(*) FROM [Alpha]"), Names{"0"});
}

}  // namespace
}  // namespace vq::tools
