// The test server resolves a batch's tables once, when it compiles the batch,
// and keeps the statements every INSERT runs prepared: neither may outlive a
// table that is dropped, or made again with other columns.
#include <gtest/gtest.h>

#include <string>

#include "support/ase_server_fixture.h"
#include "tools/tsql_runner.h"

namespace vq::testing {
namespace {

class AseServerBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TsqlAvailable()) GTEST_SKIP() << "tsql (Debian freetds-bin) is not installed";
  }
  std::string Sql(const std::string& script) {
    return RunTsql(server_.port(), server_.user(), server_.password(), script + "\ngo\n",
                   server_.database());
  }
  AseServerFixture server_;
};

TEST_F(AseServerBatchTest, ADroppedOrRemadeTableIsNotWrittenThroughWhatWasKept) {
  Sql("create table [R]([i] int)");
  std::string out = Sql("insert into [R] values(1)\ninsert into [R] values(2)");
  EXPECT_EQ(out.find("Msg "), std::string::npos) << out;
  // Dropped in the middle of a batch compiled against it: the INSERT after
  // the drop finds no table.
  out = Sql("insert into [R] values(3)\ndrop table [R]\ninsert into [R] values(4)");
  EXPECT_NE(out.find("Msg 208 "), std::string::npos) << out;
  out = Sql("select count(*) from [R]");
  EXPECT_NE(out.find("Msg 208 "), std::string::npos) << out;

  // Made again with a column of another type and the same number of
  // columns: its rows are of the new shape.
  Sql("create table [R]([s] varchar(5) null)");
  out = Sql("insert into [R] values('x')\ninsert into [R] values(null)");
  EXPECT_EQ(out.find("Msg "), std::string::npos) << out;
  out = Sql("insert into [R] values(5)");
  EXPECT_NE(out.find("Msg 257 "), std::string::npos) << out;
  out = Sql("select [s] from [R] where [s] is not null");
  EXPECT_NE(out.find("\nx\n"), std::string::npos) << out;
  EXPECT_NE(out.find("(1 row affected)"), std::string::npos) << out;
}

}  // namespace
}  // namespace vq::testing
