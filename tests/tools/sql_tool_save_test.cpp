// vellquist-sql on an Access file whose saves fail: the error line names the
// script lines whose changes were lost and where the file now ends, and the
// file holds exactly the lines it says.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "jet/database.h"
#include "jet/other_readers.h"
#include "sql_tool.h"

namespace vq::tools {
namespace {

std::string Connection(const std::string& path) {
  return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";JET OLEDB:Database Password=";
}

std::vector<int64_t> Ids(const std::string& path) {
  auto db = jet::Database::Open(path, "");
  auto reader = db->OpenTable("T");
  std::vector<int64_t> ids;
  std::vector<jet::Value> row;
  while (reader->Next(row)) ids.push_back(std::get<int64_t>(row[0]));
  std::sort(ids.begin(), ids.end());
  return ids;
}

class SqlToolSave : public ::testing::Test {
 protected:
  SqlToolSave() {
    dir_ = ::testing::TempDir() + "/vq-save-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir_);
  }
  ~SqlToolSave() override {
    if (mounted_) ::umount((dir_ + "/small").c_str());
    std::filesystem::remove_all(dir_);
  }
  // Mounts a tmpfs of `size` at dir_/small and gives its path; empty (after
  // a skip) where this process may not mount.
  std::string SmallFilesystem(const char* size) {
    if (::geteuid() != 0) return "";
    const std::string mnt = dir_ + "/small";
    std::filesystem::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) != 0)
      return "";
    mounted_ = true;
    return mnt;
  }
  // A new database with an empty table T at `path`.
  void MakeDatabase(const std::string& path) {
    jet::Database::Create(path, jet::NewFormat::kAccess2003, "");
    auto db = jet::Database::Open(path, "");
    db->Execute("CREATE TABLE T (id LONG, m MEMO)");
    db->Close();
  }
  std::string Script(const std::string& text) {
    const std::string path = dir_ + "/script.sql";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  int Run(const std::vector<std::string>& args, std::string& err) {
    std::ostringstream out, errs;
    const int status = RunVellquistSql(args, out, errs);
    err = errs.str();
    return status;
  }

  std::string dir_;
  bool mounted_ = false;
};

// With the file's writes failing, a script line that saves, and a Close
// that saves, each name the lines lost since the last save.
TEST_F(SqlToolSave, AFailedSaveNamesTheLinesItLost) {
  const std::string path = dir_ + "/t.mdb";
  MakeDatabase(path);
  const std::vector<uint8_t> before = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }();
  // Held open here, so the tool's session shares it and its failing writes.
  auto db = jet::Database::Open(path, "");
  jet::WriteFaults faults;
  faults.fail_at = 1;
  faults.error = ENOSPC;
  db->File().SetWriteFaults(&faults);
  std::string err;
  const std::string script = Script(
      "INSERT INTO T VALUES (1, NULL)\n-- a comment\nINSERT INTO T VALUES (3, NULL)\n"
      "INSERT INTO T VALUES (4, NULL)\nCREATE TABLE U (a LONG)\nINSERT INTO T VALUES (6, NULL)\n");
  EXPECT_EQ(Run({"--connect", Connection(path), "--script", script}, err), 1);
  EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
  EXPECT_NE(err.find("(line 5; not saved: line 1 to line 5; the file holds none of this run's "
                     "changes)\n"),
            std::string::npos)
      << err;
  // The lines before the failing Close are named too.
  faults.count = 0;
  EXPECT_EQ(Run({"--connect", Connection(path), "--script",
                 Script("INSERT INTO T VALUES (1, NULL)\nINSERT INTO T VALUES (2, NULL)\n")},
                err),
            1);
  EXPECT_NE(err.find("(not saved: line 1 to line 2; the file holds none of this run's changes)"),
            std::string::npos)
      << err;
  db->File().SetWriteFaults(nullptr);
  db.reset();
  EXPECT_TRUE(Ids(path).empty());
}

