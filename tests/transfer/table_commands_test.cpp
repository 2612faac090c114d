// The delete and rename commands: over provider doubles with scripted boxes,
// then on copies of real Access files and against the ASE test server.
#include "transfer/table_commands.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "dataaccess/session.h"
#include "support/access_write_probe.h"
#include "support/ase_server_fixture.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

namespace fs = std::filesystem;
using Statements = std::vector<std::string>;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

class TableCommands : public TransferTest {
 protected:
  int DeleteAccess() { return DeleteAccessTables(env_, window_); }
  int DeleteAse() { return DeleteAseTables(env_, window_); }
  int RenameAccess() { return RenameAccessTableCommand(env_, window_); }

  // The uniform report of `handler` failing at `step`.
  static std::string Uniform(const char* handler, const std::string& description, int step) {
    return ComposeErrorReport(description, LocationLiteral("Form2", handler), step);
  }

  // The plain messages shown (not reports).
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : dialogs_.messages) {
      if (m.title != kErrorReportTitle) out.push_back(m.text);
    }
    return out;
  }
};

TEST_F(TableCommands, DeletesDropEverySelectedTableFromTheBottomWithoutAsking) {
  Select(list1_, {"Alpha", "Gamma", "delta"});
  list1_.AddItem("Beta");
  list2_.AddItem("Alpha");
  EXPECT_EQ(DeleteAccess(), 0);
  EXPECT_EQ(access_->executed,
            (Statements{"DROP TABLE `Gamma`;", "DROP TABLE `delta`;", "DROP TABLE `Alpha`;"}));
  EXPECT_EQ(list1_.Items(), (Statements{"Beta"}));
  EXPECT_EQ(list2_.Items(), (Statements{"Alpha"}));  // the other side is left alone
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(pointer_.history, (std::vector<int>{kPointerHourglass, kPointerDefault}));
  EXPECT_EQ(access_->opened,
            (Statements{"PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/nowhere/test.mdb;"
                        "JET OLEDB:Database Password=pw"}));

  Select(list2_, {"Orders", "Beta"});
  EXPECT_EQ(DeleteAse(), 0);
  EXPECT_EQ(ase_->executed, (Statements{"DROP TABLE [Orders]", "DROP TABLE [Beta]"}));
  EXPECT_EQ(list2_.Items(), (Statements{"Alpha"}));
  EXPECT_EQ(list1_.Items(), (Statements{"Beta"}));
  EXPECT_TRUE(progress_.history.empty());
}

TEST_F(TableCommands, WithoutSelectionOrCurrentEntryOnlyTheConnectionIsOpened) {
  // A current entry and nothing selected: nothing dropped, nothing shown.
  list1_.AddItem("Orders");
  list1_.SetListIndex(0);
  EXPECT_EQ(DeleteAccess(), 0);
  EXPECT_TRUE(access_->executed.empty());
  EXPECT_EQ(access_->opened.size(), 1u);
  EXPECT_TRUE(dialogs_.messages.empty());

  // No current entry: the message, after the connection was opened.
  list2_.AddItem("Orders");
  list2_.SetSelected(0, true);
  EXPECT_EQ(DeleteAse(), 0);
  EXPECT_TRUE(ase_->executed.empty());
  EXPECT_EQ(ase_->opened.size(), 1u);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Please select a table");
  EXPECT_EQ(dialogs_.messages[0].style, kMsgOkOnly);
  EXPECT_EQ(dialogs_.messages[0].title, "Vellquist");
  EXPECT_EQ(list2_.Items(), (Statements{"Orders"}));
  EXPECT_EQ(pointer_.Pointer(), kPointerDefault);
}

