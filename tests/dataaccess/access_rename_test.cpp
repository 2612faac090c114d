// Renaming an Access table in place: the statements sent, the overwrite
// question, names that are refused, and renames that differ only in case.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dataaccess/access_catalogue.h"
#include "dataaccess/access_provider.h"
#include "dataaccess/memory_interaction.h"
#include "dataaccess/session.h"
#include "jet/database.h"
#include "support/access_write_probe.h"
#include "support/fake_provider.h"

namespace vq {
namespace {

using Statements = std::vector<std::string>;

struct Env {
  FixedConnectionSettings settings;
  ScriptedDialogs dialogs;
  CountingYielder yielder;
  CommandEnv env{settings, dialogs, yielder};
};

// The rename logic over a provider double: it records statements, and the
// catalogue it shows stays as set up.
class RenameLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    // One file per test: CTest may run the tests of this binary side by side.
    path_ = ::testing::TempDir() + "/rename-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".mdb";
    std::ofstream(path_) << "x";
    data_->tables["Orders"].type = "TABLE";
    data_->tables["Customers"].type = "TABLE";
  }
  void TearDown() override {
    std::filesystem::remove(path_);
    fake_.reset();
    RegisterAccessProvider(ProviderRegistry::Global());
  }
  bool Rename(const std::string& from, const std::string& to) {
    return RenameAccessTable(e_.env, from, to, path_, "pw");
  }

  std::string path_;
  std::shared_ptr<testing::FakeDatabase> data_ = std::make_shared<testing::FakeDatabase>();
  std::unique_ptr<testing::FakeProvider> fake_ =
      std::make_unique<testing::FakeProvider>("Microsoft.Jet.OLEDB.4.0", data_);
  Env e_;
};

TEST_F(RenameLogic, NewNameRenamesInPlaceWithoutAsking) {
  EXPECT_TRUE(Rename("Orders", "Bestellungen \u00c4 'x' \"y\""));
  EXPECT_EQ(data_->executed,
            (Statements{"ALTER TABLE `Orders` RENAME TO `Bestellungen \u00c4 'x' \"y\"`;"}));
  EXPECT_TRUE(e_.dialogs.messages.empty());
  // The rename's own connection and the existence check's second one, with the password.
  ASSERT_EQ(data_->opened.size(), 2u);
  EXPECT_NE(data_->opened[0].find("Password=pw"), std::string::npos);
}

TEST_F(RenameLogic, ExistingNameAsksAndObeysTheAnswer) {
  e_.dialogs.yes_no_answers = {kAnswerNo, kAnswerYes};
  EXPECT_FALSE(Rename("Orders", "CUSTOMERS"));
  EXPECT_TRUE(data_->executed.empty());
  ASSERT_EQ(e_.dialogs.messages.size(), 1u);
  EXPECT_EQ(e_.dialogs.messages[0].text, "Would you like to overwrite CUSTOMERS?");
  EXPECT_EQ(e_.dialogs.messages[0].style, kMsgYesNo);
  EXPECT_EQ(e_.dialogs.messages[0].title, "Overwrite?");

  EXPECT_TRUE(Rename("Orders", "CUSTOMERS"));
  EXPECT_EQ(data_->executed,
            (Statements{"DROP TABLE `CUSTOMERS`", "ALTER TABLE `Orders` RENAME TO `CUSTOMERS`;"}));
}

TEST_F(RenameLogic, ATableThatCannotBeOverwrittenStopsTheRename) {
  // The drop of the table in the way is refused (a relationship holds it):
  // the rename is not tried, so both tables stay as they were.
  e_.dialogs.yes_no_answers = {kAnswerYes};
  data_->fail_statement_containing = "DROP TABLE";
  EXPECT_THROW(Rename("Orders", "Customers"), DatabaseError);
  EXPECT_EQ(data_->executed, (Statements{"DROP TABLE `Customers`"}));
}

TEST_F(RenameLogic, TheSameNameDoesNothing) {
  EXPECT_TRUE(Rename("Orders", "Orders"));
  EXPECT_TRUE(data_->executed.empty());
  EXPECT_TRUE(data_->opened.empty());
  EXPECT_TRUE(e_.dialogs.messages.empty());
}

TEST_F(RenameLogic, CaseOnlyRenamesWithoutAsking) {
  EXPECT_TRUE(Rename("Orders", "ORDERS"));
  EXPECT_EQ(data_->executed, (Statements{"ALTER TABLE `Orders` RENAME TO `ORDERS`;"}));
  EXPECT_TRUE(e_.dialogs.messages.empty());
}

