// The page copies behind statements: buffers handed back by finished
// statements are reused for later copies, so these tests check that a page a
// reader holds is never one of them, that rollbacks and checkpoints still see
// the right bytes, and that tables are found by name the way Jet finds them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "jet/database.h"
#include "jet/page_file.h"

namespace jet {
namespace {

// A new, empty Jet4 database of the test's own, removed afterwards.
class EmptyCopy {
 public:
  explicit EmptyCopy(const char* name)
      : path_((std::filesystem::path(::testing::TempDir()) /
               (std::string(name) + "-" + std::to_string(::getpid()) + ".mdb"))
                  .string()) {
    std::filesystem::remove(path_);
    Database::Create(path_, NewFormat::kAccess2003, "");
  }
  ~EmptyCopy() {
    std::filesystem::remove(path_);
    std::filesystem::remove(PageFile::JournalPath(path_));
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

TEST(StatementPages, ReusedBuffersLeaveReadersRollbacksAndCheckpointsAlone) {
  EmptyCopy copy("statement-pages");
  PageFile file(copy.Path(), PageFile::Mode::kReadWrite);
  file.SetLayout(4096, {});
  file.EnableWriting();
  const uint32_t p = 3, q = 4;
  ASSERT_GT(file.PageCount(), q);
  const uint8_t original = (*file.Read(p))[200];

  file.BeginStatement();
  file.Modify(p)[100] = 1;
  file.CommitStatement();
  PageBuffer held = file.Read(p);
  // Statement after statement copies p and q; the buffers they give back
  // are taken again, but never the one `held` still reads.
  for (uint8_t i = 2; i < 40; ++i) {
    file.BeginStatement();
    file.Modify(p)[100] = i;
    file.Modify(q)[100] = i;
    file.Modify(p)[200] = static_cast<uint8_t>(original + 1);
    file.CommitStatement();
  }
  EXPECT_EQ((*held)[100], 1);
  EXPECT_EQ((*held)[200], original);

  file.BeginStatement();
  file.Modify(p)[100] = 99;
  file.Modify(q)[100] = 99;
  uint32_t added = file.AppendPage();
  file.Modify(added)[0] = 7;
  file.RollbackStatement();
  EXPECT_EQ((*file.Read(p))[100], 39);
  EXPECT_EQ((*file.Read(q))[100], 39);
  EXPECT_EQ(file.PageCount(), added);

  file.Checkpoint();
  file.BeginStatement();
  file.Modify(p)[100] = 50;
  file.CommitStatement();
  PageFile reread(copy.Path(), PageFile::Mode::kReadOnly);
  reread.SetLayout(4096, {});
  EXPECT_EQ((*reread.Read(p))[100], 39);
  EXPECT_EQ((*reread.Read(q))[100], 39);
  EXPECT_EQ((*reread.Read(p))[200], static_cast<uint8_t>(original + 1));
  EXPECT_EQ((*file.Read(p))[100], 50);
}

TEST(StatementPages, InsertsFindTheirTableByAnyCaseAndFailedOnesLeaveNothing) {
  EmptyCopy copy("statement-inserts");
  {
    std::shared_ptr<Database> db = Database::Open(copy.Path(), "");
    db->Execute("CREATE TABLE `Items` (`n` LONG, `t` TEXT(20))");
    // Past one row-count checkpoint, so later rows are copied from reused buffers.
    for (int i = 0; i < 6000; ++i)
      db->Execute("INSERT INTO " + std::string(i % 2 ? "`Items`" : "`iTEMS`") + " VALUES('" +
                  std::to_string(i) + "', 'row " + std::to_string(i) + "')");
    EXPECT_THROW(db->Execute("INSERT INTO `Items` VALUES('not a number', 'x')"), JetError);
    EXPECT_THROW(db->Execute("INSERT INTO `Missing` VALUES('1', 'x')"), JetError);
    db->Close();
  }
  std::shared_ptr<Database> db = Database::Open(copy.Path(), "");
  std::unique_ptr<TableReader> rows = db->OpenTable("items");
  std::vector<Value> row;
  int64_t expected = 0;
  while (rows->Next(row)) {
    ASSERT_EQ(std::get<int64_t>(row[0]), expected);
    ASSERT_EQ(std::get<std::string>(row[1]), "row " + std::to_string(expected));
    ++expected;
  }
  EXPECT_EQ(expected, 6000);
}

}  // namespace
}  // namespace jet