TEST_F(TableCommands, AConnectionThatFailsIsReportedAndEveryTableKeepsItsEntry) {
  // A wrong password: the report for the opening step, then the message.
  access_->refuse_open = true;
  list1_.AddItem("Orders");
  EXPECT_EQ(DeleteAccess(), 1);
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0].text, Uniform("PushButton1_Click", "fake refusal", 108));
  EXPECT_EQ(dialogs_.messages[0].style, kMsgExclamation);
  EXPECT_EQ(dialogs_.messages[1].text, "Please select a table");

  // With tables selected, each one's drop is reported; the tables are still
  // there, so their entries stay.
  dialogs_.messages.clear();
  ase_->refuse_open = true;
  Select(list2_, {"A", "B"});
  EXPECT_EQ(DeleteAse(), 3);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0], Uniform("PushButton5_Click", "fake refusal", 104));
  EXPECT_NE(reports[1].find("at line 112\r"), std::string::npos) << reports[1];
  EXPECT_NE(reports[2].find("at line 112\r"), std::string::npos) << reports[2];
  EXPECT_EQ(list2_.Items(), (Statements{"A", "B"}));
  EXPECT_EQ(pointer_.history.back(), kPointerDefault);
}

TEST_F(TableCommands, ARefusedDropIsReportedAndTheOthersAreStillDropped) {
  access_->fail_statement_containing = "`Beta`";
  Select(list1_, {"Alpha", "Beta", "Gamma"});
  EXPECT_EQ(DeleteAccess(), 1);
  EXPECT_EQ(Reports(),
            (Statements{Uniform("PushButton1_Click", "fake failure: DROP TABLE `Beta`;", 116)}));
  EXPECT_EQ(access_->executed.size(), 3u);
  EXPECT_EQ(list1_.Items(), (Statements{"Beta"}));
}

TEST_F(TableCommands, NamesThatWouldEndTheQuotingAreRefusedAndNeverSent) {
  Select(list1_, {"a`b", "ok"});
  EXPECT_EQ(DeleteAccess(), 1);
  EXPECT_EQ(access_->executed, (Statements{"DROP TABLE `ok`;"}));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("grave accent"), std::string::npos) << Reports()[0];
  EXPECT_NE(Reports()[0].find("at line 116\r"), std::string::npos);
  EXPECT_EQ(list1_.Items(), (Statements{"a`b"}));

  Select(list2_, {"x] DROP TABLE [y", "z"});
  EXPECT_EQ(DeleteAse(), 1);
  EXPECT_EQ(ase_->executed, (Statements{"DROP TABLE [z]"}));
  EXPECT_EQ(list2_.Items(), (Statements{"x] DROP TABLE [y"}));
}

TEST_F(TableCommands, RenameWantsExactlyOneSelectedEntryAndACurrentOne) {
  list1_.AddItem("Orders");
  list1_.AddItem("Sales");
  // None selected, then two: the same message, and nothing else happens.
  EXPECT_EQ(RenameAccess(), 0);
  list1_.SetSelected(0, true);
  list1_.SetSelected(1, true);
  list1_.SetListIndex(0);
  EXPECT_EQ(RenameAccess(), 0);
  // One selected but no current entry.
  list1_.SetSelected(0, false);
  list1_.SetListIndex(-1);
  EXPECT_EQ(RenameAccess(), 0);
  EXPECT_EQ(Messages(), (Statements{"Please select just one table to rename.",
                                    "Please select just one table to rename.",
                                    "Please select a table to rename."}));
  for (const auto& m : dialogs_.messages) EXPECT_EQ(m.style, kMsgOkOnly);
  EXPECT_TRUE(dialogs_.inputs.empty());
  EXPECT_TRUE(pointer_.history.empty());
  EXPECT_TRUE(access_->opened.empty());
}

TEST_F(TableCommands, ACancelledOrEmptyAnswerRenamesNothing) {
  Select(list1_, {"Orders"});
  list1_.AddItem("Sales");
  EXPECT_EQ(RenameAccess(), 0);  // cancelled: no answer scripted
  ASSERT_EQ(dialogs_.inputs.size(), 1u);
  EXPECT_EQ(dialogs_.inputs[0].text, "Enter new name of Orders:");
  EXPECT_EQ(dialogs_.inputs[0].title, "Vellquist");
  EXPECT_EQ(dialogs_.inputs[0].default_text, "Orders");
  dialogs_.input_answers = {""};
  EXPECT_EQ(RenameAccess(), 0);
  EXPECT_TRUE(access_->opened.empty());
  EXPECT_EQ(list1_.Items(), (Statements{"Orders", "Sales"}));
  EXPECT_EQ(pointer_.history, (std::vector<int>{kPointerHourglass, kPointerDefault,
                                                kPointerHourglass, kPointerDefault}));
}

