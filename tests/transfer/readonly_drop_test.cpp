// An overwrite whose DROP fails: a table the drop left in place keeps its list
// entry and is not created again (one report, not two); a table the target no
// longer has is created and sent as before.
#include <gtest/gtest.h>

#include "dataaccess/session.h"
#include "support/ase_server_fixture.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Statements = std::vector<std::string>;

class FailedDrop : public TransferTest {
 protected:
  void AddTable(const std::string& name, int rows) {
    FakeTable& t = access_->tables[name];
    t.columns = {Column("n", kAdInteger)};
    for (int i = 1; i <= rows; ++i) t.rows.push_back({Value{int64_t{i}}});
  }
};

TEST_F(FailedDrop, ATableTheDropLeftKeepsItsEntryAndTheNextTableGoes) {
  AddTable("A", 3);
  AddTable("B", 1);
  Select(list1_, {"A", "B"});
  list2_.AddItem("B");
  dialogs_.yes_no_answers = {kAnswerYes};
  ase_->fail_statement_containing = "DROP";
  EXPECT_EQ(ToAse(), 1);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("fake failure: DROP TABLE [B]"), std::string::npos) << reports[0];
  EXPECT_EQ(ase_->executed, (Statements{"DROP TABLE [B]", "CREATE TABLE [A]([n] INTEGER NULL)",
                                        "INSERT INTO [A] VALUES(1)", "INSERT INTO [A] VALUES(2)",
                                        "INSERT INTO [A] VALUES(3)"}));
  EXPECT_EQ(list2_.Items(), (Statements{"A", "B"}));
}

TEST_F(FailedDrop, ATableTheServerNoLongerHasIsCreatedAndSent) {
  AseServerFixture server;
  UseRealAse();
  settings_.Set(Setting::kAsePort, std::to_string(server.port()));
  settings_.Set(Setting::kAseUser, server.user());
  settings_.Set(Setting::kAsePassword, server.password());
  settings_.Set(Setting::kAseDatabase, server.database());
  AddTable("Ghost", 2);
  Select(list1_, {"Ghost"});
  list2_.AddItem("Ghost");  // listed, but gone from the server since
  dialogs_.yes_no_answers = {kAnswerYes};
  EXPECT_EQ(ToAse(), 1);
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("at line 140"), std::string::npos) << reports[0];
  EXPECT_EQ(list2_.Items(), Statements{"Ghost"});
  DatabaseSession db;
  db.Open(BuildSybaseConnectionString(settings_));
  RecordSet rs;
  rs.Open("SELECT count(*) FROM [Ghost]", db);
  EXPECT_EQ(ToText(rs.Fields().Item(0).Value()), "2");
}

}  // namespace
}  // namespace vq::testing
