// "Send Table/s To Access" into a file that cannot be saved or is damaged:
// one report, naming the rows a failed save lost, no row sent after it, and
// a file that holds exactly the rows the reports did not call lost.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "jet/database.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

// The values of column n of table `table`, in file order.
std::vector<int64_t> Column0(const std::string& path, const std::string& table) {
  auto db = jet::Database::Open(path, "");
  auto reader = db->OpenTable(table);
  std::vector<int64_t> ids;
  std::vector<jet::Value> row;
  while (reader->Next(row)) ids.push_back(std::get<int64_t>(row[0]));
  std::sort(ids.begin(), ids.end());
  return ids;
}

class ToAccessSaveFailure : public TransferTest {
 protected:
  ToAccessSaveFailure() {
    dir_ = ::testing::TempDir() + "/vq-transfer-save-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir_);
    UseRealAccess();
    settings_.Set(Setting::kAccessPassword, "");
  }
  ~ToAccessSaveFailure() override {
    if (!mounted_.empty()) ::umount(mounted_.c_str());
    std::filesystem::remove_all(dir_);
  }
  // A new, empty Access file at `path`, which the transfer writes to.
  void UseAccessFile(const std::string& path) {
    jet::Database::Create(path, jet::NewFormat::kAccess2003, "");
    settings_.Set(Setting::kAccessFile, path);
  }
  void AddTable(const std::string& name, int rows, size_t text = 0) {
    FakeTable& t = ase_->tables[name];
    t.columns = {Column("n", kAdInteger), Column("t", kAdVarChar, 255)};
    for (int i = 1; i <= rows; ++i)
      t.rows.push_back({Value{int64_t{i}}, Value{std::string(text, 'x')}});
  }

  std::string dir_;
  std::string mounted_;
};

// Every save after the new table's fails: the one report names every row
// sent since that save, the other table is not sent, and the file holds
// none of the lost rows.
TEST_F(ToAccessSaveFailure, OneReportNamesTheLostRowsAndNothingMoreIsSent) {
  const std::string path = dir_ + "/t.mdb";
  UseAccessFile(path);
  // The writes of the new table's own save, on a copy.
  int create_writes = 0;
  {
    const std::string probe = dir_ + "/probe.mdb";
    std::filesystem::copy_file(path, probe);
    auto db = jet::Database::Open(probe, "");
    db->EnableWriting();
    jet::WriteFaults counter;
    counter.fail_at = INT_MAX;
    db->File().SetWriteFaults(&counter);
    db->Execute("CREATE TABLE `B`(`n` INT,`t` VARCHAR(255));");
    create_writes = counter.count;
  }
  AddTable("A", 10);
  AddTable("B", 6000);
  auto held = jet::Database::Open(path, "");
  jet::WriteFaults faults;
  faults.fail_at = create_writes + 1;
  faults.error = ENOSPC;
  held->File().SetWriteFaults(&faults);
  Select(list2_, {"A", "B"});
  EXPECT_EQ(ToAccess(), 1);
  const std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(reports[0], m,
                                std::regex("(Row 1|Rows 1 to ([0-9,]+)) of this table were? not "
                                           "saved\\. Nothing more is sent to this database\\.")))
      << reports[0];
  EXPECT_NE(reports[0].find("No space left on device"), std::string::npos) << reports[0];
  held->File().SetWriteFaults(nullptr);
  held.reset();
  EXPECT_EQ(list1_.Items(), std::vector<std::string>{"B"});
  EXPECT_TRUE(Column0(path, "B").empty());
  auto db = jet::Database::Open(path, "");
  EXPECT_THROW(db->FindTable("A"), jet::JetError);
}

// A damaged file: one report naming the damage, whatever is selected, and
// the file byte for byte as it was.
TEST_F(ToAccessSaveFailure, ADamagedFileIsReportedOnceAndLeftAsItWas) {
  const std::string path = dir_ + "/cut.mdb";
  UseAccessFile(path);
  {
    auto db = jet::Database::Open(path, "");
    db->Execute("CREATE TABLE Old (n LONG, m MEMO)");
    for (int k = 0; k < 40; ++k)
      db->Execute("INSERT INTO Old VALUES (" + std::to_string(k) + ", '" + std::string(3000, 'm') +
                  "')");
  }
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2 / 4096 * 4096);
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> before(std::istreambuf_iterator<char>(in), {});
  AddTable("A", 5);
  AddTable("B", 5);
  list1_.AddItem("B");
  dialogs_.yes_no_answers.push_back(kAnswerYes);
  Select(list2_, {"A", "B"});
  EXPECT_EQ(ToAccess(), 1);
  const std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind("The database file is damaged: ", 0), 0u) << reports[0];
  std::ifstream after_in(path, std::ios::binary);
  EXPECT_TRUE(std::vector<char>(std::istreambuf_iterator<char>(after_in), {}) == before);
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// A real small filesystem that fills during the rows: the file holds exactly
// the rows before the first one the report calls lost.
TEST_F(ToAccessSaveFailure, AFullFilesystemKeepsExactlyTheRowsNotReportedLost) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small filesystem needs root";
  const std::string mnt = dir_ + "/small";
  std::filesystem::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=3m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  mounted_ = mnt;
  const std::string path = mnt + "/full.mdb";
  UseAccessFile(path);
  AddTable("Big", 30000, 200);
  Select(list2_, {"Big"});
  EXPECT_EQ(ToAccess(), 1);
  const std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(reports[0], m,
                                std::regex("Rows ([0-9,]+) to ([0-9,]+) of this table were not")))
      << reports[0];
  auto number = [](std::string s) {
    s.erase(std::remove(s.begin(), s.end(), ','), s.end());
    return std::stoll(s);
  };
  const int64_t first_lost = number(m[1]);
  std::vector<int64_t> expected;
  for (int64_t k = 1; k < first_lost; ++k) expected.push_back(k);
  EXPECT_EQ(Column0(path, "Big"), expected);
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

}  // namespace
}  // namespace vq::testing