TEST_F(TableCommands, ARenameReplacesTheEntryAndKeepsTheBlanksOfTheName) {
  Select(list1_, {"Orders"});
  list1_.AddItem("Beta");
  list1_.AddItem("Zeta");
  dialogs_.input_answers = {"Aaa orders "};
  EXPECT_EQ(RenameAccess(), 0);
  EXPECT_EQ(access_->executed, (Statements{"ALTER TABLE `Orders` RENAME TO `Aaa orders `;"}));
  EXPECT_EQ(list1_.Items(), (Statements{"Aaa orders ", "Beta", "Zeta"}));
  EXPECT_TRUE(dialogs_.messages.empty());

  // A name Access refuses fails inside the rename (line 120 of its report), the list unchanged.
  list1_.SetSelected(0, true);
  list1_.SetListIndex(0);
  dialogs_.input_answers = {" leading"};
  EXPECT_EQ(RenameAccess(), 1);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("begins with a blank"), std::string::npos) << Reports()[0];
  EXPECT_NE(Reports()[0].find("PushButton6_Click at line 120\r"), std::string::npos);
  EXPECT_EQ(list1_.Items(), (Statements{"Aaa orders ", "Beta", "Zeta"}));
  EXPECT_EQ(pointer_.Pointer(), kPointerDefault);
}

TEST_F(TableCommands, ThePromptNamesTheSelectedTableWhateverIsCurrent) {
  // After a Ctrl-click the current entry may be an unselected one.
  Select(list1_, {"Sales"});
  list1_.AddItem("Orders");
  list1_.SetListIndex(0);  // Orders: current, not selected
  dialogs_.input_answers = {"Revenue"};
  RenameAccess();
  ASSERT_EQ(dialogs_.inputs.size(), 1u);
  EXPECT_EQ(dialogs_.inputs[0].text, "Enter new name of Sales:");
  EXPECT_EQ(list1_.Items(), (Statements{"Orders", "Revenue"}));
}

// The overwrite question needs a file that exists; the catalogue is the double's.
class RenameOverwrite : public TableCommands {
 protected:
  RenameOverwrite() {
    path_ = ::testing::TempDir() + "/rename-command-" + std::to_string(getpid()) + ".mdb";
    std::ofstream(path_) << "x";
    settings_.Set(Setting::kAccessFile, path_);
    access_->tables["Orders"];
    access_->tables["Sales"];
    Select(list1_, {"Orders"});
    list1_.AddItem("sales");
    dialogs_.input_answers = {"Sales"};
  }
  ~RenameOverwrite() override { fs::remove(path_); }
  std::string path_;
};

TEST_F(RenameOverwrite, NoLeavesBothTablesAndTheList) {
  dialogs_.yes_no_answers = {kAnswerNo};
  EXPECT_EQ(RenameAccess(), 0);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Would you like to overwrite Sales?");
  EXPECT_EQ(dialogs_.messages[0].title, "Overwrite?");
  EXPECT_TRUE(access_->executed.empty());
  EXPECT_EQ(list1_.Items(), (Statements{"Orders", "sales"}));
}

TEST_F(RenameOverwrite, YesLeavesOneEntryForTheNewName) {
  dialogs_.yes_no_answers = {kAnswerYes};
  EXPECT_EQ(RenameAccess(), 0);
  EXPECT_EQ(access_->executed,
            (Statements{"DROP TABLE `Sales`", "ALTER TABLE `Orders` RENAME TO `Sales`;"}));
  EXPECT_EQ(list1_.Items(), (Statements{"Sales"}));
}

TEST_F(TableCommands, AseRenameOnlySaysItIsNotAvailable) {
  Select(list2_, {"Orders"});
  EXPECT_EQ(RenameAseTableCommand(env_), 0);
  EXPECT_EQ(Messages(), (Statements{"Rename not available for Sybase ASE"}));
  EXPECT_EQ(dialogs_.messages[0].style, kMsgOkOnly);
  EXPECT_EQ(dialogs_.messages[0].title, "Vellquist");
  EXPECT_TRUE(ase_->opened.empty());
  EXPECT_TRUE(pointer_.history.empty());
  EXPECT_EQ(list2_.Items(), (Statements{"Orders"}));
}