TEST_F(RenameLogic, UnsafeOrInvalidNamesAreRefusedBeforeAnythingIsOpened) {
  const std::string too_long(65, 'x');
  const std::string longest = std::string(63, 'x') + "\u00e9";  // 64 characters, 65 bytes
  for (const std::string& bad :
       {std::string("a`; DROP TABLE `Customers"), std::string("x.y"), std::string("Hi!"),
        std::string("[x]"), std::string("a]b"), std::string("tab\there"), std::string("\x7f"),
        std::string(" lead"), std::string(""), too_long, std::string("bad \xC3"),
        std::string("\xED\xA0\x80")}) {
    for (bool as_new : {true, false}) {
      try {
        as_new ? Rename("Orders", bad) : Rename(bad, "Sales");
        ADD_FAILURE() << "accepted " << ::testing::PrintToString(bad);
      } catch (const DatabaseError& err) {
        EXPECT_EQ(err.Number(), errors::kInvalidArgument);
        EXPECT_NE(err.Description().find("cannot be an Access table name: it "), std::string::npos)
            << err.Description();
        EXPECT_NE(err.Description().find(". Choose another name."), std::string::npos);
      }
    }
  }
  EXPECT_TRUE(data_->opened.empty());
  EXPECT_TRUE(data_->executed.empty());
  EXPECT_NO_THROW(CheckAccessTableName(longest));
  EXPECT_NO_THROW(CheckAccessTableName("trailing blank "));
  EXPECT_NO_THROW(CheckAccessTableName("O'Brien \"quoted\" #1 $ % & ( ) - = ~"));
}

// The same renames on a real file (a new one with Table1 to Table4), once the
// engine carries out statements.
class RenameOnAFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::NewAccessFileWithTables(
        std::string("rename-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
        ".mdb");
    e_.settings.Set(Setting::kAccessFile, path_);
  }
  void TearDown() override {
    if (!path_.empty()) std::filesystem::remove(path_);
  }

  // Every row of `table` as text, one string per row.
  std::vector<std::string> Rows(const std::string& table) {
    DatabaseSession db;
    db.Open(testing::AccessConnectionString(path_));
    RecordSet rs;
    rs.Open("SELECT * FROM `" + table + "`", db);
    std::vector<std::string> rows;
    while (!rs.Eof()) {
      std::string row;
      for (int i = 0; i < rs.Fields().Count(); ++i)
        row += ToText(rs.Fields().Item(i).Value()) + "|";
      rows.push_back(row);
      rs.MoveNext();
    }
    return rows;
  }
  std::vector<std::string> Tables() { return ListAccessTables(e_.env, path_).value(); }

  std::string path_;
  Env e_;
};

TEST_F(RenameOnAFile, RenamesKeepEveryRow) {
  const auto before = Rows("Table1");
  ASSERT_EQ(before.size(), 4u);
  EXPECT_TRUE(RenameAccessTable(e_.env, "Table1", "Renamed", path_, ""));
  EXPECT_EQ(Rows("Renamed"), before);
  EXPECT_EQ(Tables(), (Statements{"Renamed", "Table2", "Table3", "Table4"}));

  EXPECT_TRUE(RenameAccessTable(e_.env, "Renamed", "RENAMED", path_, ""));
  EXPECT_EQ(Rows("RENAMED"), before);
  EXPECT_EQ(Tables(), (Statements{"RENAMED", "Table2", "Table3", "Table4"}));

  e_.dialogs.yes_no_answers = {kAnswerNo, kAnswerYes};
  EXPECT_FALSE(RenameAccessTable(e_.env, "RENAMED", "table3", path_, ""));
  EXPECT_EQ(Tables(), (Statements{"RENAMED", "Table2", "Table3", "Table4"}));
  EXPECT_TRUE(RenameAccessTable(e_.env, "RENAMED", "table3", path_, ""));
  EXPECT_EQ(Rows("table3"), before);
  EXPECT_EQ(Tables(), (Statements{"Table2", "table3", "Table4"}));
}

TEST(RenameInPlace, KeepsTheTableItsKeyAndItsRows) {
  const std::string path = ::testing::TempDir() + "/rename-in-place.mdb";
  std::filesystem::remove(path);
  jet::Database::Create(path, jet::NewFormat::kAccess2003, "");
  int32_t id = 0;
  {
    auto db = jet::Database::Open(path, "");
    db->Execute("CREATE TABLE Orders (id LONG, item TEXT(20))");
    db->Execute("CREATE INDEX PrimaryKey ON Orders (id) WITH PRIMARY");
    db->Execute("INSERT INTO Orders VALUES (1, 'lamp')");
    db->Execute("CREATE TABLE Old (id LONG)");
    id = db->FindTable("Orders").id;
    db->Close();
  }
  Env e;
  e.settings.Set(Setting::kAccessFile, path);
  e.dialogs.yes_no_answers = {kAnswerYes};
  EXPECT_TRUE(RenameAccessTable(e.env, "Orders", "old", path, ""));
  auto db = jet::Database::Open(path, "");
  EXPECT_EQ(db->FindTable("old").name, "old");
  EXPECT_EQ(db->FindTable("old").id, id);
  const jet::TableDefinition def = db->Definition("old");
  ASSERT_EQ(def.logical_indexes.size(), 1u);
  EXPECT_EQ(def.logical_indexes[0].kind, 1);
  // The key still holds: a second row with the same id is refused.
  EXPECT_THROW(db->Execute("INSERT INTO old VALUES (1, 'desk')"), jet::JetError);
  db->Execute("INSERT INTO old VALUES (2, 'desk')");
  db->Close();
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace vq
