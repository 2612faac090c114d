// The ASE provider's own rules, and the ASE catalogue over a provider double
// and over hosts that do not answer. Tests against the real test server live
// in ase_server_test.cpp.
#include "dataaccess/ase_provider.h"

#include <gtest/gtest.h>

#include "dataaccess/ase_catalogue.h"
#include "dataaccess/error.h"
#include "dataaccess/memory_interaction.h"
#include "dataaccess/session.h"
#include "support/fake_provider.h"
#include "support/silent_listener.h"

namespace vq {
namespace {

using namespace std::chrono_literals;

TEST(AseConnectionStringTest, ReadsTheWindowsStringIncludingAwkwardPasswords) {
  auto r = ParseAseConnectionString(
      "Provider=ASEOLEDB;Data Source=ase1:5000;User Id=sa;Password=p;w=d;;Catalog=sales");
  EXPECT_EQ(r.data_source, "ase1:5000");
  EXPECT_EQ(r.user, "sa");
  EXPECT_EQ(r.password, "p;w=d");
  EXPECT_EQ(r.catalog, "sales");
  EXPECT_EQ(r.connect_timeout, 10s);
  EXPECT_EQ(r.command_timeout, 120s);

  auto empty =
      ParseAseConnectionString("Provider=ASEOLEDB;Data Source=:;User Id=;Password=;;Catalog=");
  EXPECT_EQ(empty.data_source, ":");
  EXPECT_EQ(empty.catalog, "");

  auto timed = ParseAseConnectionString(
      "Provider=ASEOLEDB;Data Source=h:1;connect timeout=3;Command Timeout= 45 ");
  EXPECT_EQ(timed.connect_timeout, 3s);
  EXPECT_EQ(timed.command_timeout, 45s);
  for (const char* bad : {"0", "-1", "3601", "ten", "", "1.5"}) {
    EXPECT_THROW(ParseAseConnectionString(std::string("Provider=ASEOLEDB;Connect Timeout=") + bad),
                 DatabaseError)
        << bad;
  }
}

TEST(AseCatalogueTypeTest, MapsSysobjectsCodesPaddedOrNot) {
  EXPECT_EQ(AseTableType("U "), "TABLE");
  EXPECT_EQ(AseTableType("U"), "TABLE");
  EXPECT_EQ(AseTableType("S "), "SYSTEM TABLE");
  EXPECT_EQ(AseTableType("V "), "VIEW");
  EXPECT_FALSE(AseTableType("P ").has_value());
  EXPECT_FALSE(AseTableType("u").has_value());
}

TEST(AseCountQueryTest, CountsOnlyPlainReadsOfOneTable) {
  EXPECT_EQ(AseCountQueryFor("SELECT * FROM [Orders]"), "select count(*) from [Orders]");
  EXPECT_EQ(AseCountQueryFor("  select a, [b c] ,d from dbo.T  "), "select count(*) from dbo.T");
  EXPECT_EQ(AseCountQueryFor("SELECT * FROM [my db].[dbo].[x -- y]"),
            "select count(*) from [my db].[dbo].[x -- y]");
  for (const char* other :
       {"SELECT count(*) FROM T", "SELECT DISTINCT a FROM T", "SELECT TOP 5 * FROM T",
        "SELECT * FROM T WHERE a = 1", "SELECT * FROM T ORDER BY a", "SELECT a + 1 FROM T",
        "SELECT * FROM T, U", "SELECT * FROM T t2", "SELECT 1", "SELECT * INTO U FROM T",
        "SELECT * FROM [T", "select*from T", "SELECT * FROM a.b.c.d", "INSERT INTO T VALUES(1)",
        "SELECT * FROM T; DROP TABLE T"}) {
    EXPECT_FALSE(AseCountQueryFor(other).has_value()) << other;
  }
}

// The connection fields of the window, aimed at `port` on loopback.
FixedConnectionSettings AseSettings(const std::string& port) {
  FixedConnectionSettings s;
  s.Set(Setting::kAseServer, "127.0.0.1");
  s.Set(Setting::kAsePort, port);
  s.Set(Setting::kAseUser, "sa");
  s.Set(Setting::kAsePassword, "secret");
  s.Set(Setting::kAseDatabase, "sales");
  return s;
}

TEST(SybaseConnectsTest, FalseQuietlyAndInTimeWhenNothingAnswers) {
  ScriptedDialogs dialogs;
  CountingYielder yielder;
  {
    FixedConnectionSettings s = AseSettings(std::to_string(testing::ClosedLoopbackPort()));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SybaseConnects(CommandEnv{s, dialogs, yielder}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  }
  {
    testing::SilentListener silent;
    // The window's port field can carry the deadline through to the provider.
    FixedConnectionSettings s = AseSettings(std::to_string(silent.Port()) + ";Connect Timeout=1");
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SybaseConnects(CommandEnv{s, dialogs, yielder}));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 4s);
    EXPECT_EQ(silent.Accepted(), 1);
  }
  {
    FixedConnectionSettings s = AseSettings("not-a-port");
    EXPECT_FALSE(SybaseConnects(CommandEnv{s, dialogs, yielder}));
  }
  EXPECT_TRUE(dialogs.messages.empty());
}

// The ASE catalogue over a double registered under the ASE provider's name.
class AseCatalogueOverDoubleTest : public ::testing::Test {
 protected:
  AseCatalogueOverDoubleTest()
      : db_(std::make_shared<testing::FakeDatabase>()), provider_(kAseProviderName, db_) {}
  ~AseCatalogueOverDoubleTest() override { RegisterAseProvider(ProviderRegistry::Global()); }

