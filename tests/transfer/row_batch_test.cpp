// The rows of a transfer go to the worker several at a time: whatever the
// batch size, the statements sent, the reports (in order, each with its own
// statement after "sql: ") and the progress bar are those of one row at a time.
#include <gtest/gtest.h>

#include <algorithm>

#include "transfer/statement_text.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Statements = std::vector<std::string>;

// What Field::Value says of a row shorter than its columns.
constexpr const char* kNoCurrentRow =
    "Either BOF or EOF is True, or the current record has been deleted. "
    "Requested operation requires a current record.";

class BatchedRows : public TransferTest, public ::testing::WithParamInterface<size_t> {
 protected:
  BatchedRows() { options_.batch_rows = GetParam(); }

  // Table T of `rows` rows numbered from 1; the rows in `short_rows` have no
  // value, so reading them fails.
  static void Fill(FakeDatabase& db, int rows, std::initializer_list<int> short_rows) {
    FakeTable& t = db.tables["T"];
    t.columns = {Column("n", kAdInteger)};
    for (int i = 1; i <= rows; ++i) {
      const bool cut = std::find(short_rows.begin(), short_rows.end(), i) != short_rows.end();
      t.rows.push_back(cut ? std::vector<Value>{} : std::vector<Value>{Value{int64_t{i}}});
    }
  }

  // The progress bar's values for the first `built` of `rows` rows, then 0.
  static std::vector<int> Progress(int built, int rows) {
    std::vector<int> out;
    for (int k = 0; k < built; ++k) out.push_back(RowPercent(k, rows));
    out.push_back(0);
    return out;
  }
};

TEST_P(BatchedRows, ToAseReportsEveryFailureInStatementOrderWithItsOwnStatement) {
  // Refused INSERTs around a row that cannot be read, one at the end of a
  // run, then a fetch that fails: the table ends after row 32.
  Fill(*access_, 40, {17});
  ase_->fail_statements = {"INSERT INTO [T] VALUES(5)", "INSERT INTO [T] VALUES(16)",
                           "INSERT INTO [T] VALUES(18)", "INSERT INTO [T] VALUES(32)"};
  access_->fail_fetch_of_row = 33;
  Select(list1_, {"T"});
  EXPECT_EQ(ToAse(), 6);

  const char* h = "PushButton3_Click";
  auto insert = [](int i) { return "INSERT INTO [T] VALUES(" + std::to_string(i) + ")"; };
  EXPECT_EQ(Reports(), (Statements{
                           Report(h, "fake failure: " + insert(5), 276, insert(5)),
                           Report(h, "fake failure: " + insert(16), 276, insert(16)),
                           Report(h, kNoCurrentRow, 222, "INSERT INTO [T] VALUES("),
                           Report(h, "fake failure: " + insert(18), 276, insert(18)),
                           Report(h, "fake failure: " + insert(32), 276, insert(32)),
                           Report(h, "fake failure: fetching row 33", 278, insert(32)),
                       }));
  Statements sent = {"CREATE TABLE [T]([n] INTEGER NULL)"};
  for (int i = 1; i <= 32; ++i) {
    if (i != 17) sent.push_back(insert(i));
  }
  EXPECT_EQ(ase_->executed, sent);
  EXPECT_EQ(progress_.history, Progress(32, 40));
  EXPECT_EQ(list2_.Items(), Statements{"T"});
}

TEST_P(BatchedRows, ToAseAFetchFailingAfterAnUnreadableRowShowsThatRowsStatement) {
  Fill(*access_, 10, {4});
  access_->fail_fetch_of_row = 5;
  Select(list1_, {"T"});
  EXPECT_EQ(ToAse(), 2);
  const char* h = "PushButton3_Click";
  EXPECT_EQ(Reports(),
            (Statements{
                Report(h, kNoCurrentRow, 222, "INSERT INTO [T] VALUES("),
                Report(h, "fake failure: fetching row 5", 278, "INSERT INTO [T] VALUES("),
            }));
  EXPECT_EQ(ase_->executed,
            (Statements{"CREATE TABLE [T]([n] INTEGER NULL)", "INSERT INTO [T] VALUES(1)",
                        "INSERT INTO [T] VALUES(2)", "INSERT INTO [T] VALUES(3)"}));
}

TEST_P(BatchedRows, ToAccessReportsEveryFailureInStatementOrderWithItsOwnStatement) {
  Fill(*ase_, 40, {17});
  access_->fail_statements = {"INSERT INTO `T` VALUES('5')", "INSERT INTO `T` VALUES('16')",
                              "INSERT INTO `T` VALUES('18')", "INSERT INTO `T` VALUES('32')"};
  ase_->fail_fetch_of_row = 33;
  Select(list2_, {"T"});
  EXPECT_EQ(ToAccess(), 6);

  const char* h = "PushButton4_Click";
  auto insert = [](int i) { return "INSERT INTO `T` VALUES('" + std::to_string(i) + "')"; };
  EXPECT_EQ(Reports(), (Statements{
                           Report(h, "fake failure: " + insert(5), 248, insert(5)),
                           Report(h, "fake failure: " + insert(16), 248, insert(16)),
                           Report(h, kNoCurrentRow, 228, "INSERT INTO `T` VALUES('"),
                           Report(h, "fake failure: " + insert(18), 248, insert(18)),
                           Report(h, "fake failure: " + insert(32), 248, insert(32)),
                           Report(h, "fake failure: fetching row 33", 250, insert(32)),
                       }));
  Statements sent = {"CREATE TABLE `T`(`n` INT);"};
  for (int i = 1; i <= 32; ++i) {
    if (i != 17) sent.push_back(insert(i));
  }
  EXPECT_EQ(access_->executed, sent);
  EXPECT_EQ(progress_.history, Progress(32, 40));
  EXPECT_EQ(list1_.Items(), Statements{"T"});
}

TEST_P(BatchedRows, EveryRowArrivesOnceAcrossManyBatchesAndTables) {
  Fill(*access_, 1000, {});
  FakeTable& u = access_->tables["U"];
  u.columns = {Column("s", kAdVarWChar, 10)};
  u.rows = {{std::string("a")}, {std::string("b")}};
  Select(list1_, {"T", "U"});
  EXPECT_EQ(ToAse(), 0);
  // From the bottom of the list: U first.
  ASSERT_EQ(ase_->executed.size(), 1u + 2u + 1u + 1000u);
  EXPECT_EQ(ase_->executed[1], "INSERT INTO [U] VALUES('a')");
  EXPECT_EQ(ase_->executed[2], "INSERT INTO [U] VALUES('b')");
  for (int i = 1; i <= 1000; ++i) {
    ASSERT_EQ(ase_->executed[3 + i], "INSERT INTO [T] VALUES(" + std::to_string(i) + ")");
  }
}

INSTANTIATE_TEST_SUITE_P(BatchSizes, BatchedRows, ::testing::Values(1, 3, 8, 64),
                         [](const auto& info) { return "Rows" + std::to_string(info.param); });

}  // namespace
}  // namespace vq::testing