// On a real filesystem that fills up: the file holds exactly the lines up to
// the one the error line says it ends with.
TEST_F(SqlToolSave, AFullFilesystemEndsTheFileWhereTheErrorSays) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small filesystem needs root";
  const std::string mnt = dir_ + "/small";
  std::filesystem::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  mounted_ = true;
  const std::string path = mnt + "/full.mdb";
  MakeDatabase(path);
  std::string text;
  // Rows are saved every 5,000 lines: a few saves fit, then one does not.
  for (int line = 1; line <= 40000; ++line)
    text +=
        "INSERT INTO T VALUES (" + std::to_string(line) + ", '" + std::string(200, 'x') + "')\n";
  std::string err;
  EXPECT_EQ(Run({"--connect", Connection(path), "--script", Script(text)}, err), 1);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(err, m,
                                std::regex(R"(\(line (\d+); not saved: line (\d+) to line (\d+); )"
                                           R"(the file holds the changes up to line (\d+)\))")))
      << err;
  const int failed = std::stoi(m[1]), first = std::stoi(m[2]), last = std::stoi(m[3]),
            end = std::stoi(m[4]);
  EXPECT_EQ(last, failed);
  EXPECT_EQ(first, end + 1);
  std::vector<int64_t> expected;
  for (int k = 1; k <= end; ++k) expected.push_back(k);
  EXPECT_EQ(Ids(path), expected);
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// A SELECT INTO whose copy cannot be saved on a filesystem that fills up:
// the lines before it are saved, the copy is named as lost, nothing after it
// runs, and the file holds exactly the saved lines, for every reader.
TEST_F(SqlToolSave, ACopyThatDoesNotFitIsNamedAndTheRestIsKept) {
  // Made outside the small filesystem: a table whose copy needs about 2.5 MB.
  const std::string made = dir_ + "/made.mdb";
  MakeDatabase(made);
  {
    auto db = jet::Database::Open(made, "");
    for (int id = 1; id <= 10000; ++id)
      db->Execute("INSERT INTO T VALUES (" + std::to_string(id) + ", '" + std::string(200, 'x') +
                  "')");
    db->Close();
  }
  const auto made_size = std::filesystem::file_size(made);
  const std::string mnt = SmallFilesystem("4m");
  if (mnt.empty()) GTEST_SKIP() << "cannot mount a small filesystem here (needs root)";
  const std::string path = mnt + "/copy.mdb";
  std::filesystem::copy_file(made, path);
  ASSERT_LT(made_size, 4u << 20) << "the table alone must fit";

  std::string err;
  EXPECT_EQ(Run({"--connect", Connection(path), "--script",
                 Script("INSERT INTO T VALUES (0, NULL)\nSELECT * INTO C FROM T\n"
                        "INSERT INTO T VALUES (-1, NULL)\n")},
                err),
            1);
  // The copy is lost, and with it whatever was not yet saved before it; the
  // third line never runs.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      err, m,
      std::regex(R"(\(line 2; not saved: line (\d) to line 2; the file holds (none of this run's )"
                 R"(changes|the changes up to line (\d))\))")))
      << err;
  const bool first_line_kept = m[3].matched;
  EXPECT_EQ(std::stoi(m[1]), first_line_kept ? 2 : 1);
  if (first_line_kept) {
    EXPECT_EQ(m[3], "1");
  }
  std::vector<int64_t> expected;
  if (first_line_kept) expected.push_back(0);
  for (int id = 1; id <= 10000; ++id) expected.push_back(id);
  EXPECT_EQ(Ids(path), expected);
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
  {
    auto db = jet::Database::Open(path, "");
    for (const auto& entry : db->Catalogue())
      EXPECT_NE(entry.name, "C") << "the lost copy is there";
  }
  // The readers need room for their own files, which the full tmpfs lacks.
  const std::string checked = dir_ + "/checked.mdb";
  std::filesystem::copy_file(path, checked);
  std::string skipped;
  EXPECT_EQ(jet::testing::CheckWithOtherReaders(checked, "", skipped), "");
  if (!skipped.empty()) std::printf("other readers skipped: %s\n", skipped.c_str());
}

}  // namespace
}  // namespace vq::tools
