// vellquist-transfer: options, the settings file, the console boxes, and whole
// runs on a copy of a real Access file and against the ASE test server.
#include "transfer_tool.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "console_interaction.h"
#include "dataaccess/session.h"
#include "dataaccess/settings_file.h"
#include "support/access_write_probe.h"
#include "support/ase_server_fixture.h"

namespace vq::tools {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

std::string TempPath(const std::string& what) {
  return ::testing::TempDir() + "/transfer-tool-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
         std::to_string(getpid()) + what;
}

int RunTool(const Names& args, std::string* err = nullptr) {
  std::ostringstream out;
  const int status = RunVellquistTransfer(args, out, false);
  if (err) *err = out.str();
  return status;
}

TEST(TransferToolOptions, BadOptionsExitWithTwoAndTheUsage) {
  for (const Names& args : std::vector<Names>{{},
                                              {"--bogus"},
                                              {"--send-to-ase"},
                                              {"--overwrite", "maybe", "--delete-ase", "T"},
                                              {"--rename-access", "Old"},
                                              {"--rename-access", "Old", "New", "Third"},
                                              {"--delete-access", "A", "", "B"},
                                              {"--delete-access", "--delete-ase", "T"},
                                              {"--overwrite", "yes"}}) {
    std::string err;
    EXPECT_EQ(RunTool(args, &err), kTransferCannotStart) << ::testing::PrintToString(args);
    EXPECT_NE(err.find("usage: vellquist-transfer"), std::string::npos) << err;
  }
  std::string err;
  EXPECT_EQ(RunTool({"--help"}, &err), kTransferOk);
  EXPECT_NE(err.find("--rename-access OLD NEW"), std::string::npos);
}

TEST(TransferToolOptions, ASettingsFileThatCannotBeReadStopsTheTool) {
  std::string err;
  EXPECT_EQ(RunTool({"--settings", "/nowhere/Zelvora.conf", "--delete-ase", "T"}, &err),
            kTransferCannotStart);
  EXPECT_NE(err.find("/nowhere/Zelvora.conf"), std::string::npos) << err;
}

TEST(SettingsFile, ReadsValuesAsTheStoreWritesThem) {
  const std::string path = TempPath(".conf");
  std::ofstream(path) << "[General]\nASEUser=wrong\n"
                         "[Vellquist]\n"
                         "AccessMDBFile=/data/My Shop.mdb  \n"
                         "AccessPassword=\"p;w,\\\"x\\\"\\\\ \"\n"
                         "ASEServer=\"  padded  \"\n"
                         "ASEUser=a, b\n"
                         "ASEPassword=tab\\there\\x1f\\x20ac\\xd83d\\xde00\n"
                         "ASEDatabase=@@at\r\n"
                         "; a comment\n"
                         "[Other]\nASEPort=1\n";
  const FixedConnectionSettings s = ReadConnectionSettingsFile(path);
  EXPECT_EQ(s.Get(Setting::kAccessFile), "/data/My Shop.mdb");
  EXPECT_EQ(s.Get(Setting::kAccessPassword), "p;w,\"x\"\\ ");
  EXPECT_EQ(s.Get(Setting::kAseServer), "  padded  ");
  EXPECT_EQ(s.Get(Setting::kAsePort), "5000");  // absent: its default
  EXPECT_EQ(s.Get(Setting::kAseUser), "a, b");
  EXPECT_EQ(s.Get(Setting::kAsePassword), "tab\there\x1f\u20ac\U0001F600");
  EXPECT_EQ(s.Get(Setting::kAseDatabase), "@at");
  fs::remove(path);
}

TEST(ConsoleInteraction, BoxesPrintTheirTextAndTheBarDrawsOnATerminal) {
  std::ostringstream err;
  ConsoleDialogs asked(err, std::nullopt);
  EXPECT_EQ(asked.MsgBox("Would you like to overwrite T?", kMsgYesNo, "Overwrite?"), kAnswerNo);
  ConsoleDialogs told(err, true);
  EXPECT_EQ(told.MsgBox("Would you like to overwrite T?", kMsgYesNo, "Overwrite?"), kAnswerYes);
  EXPECT_EQ(told.MsgBox("boom\r\nin X at line 100\r\rPlease", kMsgExclamation, "Application Error"),
            kAnswerOk);
  EXPECT_EQ(told.Reports(), 1);
  EXPECT_EQ(asked.Reports(), 0);
  ConsoleProgressBar bar(err, true);
  bar.SetValue(50);
  bar.SetValue(50);
  bar.SetValue(120);
  bar.SetValue(0);
  ConsoleProgressBar quiet(err, false);
  quiet.SetValue(30);
  EXPECT_EQ(err.str(),
            "Would you like to overwrite T? no (--overwrite yes replaces it)\n"
            "Would you like to overwrite T? yes\n"
            "Application Error:\nboom\nin X at line 100\n\nPlease\n\n"
            "\r50%\r100%\r     \r");
}

// Whole runs: a new Access file (or a copy of one Access made) and the test
// server, the settings in a file.
class TransferToolRun : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& p : {copy_, settings_}) {
      if (!p.empty()) fs::remove(p);
    }
  }
  // Copies `fixture` and writes a settings file naming the copy and the server.
  // False when the shared fixtures are absent.
  bool UseCopyOf(const std::string& fixture) {
    if (!fs::exists(kFixtures + fixture)) return false;
    copy_ = vq::testing::CopyFixture(kFixtures + fixture,
                                     fs::path(TempPath(".mdb")).filename().string());
    WriteSettings();
    return true;
  }
  // The same with a new file holding Table1 to Table4.
  void UseNewFile() {
    copy_ = vq::testing::NewAccessFileWithTables(fs::path(TempPath(".mdb")).filename().string());
    WriteSettings();
  }
  void WriteSettings(int port = 0) {
    settings_ = TempPath(".conf");
    std::ofstream(settings_) << "[Vellquist]\nAccessMDBFile=" << copy_
                             << "\nAccessPassword=\nASEServer=127.0.0.1\nASEPort="
                             << (port ? port : server_.port()) << "\nASEUser=" << server_.user()
                             << "\nASEPassword=\"" << server_.password()
                             << "\"\nASEDatabase=" << server_.database() << "\n";
  }
  int Tool(Names args, std::string* err = nullptr) {
    args.insert(args.begin(), {"--settings", settings_});
    std::string text;
    const int status = RunTool(args, &text);
    if (err) *err = text;
    return status;
  }
  std::string Access() { return vq::testing::AccessConnectionString(copy_); }
  std::string Ase() {
    return "Provider=ASEOLEDB;Data Source=127.0.0.1:" + std::to_string(server_.port()) +
           ";User Id=" + server_.user() + ";Password=" + server_.password() +
           ";;Catalog=" + server_.database();
  }
  static void Execute(const std::string& cs, const std::string& sql) {
    DatabaseSession db;
    db.Open(cs);
    db.Execute(sql);
    db.Close();
  }
  // The user tables, sorted.
  static Names Tables(const std::string& cs) {
    DatabaseSession db;
    db.Open(cs);
    RecordSet rs = db.OpenSchema(kAdSchemaTables);
    Names out;
    for (; !rs.Eof(); rs.MoveNext()) {
      if (ToText(rs.Fields().Item("TABLE_TYPE").Value()) == "TABLE")
        out.push_back(ToText(rs.Fields().Item("TABLE_NAME").Value()));
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  static Names Column(const std::string& cs, const std::string& sql) {
    DatabaseSession db;
    db.Open(cs);
    RecordSet rs;
    rs.Open(sql, db);
    Names out;
    for (; !rs.Eof(); rs.MoveNext()) out.push_back(ToText(rs.Fields().Item(1).Value()));
    return out;
  }

  vq::testing::AseServerFixture server_;
  std::string copy_, settings_;
};

TEST_F(TransferToolRun, SendsRenamesAndDeletesOnBothSides) {
  UseNewFile();
  Execute(Access(), "CREATE TABLE `Orders`(`id` LONG, `who` TEXT(20))");
  for (const char* row : {"'1', 'Ann'", "'2', 'O''Hara'", "'3', NULL"})
    Execute(Access(), std::string("INSERT INTO `Orders` VALUES(") + row + ")");

  std::string err;
  EXPECT_EQ(Tool({"--send-to-ase", "orders"}, &err), kTransferOk) << err;
  EXPECT_EQ(Column(Ase(), "SELECT * FROM [Orders]"), (Names{"Ann", "O'Hara", ""}));
  // Without --overwrite the table on the server is left alone.
  Execute(Ase(), "INSERT INTO [Orders] VALUES(4, 'extra')");
  EXPECT_EQ(Tool({"--send-to-ase", "Orders"}, &err), kTransferOk) << err;
  EXPECT_NE(err.find("Would you like to overwrite Orders? no"), std::string::npos) << err;
  EXPECT_EQ(Column(Ase(), "SELECT * FROM [Orders]").size(), 4u);
  EXPECT_EQ(Tool({"--overwrite", "yes", "--send-to-ase", "Orders"}, &err), kTransferOk) << err;
  EXPECT_EQ(Column(Ase(), "SELECT * FROM [Orders]").size(), 3u);

  // Renamed on the Access side, then fetched back from the server.
  EXPECT_EQ(Tool({"--rename-access", "Orders", "Sales", "--send-to-access", "Orders"}, &err),
            kTransferOk)
      << err;
  EXPECT_EQ(Tables(Access()), (Names{"Orders", "Sales", "Table1", "Table2", "Table3", "Table4"}));
  EXPECT_EQ(Column(Access(), "SELECT * FROM `Orders`"), (Names{"Ann", "O'Hara", ""}));

  EXPECT_EQ(Tool({"--delete-ase", "Orders", "--delete-access", "Sales", "Orders"}, &err),
            kTransferOk)
      << err;
  EXPECT_EQ(Tables(Access()), (Names{"Table1", "Table2", "Table3", "Table4"}));
  EXPECT_TRUE(Tables(Ase()).empty());

  // A table nobody has is named, and the run fails.
  EXPECT_EQ(Tool({"--delete-access", "Ghost", "Table4"}, &err), kTransferFailed);
  EXPECT_NE(err.find("the Access database has no table 'Ghost'"), std::string::npos) << err;
  EXPECT_EQ(Tables(Access()), (Names{"Table1", "Table2", "Table3"}));
}

TEST_F(TransferToolRun, ARefusedDropIsReportedWithStatusOne) {
  if (!UseCopyOf("jackcess/src/test/data/V2000/indexTestV2000.mdb"))
    GTEST_SKIP() << "needs a file made by Access with tables in a relationship: the shared "
                    "fixtures are not at "
                 << kFixtures;
  std::string err;
  EXPECT_EQ(Tool({"--delete-access", "Table1"}, &err), kTransferFailed);
  EXPECT_NE(err.find("Application Error:\n"), std::string::npos) << err;
  EXPECT_NE(err.find("relationship"), std::string::npos) << err;
  EXPECT_NE(err.find("PushButton1_Click at line 116\n"), std::string::npos) << err;
  EXPECT_EQ(Tables(Access()), (Names{"Table1", "Table2", "Table3"}));
}

TEST_F(TransferToolRun, ADatabaseThatCannotBeReachedIsAFailedStep) {
  UseNewFile();
  server_.Stop();
  std::string err;
  EXPECT_EQ(Tool({"--delete-ase", "T"}, &err), kTransferFailed);
  EXPECT_NE(err.find("cannot connect"), std::string::npos) << err;
  // The Access side alone still works without a server.
  EXPECT_EQ(Tool({"--delete-access", "Table4"}, &err), kTransferOk) << err;

  fs::remove(copy_);
  EXPECT_EQ(Tool({"--delete-access", "Table3"}, &err), kTransferFailed);
  EXPECT_NE(err.find("does not exist"), std::string::npos) << err;
}

TEST(TransferToolBinary, ExitStatusesReachTheShell) {
  const std::string tool = VQ_TRANSFER_TOOL;
  const int bad = std::system((tool + " --bogus 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(bad));
  EXPECT_EQ(WEXITSTATUS(bad), kTransferCannotStart);
  const int help = std::system((tool + " --help 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(help));
  EXPECT_EQ(WEXITSTATUS(help), kTransferOk);
}

}  // namespace
}  // namespace vq::tools
