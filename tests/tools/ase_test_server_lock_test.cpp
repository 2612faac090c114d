// The test server's transactions and table locks, as ASE holds them: two
// connections' executors in one process, without sockets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "lock_table.h"
#include "server_config.h"
#include "server_message.h"
#include "sql_parser.h"
#include "statement_executor.h"

namespace vq::ase_server {
namespace {

using namespace std::chrono_literals;

int FailureNumber(StatementExecutor& e, const std::string& sql) {
  try {
    e.RunScriptBatch(sql);
  } catch (const ServerError& error) {
    return error.message().number;
  }
  return 0;
}

class AseServerLocks : public ::testing::Test {
 protected:
  AseServerLocks() {
    dir_ =
        std::filesystem::path(::testing::TempDir()) /
        ("locks-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    config_.data_dir = dir_.string();
    config_.logins = {{"sa", "secret"}};
    config_.databases = {"testdb"};
    a_.UseDatabase("testdb");
    b_.UseDatabase("testdb");
    a_.RunScriptBatch("create table [T]([n] int)");
    a_.RunScriptBatch("insert into [T] values(1)");
  }
  ~AseServerLocks() override { std::filesystem::remove_all(dir_); }

  // Runs `sql` on b_ on a thread of its own; the future is ready once it ran.
  std::future<int> OnB(const std::string& sql) {
    return std::async(std::launch::async, [this, sql] { return FailureNumber(b_, sql); });
  }

  std::filesystem::path dir_;
  ServerConfig config_;
  StatementExecutor a_{config_, 11, "sa"};
  StatementExecutor b_{config_, 12, "sa"};
};

TEST_F(AseServerLocks, AHoldlockReadInATransactionHoldsWritersOffUntilCommit) {
  a_.RunScriptBatch("begin tran select count(*) from [T] holdlock");
  auto insert = OnB("insert into [T] values(2)");
  EXPECT_EQ(insert.wait_for(300ms), std::future_status::timeout) << "the insert did not wait";
  // A plain read by the lock holder itself goes on.
  a_.RunScriptBatch("select * from [T]");
  a_.RunScriptBatch("commit tran");
  ASSERT_EQ(insert.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(insert.get(), 0);

  // Without a transaction the lock ends with its statement.
  a_.RunScriptBatch("select count(*) from [T] at isolation serializable");
  EXPECT_EQ(OnB("insert into [T] values(3)").wait_for(5s), std::future_status::ready);
  // Nor does a level 1 read in a transaction keep anything.
  a_.RunScriptBatch("begin tran select * from [T]");
  EXPECT_EQ(OnB("delete from [T] where [n] = 3").wait_for(5s), std::future_status::ready);
  a_.RunScriptBatch("rollback tran");
}

TEST_F(AseServerLocks, TheSessionLevelAndNestedTransactionsCountAsInAse) {
  a_.RunScriptBatch("set transaction isolation level serializable");
  a_.RunScriptBatch("begin tran begin tran select * from [T]");
  auto update = OnB("update [T] set [n] = 5");
  a_.RunScriptBatch("commit");  // the inner one: the lock stays
  EXPECT_EQ(update.wait_for(300ms), std::future_status::timeout);
  a_.RunScriptBatch("commit tran");
  ASSERT_EQ(update.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(update.get(), 0);

  // A reader waits for a writer's open transaction in turn.
  a_.RunScriptBatch("set transaction isolation level 1");
  b_.RunScriptBatch("begin tran insert into [T] values(9)");
  auto read =
      std::async(std::launch::async, [this] { return FailureNumber(a_, "select * from [T]"); });
  EXPECT_EQ(read.wait_for(300ms), std::future_status::timeout);
  b_.RunScriptBatch("commit");
  EXPECT_EQ(read.wait_for(5s), std::future_status::ready);
}

TEST_F(AseServerLocks, DdlInATransactionIsRefusedAndADeadlockHasAVictim) {
  a_.RunScriptBatch("begin tran");
  EXPECT_EQ(FailureNumber(a_, "create table [U]([a] int)"), 2762);
  EXPECT_EQ(FailureNumber(a_, "drop table [T]"), 2762);
  a_.RunScriptBatch("commit");
  EXPECT_EQ(FailureNumber(a_, "create table [U]([a] int)"), 0);

  // Both hold the table shared and both want to write it: one must lose.
  a_.RunScriptBatch("begin tran select * from [T] holdlock");
  b_.RunScriptBatch("begin tran select * from [T] holdlock");
  auto b_insert = OnB("insert into [T] values(7)");
  EXPECT_EQ(b_insert.wait_for(200ms), std::future_status::timeout);
  const int a_result = FailureNumber(a_, "insert into [T] values(8)");
  ASSERT_EQ(b_insert.wait_for(5s), std::future_status::ready);
  const int b_result = b_insert.get();
  EXPECT_TRUE((a_result == 1205) != (b_result == 1205)) << a_result << " " << b_result;
  a_.RunScriptBatch("commit");
  b_.RunScriptBatch("commit");
}

TEST(AseServerLockTable, ADroppedConnectionGivesUpItsLocks) {
  LockTable& locks = LockTable::Global();
  ASSERT_TRUE(locks.Acquire("db.X", 90, LockMode::kShared, nullptr));
  EXPECT_TRUE(locks.Holds("db.X", 90, LockMode::kShared));
  EXPECT_FALSE(locks.Holds("db.X", 90, LockMode::kExclusive));
  // A waiter that gives up comes back empty-handed.
  int asked = 0;
  EXPECT_FALSE(locks.Acquire("db.X", 91, LockMode::kExclusive, [&] { return ++asked == 3; }));
  EXPECT_EQ(asked, 3);
  locks.ReleaseAll(90);
  EXPECT_TRUE(locks.Acquire("db.X", 91, LockMode::kExclusive, nullptr));
  locks.ReleaseAll(91);
  EXPECT_FALSE(locks.Holds("db.X", 91, LockMode::kShared));
}

TEST(AseServerParser, ReadsLockHintsAndIsolationLevels) {
  auto select = [](const std::string& sql) {
    return std::get<SelectStatement>(ParseBatch(sql).at(0).statement);
  };
  EXPECT_EQ(select("select count(*) from [T] holdlock").isolation, 3);
  EXPECT_EQ(select("select * from dbo.T noholdlock where n = 1").isolation, 1);
  EXPECT_EQ(select("select * from T order by n at isolation read uncommitted").isolation, 0);
  EXPECT_EQ(select("select * from T at isolation 2").isolation, 2);
  EXPECT_FALSE(select("select * from T").isolation.has_value());
  const auto set = std::get<SetStatement>(
      ParseBatch("set transaction isolation level repeatable read").at(0).statement);
  EXPECT_EQ(set.option, "transaction");
  EXPECT_EQ(set.value, "2");
  EXPECT_THROW(ParseBatch("select * from T at isolation 4"), ServerError);
  EXPECT_THROW(ParseBatch("set transaction isolation level sometimes"), ServerError);
}

}  // namespace
}  // namespace vq::ase_server