  void AddTable(const std::string& name, const std::string& type) { db_->tables[name].type = type; }
  CommandEnv Env() { return CommandEnv{settings_, dialogs_, yielder_}; }

  std::shared_ptr<testing::FakeDatabase> db_;
  testing::FakeProvider provider_;
  FixedConnectionSettings settings_ = AseSettings("5000");
  ScriptedDialogs dialogs_;
  CountingYielder yielder_;
};

TEST_F(AseCatalogueOverDoubleTest, ListsUserTablesByTypeEvenWhenTheirNamesHoldSys) {
  AddTable("Analysys", "TABLE");
  AddTable("mysettings_sys", "TABLE");
  AddTable("SALES", "TABLE");
  AddTable("orders", "TABLE");
  AddTable("sysobjects", "SYSTEM TABLE");
  AddTable("syscolumns", "SYSTEM TABLE");
  AddTable("active_orders", "VIEW");
  MemoryTableList list;
  list.AddItem("stale entry");
  FillSybaseTableList(Env(), list);
  EXPECT_EQ(list.Items(),
            (std::vector<std::string>{"Analysys", "mysettings_sys", "orders", "SALES"}));
  EXPECT_EQ(yielder_.count, 4);  // once per user-table row
  EXPECT_EQ(list.ListIndex(), -1);
  ASSERT_EQ(db_->opened.size(), 1u);
  EXPECT_EQ(
      db_->opened[0],
      "Provider=ASEOLEDB;Data Source=127.0.0.1:5000;User Id=sa;Password=secret;;Catalog=sales");
}

TEST_F(AseCatalogueOverDoubleTest, KeepsTheOldEntriesWhenTheConnectionFails) {
  AddTable("orders", "TABLE");
  db_->refuse_open = true;
  MemoryTableList list;
  list.AddItem("kept");
  EXPECT_THROW(FillSybaseTableList(Env(), list), DatabaseError);
  EXPECT_EQ(list.Items(), std::vector<std::string>{"kept"});
  EXPECT_FALSE(SybaseConnects(Env()));
  EXPECT_TRUE(dialogs_.messages.empty());
}

}  // namespace
}  // namespace vq
