// Listing Access tables into the tables window's list, and asking whether one exists.
#include "dataaccess/access_catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dataaccess/access_provider.h"
#include "dataaccess/memory_interaction.h"
#include "jet/database.h"
#include "support/access_write_probe.h"
#include "support/fake_provider.h"

namespace vq {
namespace {

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

struct Env {
  FixedConnectionSettings settings;
  ScriptedDialogs dialogs;
  CountingYielder yielder;
  CommandEnv env{settings, dialogs, yielder};
  void UseFile(const std::string& path, const std::string& password = "") {
    settings.Set(Setting::kAccessFile, path);
    settings.Set(Setting::kAccessPassword, password);
  }
};

class AccessCatalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))
      GTEST_SKIP() << "lists files made by Access (links, queries): the shared fixtures are not at "
                   << kFixtures;
  }
};

TEST_F(AccessCatalogue, FillsTheListWithUserTablesOnly) {
  Env e;
  std::string path = kFixtures + "jackcess/src/test/data/V2007/linkerTestV2007.accdb";
  e.UseFile(path);
  MemoryTableList list;
  list.AddItem("stale entry");
  FillAccessTableList(e.env, list, path);
  EXPECT_EQ(list.Items(), std::vector<std::string>{"Table1"});  // no link, no MSys table
  EXPECT_EQ(list.ListIndex(), 0);
  EXPECT_EQ(e.yielder.count, 1);
  EXPECT_TRUE(e.dialogs.messages.empty());

  path = kFixtures + "mdbtestdata/data/nwind.mdb";
  e.UseFile(path);
  FillAccessTableList(e.env, list, path);
  EXPECT_EQ(list.ListCount(), 9);
  EXPECT_EQ(list.List(0), "Categories");
  EXPECT_EQ(e.yielder.count, 1 + 9);
}

TEST(AccessCatalogueOnNewFiles, EmptyDatabaseAndMissingFileGiveAnEmptyListSilently) {
  Env e;
  MemoryTableList list;
  const std::string empty = testing::NewAccessFile("catalogue-empty.mdb");
  e.UseFile(empty);
  auto tables = ListAccessTables(e.env, empty);
  ASSERT_TRUE(tables.has_value());
  EXPECT_TRUE(tables->empty());
  FillAccessTableList(e.env, list, empty);
  EXPECT_EQ(list.ListIndex(), -1);
  e.UseFile("/no/such/file.mdb");
  EXPECT_FALSE(ListAccessTables(e.env, "/no/such/file.mdb").has_value());
  EXPECT_TRUE(e.dialogs.messages.empty());
}

TEST(AccessCatalogueOnNewFiles, WrongPasswordShowsTheListerReportOnce) {
  Env e;
  const std::string path = ::testing::TempDir() + "/catalogue-password.mdb";
  std::filesystem::remove(path);
  jet::Database::Create(path, jet::NewFormat::kAccess2003, "password");
  jet::Database::Open(path, "password")->Execute("CREATE TABLE Table1 (a LONG)");
  e.UseFile(path, "wrong");
  MemoryTableList list;
  FillAccessTableList(e.env, list, path);
  EXPECT_EQ(list.ListCount(), 0);
  EXPECT_EQ(list.ListIndex(), -1);
  ASSERT_EQ(e.dialogs.messages.size(), 1u);
  EXPECT_EQ(e.dialogs.messages[0].text, "Not a valid password. (Error Number = -2147217843)");
  EXPECT_EQ(e.dialogs.messages[0].style, kMsgOkOnly);
  EXPECT_EQ(e.dialogs.messages[0].title, kApplicationTitle);

  e.UseFile(path, "password");
  FillAccessTableList(e.env, list, path);
  EXPECT_EQ(list.Items(), std::vector<std::string>{"Table1"});
  EXPECT_EQ(e.dialogs.messages.size(), 1u);
}

TEST_F(AccessCatalogue, TableExistsIgnoresCaseAndOnlyCountsUserTables) {
  Env e;
  std::string path = kFixtures + "jackcess/src/test/data/V2007/linkerTestV2007.accdb";
  EXPECT_TRUE(AccessTableExists(e.env, path, "", "TABLE1"));
  EXPECT_TRUE(AccessTableExists(e.env, path, "", "table1"));
  EXPECT_FALSE(AccessTableExists(e.env, path, "", "Table2"));       // a link
  EXPECT_FALSE(AccessTableExists(e.env, path, "", "MSysObjects"));  // a system table
  EXPECT_FALSE(AccessTableExists(e.env, "/no/such/file.accdb", "", "Table1"));
  std::string nwind = kFixtures + "mdbtestdata/data/nwind.mdb";
  EXPECT_TRUE(AccessTableExists(e.env, nwind, "", "UMS\u00c4TZE"));
  EXPECT_TRUE(AccessTableExists(e.env, nwind, "", "order details"));
  std::string locked = kFixtures + "mdb-reader/test/password/data/V2003_with-password.mdb";
  EXPECT_TRUE(AccessTableExists(e.env, locked, "password", "Table1"));
  EXPECT_THROW(AccessTableExists(e.env, locked, "", "Table1"), DatabaseError);
}

// The listing's own logic, over a provider double that stands in for Jet.
TEST(AccessCatalogueLogic, KeepsOnlyRowsTypedExactlyTableInCatalogueOrder) {
  std::string path = ::testing::TempDir() + "/stand-in.mdb";
  std::ofstream(path) << "x";
  auto data = std::make_shared<testing::FakeDatabase>();
  data->tables["Zeta"].type = "TABLE";
  data->tables["alpha"].type = "TABLE";
  data->tables["MSysObjects"].type = "SYSTEM TABLE";
  data->tables["Recent"].type = "VIEW";
  data->tables["Lower"].type = "table";
  {
    testing::FakeProvider fake("Microsoft.Jet.OLEDB.4.0", data);
    Env e;
    e.UseFile(path);
    auto tables = ListAccessTables(e.env, path);
    ASSERT_TRUE(tables.has_value());
    EXPECT_EQ(*tables, (std::vector<std::string>{"Zeta", "alpha"}));
    EXPECT_TRUE(AccessTableExists(e.env, path, "", "ALPHA"));
    EXPECT_FALSE(AccessTableExists(e.env, path, "", "Lower"));

    data->refuse_open = true;
    MemoryTableList list;
    FillAccessTableList(e.env, list, path);
    EXPECT_EQ(list.ListCount(), 0);
    ASSERT_EQ(e.dialogs.messages.size(), 1u);
    EXPECT_EQ(e.dialogs.messages[0].text, "fake refusal (Error Number = -2147217843)");
  }
  RegisterAccessProvider(ProviderRegistry::Global());
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace vq