// On new files and copies of a file Access made: the engine drops and
// renames, and refuses a table in a relationship without changing the file.
class TableCommandsOnAFile : public TableCommands {
 protected:
  TableCommandsOnAFile() {
    UseRealAccess();
    settings_.Set(Setting::kAccessPassword, "");
  }
  void TearDown() override {
    if (!copy_.empty()) fs::remove(copy_);
  }
  static std::string PrivateName(const std::string& extension) {
    return std::string("commands-") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
           std::to_string(getpid()) + extension;
  }
  // False when the shared fixtures are absent.
  bool UseCopyOf(const std::string& fixture) {
    if (!fs::exists(kFixtures + fixture)) return false;
    copy_ = CopyFixture(kFixtures + fixture, PrivateName(fs::path(fixture).extension().string()));
    settings_.Set(Setting::kAccessFile, copy_);
    return true;
  }
  void UseNewFile() {
    copy_ = NewAccessFile(PrivateName(".mdb"));
    settings_.Set(Setting::kAccessFile, copy_);
  }
  void Execute(const std::string& sql) {
    DatabaseSession db;
    db.Open(AccessConnectionString(copy_));
    db.Execute(sql);
    db.Close();
  }
  // The user tables of the copy, in name order.
  Statements Tables() {
    DatabaseSession db;
    db.Open(AccessConnectionString(copy_));
    RecordSet rs = db.OpenSchema(kAdSchemaTables);
    Statements out;
    while (!rs.Eof()) {
      if (ToText(rs.Fields().Item("TABLE_TYPE").Value()) == "TABLE")
        out.push_back(ToText(rs.Fields().Item("TABLE_NAME").Value()));
      rs.MoveNext();
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string FileBytes() {
    std::ifstream in(copy_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string copy_;
};

constexpr const char* kRelated = "jackcess/src/test/data/V2000/indexTestV2000.mdb";

TEST_F(TableCommandsOnAFile, ATableInARelationshipIsNotDroppedButIsRenamed) {
  if (!UseCopyOf(kRelated))
    GTEST_SKIP() << "needs a file made by Access with tables in a relationship: the shared "
                    "fixtures are not at "
                 << kFixtures;
  const std::string before = FileBytes();
  Select(list1_, {"Table1"});
  EXPECT_EQ(DeleteAccess(), 1);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("relationship"), std::string::npos) << Reports()[0];
  EXPECT_NE(Reports()[0].find("at line 116\r"), std::string::npos);
  EXPECT_EQ(list1_.Items(), (Statements{"Table1"}));
  EXPECT_TRUE(FileBytes() == before) << "a refused drop changed the file";

  // The rename renames it in place; its relationships follow it.
  dialogs_.messages.clear();
  dialogs_.input_answers = {"Renamed"};
  EXPECT_EQ(RenameAccess(), 0);
  EXPECT_EQ(Tables(), (Statements{"Renamed", "Table2", "Table3"}));
  EXPECT_EQ(list1_.Items(), (Statements{"Renamed"}));
  {
    DatabaseSession db;
    db.Open(AccessConnectionString(copy_));
    RecordSet rs;
    rs.Open("SELECT * FROM `MSysRelationships`", db);
    Statements children;
    while (!rs.Eof()) {
      children.push_back(ToText(rs.Fields().Item("szObject").Value()));
      rs.MoveNext();
    }
    EXPECT_EQ(std::count(children.begin(), children.end(), "Renamed"), 2);
    EXPECT_EQ(std::count(children.begin(), children.end(), "Table1"), 0);
  }

  // Overwriting a table in a relationship is refused as its drop is: nothing changes.
  Execute("CREATE TABLE `Scratch`(`id` LONG)");
  const std::string kept = FileBytes();
  list1_.Clear();
  Select(list1_, {"Scratch"});
  dialogs_.input_answers = {"table2"};
  dialogs_.yes_no_answers = {kAnswerYes};
  EXPECT_EQ(RenameAccess(), 1);
  EXPECT_NE(Reports().back().find("relationship"), std::string::npos) << Reports().back();
  EXPECT_EQ(Tables(), (Statements{"Renamed", "Scratch", "Table2", "Table3"}));
  EXPECT_EQ(list1_.Items(), (Statements{"Scratch"}));
  EXPECT_TRUE(FileBytes() == kept) << "a refused overwrite changed the file";
}

TEST_F(TableCommandsOnAFile, DeletingAndRenamingChangeTheFile) {
  // A related table among those deleted where a file Access made is at hand.
  const bool related = UseCopyOf(kRelated);
  if (!related) UseNewFile();
  Execute("CREATE TABLE `Scratch`(`id` LONG, `note` TEXT(20))");
  Execute("INSERT INTO `Scratch` VALUES('1', 'one')");
  Execute("CREATE TABLE `Old`(`id` LONG)");
  Execute("INSERT INTO `Old` VALUES('7')");

  // Renamed under a name that differs only in case: the rows come along.
  Select(list1_, {"Old"});
  dialogs_.input_answers = {"OLD"};
  EXPECT_EQ(RenameAccess(), 0) << Reports().at(0);
  EXPECT_EQ(list1_.Items(), (Statements{"OLD"}));
  {
    DatabaseSession db;
    db.Open(AccessConnectionString(copy_));
    RecordSet rs;
    rs.Open("SELECT * FROM `OLD`", db);
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(ToText(rs.Fields().Item(0).Value()), "7");
  }

  // A related table, a plain one and one that has gone meanwhile.
  list1_.Clear();
  if (related) {
    Select(list1_, {"Table1", "Scratch", "Ghost"});
    EXPECT_EQ(DeleteAccess(), 2);
    EXPECT_EQ(list1_.Items(), (Statements{"Table1"}));
    EXPECT_EQ(Tables(), (Statements{"OLD", "Table1", "Table2", "Table3"}));
  } else {
    Select(list1_, {"Scratch", "Ghost"});
    EXPECT_EQ(DeleteAccess(), 1);
    EXPECT_EQ(list1_.Items(), (Statements{}));
    EXPECT_EQ(Tables(), (Statements{"OLD"}));
  }
}

// Against the ASE test server over the real client library.
class TableCommandsOnAse : public TableCommands {
 protected:
  TableCommandsOnAse() {
    UseRealAse();
    settings_.Set(Setting::kAsePort, std::to_string(server_.port()));
    settings_.Set(Setting::kAseUser, server_.user());
    settings_.Set(Setting::kAsePassword, server_.password());
    settings_.Set(Setting::kAseDatabase, server_.database());
  }
  void Execute(const std::string& sql) {
    DatabaseSession db;
    db.Open(BuildSybaseConnectionString(settings_));
    db.Execute(sql);
  }
  Statements Tables() {
    DatabaseSession db;
    db.Open(BuildSybaseConnectionString(settings_));
    RecordSet rs = db.OpenSchema(kAdSchemaTables);
    Statements out;
    while (!rs.Eof()) {
      if (ToText(rs.Fields().Item("TABLE_TYPE").Value()) == "TABLE")
        out.push_back(ToText(rs.Fields().Item("TABLE_NAME").Value()));
      rs.MoveNext();
    }
    return out;
  }
  AseServerFixture server_;
};

TEST_F(TableCommandsOnAse, DeletingDropsTheTablesOnTheServer) {
  Execute("CREATE TABLE [Orders]([id] INTEGER NULL)");
  Execute("CREATE TABLE [Keep]([id] INTEGER NULL)");
  Execute("CREATE TABLE [Sales 2024]([id] INTEGER NULL)");
  Select(list2_, {"Orders", "Sales 2024", "Ghost"});
  list2_.AddItem("Keep");
  // The table that is not there is reported, and its entry goes.
  EXPECT_EQ(DeleteAse(), 1);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("Ghost"), std::string::npos) << Reports()[0];
  EXPECT_EQ(list2_.Items(), (Statements{"Keep"}));
  EXPECT_EQ(Tables(), (Statements{"Keep"}));
}

}  // namespace
}  // namespace vq::testing
