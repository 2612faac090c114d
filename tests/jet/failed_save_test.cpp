// Saves that fail and files that are damaged: a failed save undoes exactly
// the statements it reports lost, and a damaged file takes no write at all
// and stays byte for byte as it was.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <set>

#include "jet/database.h"
#include "jet/integrity_check.h"
#include "other_readers.h"

namespace jet {
namespace {

using testing::CheckWithOtherReaders;
using testing::CopyFile;
using testing::Exists;
using testing::FileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

// The ids in table T, in the order read.
std::set<int64_t> Ids(const std::string& path) {
  auto db = Database::Open(path, "");
  auto reader = db->OpenTable("T");
  std::set<int64_t> ids;
  std::vector<Value> row;
  while (reader->Next(row)) ids.insert(std::get<int64_t>(row[0]));
  return ids;
}

std::string Insert(int id) {
  return "INSERT INTO T VALUES (" + std::to_string(id) + ", 'row " + std::to_string(id) + "', '" +
         std::string(static_cast<size_t>(id % 7) * 300, 'm') + "')";
}

// A new database with table T (a memo column, so it has long-value pages)
// and rows 1 to `rows`, saved.
std::string MakeDatabase(const ScratchDir& dir, int rows,
                         NewFormat format = NewFormat::kAccess2003) {
  const std::string path = dir / (format == NewFormat::kAccess2007 ? "t.accdb" : "t.mdb");
  Database::Create(path, format, "");
  auto db = Database::Open(path, "");
  db->Execute("CREATE TABLE T (id LONG, t TEXT(40), m MEMO)");
  for (int k = 1; k <= rows; ++k) db->Execute(Insert(k));
  db->Close();
  return path;
}

// The writes one Close of `unsaved` rows and then a CREATE TABLE make.
int CountWrites(const std::string& path, const std::function<void(Database&)>& work) {
  ScratchDir probe_dir;
  const std::string probe = CopyFile(path, probe_dir / "probe.mdb");
  WriteFaults counter;
  counter.fail_at = INT_MAX;
  auto db = Database::Open(probe, "");
  db->EnableWriting();
  db->File().SetWriteFaults(&counter);
  work(*db);
  return counter.count;
}

// At every write of a save, failing or cut short: the statements the error
// counts as lost are exactly those missing afterwards, the file is the last
// save's byte for byte, and the database goes on taking statements.
TEST(FailedSave, LosesExactlyTheStatementsItReports) {
  ScratchDir dir;
  const std::string path = MakeDatabase(dir, 3);
  const std::vector<uint8_t> saved = FileBytes(path);
  auto unsaved = [](Database& db) {
    for (int k = 4; k <= 7; ++k) db.Execute(Insert(k));
  };
  struct Case {
    const char* what;
    std::function<void(Database&)> save;
    uint64_t lost;  // the four unsaved rows, and the statement itself if it is one
  };
  const std::vector<Case> cases = {
      {"Close", [](Database& db) { db.Close(); }, 4},
      {"CREATE TABLE", [](Database& db) { db.Execute("CREATE TABLE U (a LONG)"); }, 5},
      {"DROP TABLE", [](Database& db) { db.Execute("DROP TABLE T"); }, 5},
  };
  for (const Case& c : cases) {
    const int writes = CountWrites(path, [&](Database& db) {
      unsaved(db);
      c.save(db);
    });
    ASSERT_GT(writes, 3) << c.what;
    for (int error : {ENOSPC, EIO, 0}) {
      for (int at = 1; at <= writes; ++at) {
        SCOPED_TRACE(std::string(c.what) + ", write " + std::to_string(at) +
                     (error ? " fails" : " is short"));
        {
          auto db = Database::Open(path, "");
          unsaved(*db);
          WriteFaults faults;
          faults.fail_at = at;
          faults.error = error;
          db->File().SetWriteFaults(&faults);
          try {
            c.save(*db);
            ADD_FAILURE() << "the save succeeded";
          } catch (const SaveFailed& e) {
            EXPECT_EQ(e.LostStatements(), c.lost);
            EXPECT_NE(std::string(e.what()).find("not saved"), std::string::npos) << e.what();
          }
          db->File().SetWriteFaults(nullptr);
          EXPECT_TRUE(FileBytes(path) == saved);
          EXPECT_FALSE(Exists(PageFile::JournalPath(path)));
          // What the session sees is what the file holds, and it goes on.
          EXPECT_NO_THROW(db->FindTable("T"));
          EXPECT_THROW(db->FindTable("U"), JetError);
          db->Execute(Insert(8));
          db->Close();
        }
        EXPECT_EQ(Ids(path), (std::set<int64_t>{1, 2, 3, 8}));
        WriteFileBytes(path, saved);
      }
    }
  }
}

// A copy big enough to write its pages as it goes, failing at a write of its
// own: it saves the statements before it first, so a failure in that save
// loses them with the copy, and a later one the copy alone; the journal puts
// the file back either way.
TEST(FailedSave, ASpillingCopyThatFailsLosesTheStatementsBeforeItToo) {
  ScratchDir dir;
  const std::string path = MakeDatabase(dir, 40);
  const std::vector<uint8_t> saved = FileBytes(path);
  const int writes = CountWrites(path, [](Database& db) {
    db.File().SetSpillLimit(4);
    db.Execute(Insert(41));
    db.Execute("SELECT * INTO C FROM T");
  });
  ASSERT_GT(writes, 10);
  for (int at = 1; at <= writes; at += 3) {
    SCOPED_TRACE("write " + std::to_string(at));
    auto db = Database::Open(path, "");
    db->EnableWriting();
    db->File().SetSpillLimit(4);
    db->Execute(Insert(41));
    WriteFaults faults;
    faults.fail_at = at;
    faults.error = ENOSPC;
    db->File().SetWriteFaults(&faults);
    uint64_t lost = 0;
    try {
      db->Execute("SELECT * INTO C FROM T");
      ADD_FAILURE() << "the copy succeeded";
    } catch (const SaveFailed& e) {
      lost = e.LostStatements();
    }
    db->File().SetWriteFaults(nullptr);
    EXPECT_THROW(db->FindTable("C"), JetError);
    db.reset();
    EXPECT_FALSE(Exists(PageFile::JournalPath(path)));
    if (lost == 2) {
      ASSERT_TRUE(FileBytes(path) == saved);
    } else {
      ASSERT_EQ(lost, 1u);
      EXPECT_EQ(Ids(path).size(), 41u);
      WriteFileBytes(path, saved);
    }
  }
}

// A file another program replaced while we held changes is not written over.
TEST(FailedSave, AFileReplacedUnderneathIsNotWrittenOver) {
  ScratchDir dir;
  const std::string path = MakeDatabase(dir, 2);
  auto db = Database::Open(path, "");
  db->Execute(Insert(3));
  const std::vector<uint8_t> bytes = FileBytes(path);
  std::filesystem::remove(path);
  WriteFileBytes(path, bytes);  // same bytes, another file
  try {
    db->Close();
    ADD_FAILURE() << "the save succeeded";
  } catch (const SaveFailed& e) {
    EXPECT_EQ(e.LostStatements(), 1u);
    EXPECT_NE(std::string(e.what()).find("another program"), std::string::npos) << e.what();
  }
  db.reset();
  EXPECT_TRUE(FileBytes(path) == bytes);
}

// Every write, and every drop, on a damaged file is refused with the damage
// named, and the file stays as it was.
void ExpectEveryWriteRefused(const std::string& path, const std::string& why) {
  SCOPED_TRACE(why);
  const std::vector<uint8_t> before = FileBytes(path);
  std::shared_ptr<Database> db;
  try {
    db = Database::Open(path, "");
  } catch (const JetError& e) {
    // Refused at the open already: nothing can be written either.
    EXPECT_TRUE(FileBytes(path) == before);
    return;
  }
  for (const char* sql : {"CREATE TABLE U (a LONG)", "DROP TABLE T",
                          "INSERT INTO T VALUES (99, 'x', NULL)", "SELECT * INTO C FROM T"}) {
    try {
      db->Execute(sql);
      ADD_FAILURE() << sql << " was carried out";
    } catch (const DamagedFile& e) {
      EXPECT_EQ(std::string(e.what()).rfind("The database file is damaged: ", 0), 0u) << e.what();
    } catch (const JetError& e) {
      ADD_FAILURE() << sql << ": " << e.what();
    }
  }
  db->Close();
  db.reset();
  EXPECT_TRUE(FileBytes(path) == before);
  EXPECT_FALSE(Exists(PageFile::JournalPath(path)));
}

TEST(DamagedFile, TruncatedFilesTakeNoWrite) {
  ScratchDir dir;
  for (NewFormat format : {NewFormat::kAccess2003, NewFormat::kAccess2007}) {
    const std::string path = MakeDatabase(dir, 60, format);
    const std::vector<uint8_t> whole = FileBytes(path);
    const size_t page = format == NewFormat::kAccess2007 ? 4096 : 4096;
    const size_t pages = whole.size() / page;
    ASSERT_GT(pages, 20u);
    const std::string cut = dir / "cut.mdb";
    std::vector<size_t> lengths = {whole.size() / 2 / page * page, whole.size() - 100,
                                   whole.size() + 100};
    for (size_t p = 3; p < pages; ++p) lengths.push_back(p * page);
    for (size_t length : lengths) {
      std::vector<uint8_t> bytes = whole;
      bytes.resize(length, 0xAB);
      WriteFileBytes(cut, bytes);
      ExpectEveryWriteRefused(cut, "cut to " + std::to_string(length) + " bytes");
    }
    std::filesystem::remove(path);
  }
}

// The pages of a table's definition, patched through `patch`.
void PatchDefinition(const std::string& path, const std::function<void(uint8_t*)>& patch) {
  uint32_t page = 0;
  {
    auto db = Database::Open(path, "");
    page = db->FindTable("T").DefinitionPage();
  }
  std::vector<uint8_t> bytes = FileBytes(path);
  patch(bytes.data() + static_cast<size_t>(page) * 4096);
  WriteFileBytes(path, bytes);
}

TEST(DamagedFile, ReferencesPastTheEndOrToFreePagesTakeNoWrite) {
  ScratchDir dir;
  const std::string original = MakeDatabase(dir, 30);
  const uint32_t pages = static_cast<uint32_t>(FileBytes(original).size() / 4096);
  const std::string path = dir / "damaged.mdb";
  // The owned-pages map of T moved to a page past the end.
  CopyFile(original, path);
  PatchDefinition(path, [&](uint8_t* def) {
    const uint32_t far = pages + 5;
    def[56] = static_cast<uint8_t>(far);
    def[57] = static_cast<uint8_t>(far >> 8);
    def[58] = static_cast<uint8_t>(far >> 16);
  });
  ExpectEveryWriteRefused(path, "map past the end");
  // The definition's page marked free in the file's free-page list.
  CopyFile(original, path);
  {
    uint32_t def_page = 0;
    {
      auto db = Database::Open(path, "");
      def_page = db->FindTable("T").DefinitionPage();
    }
    std::vector<uint8_t> bytes = FileBytes(path);
    // Page 1 row 0 is the free-page list: an inline map in a new file.
    const uint8_t* page1 = bytes.data() + 4096;
    const uint16_t start = static_cast<uint16_t>(page1[14] | (page1[15] << 8));
    uint8_t* row = bytes.data() + 4096 + start;
    ASSERT_EQ(row[0], 0);
    const uint32_t first = row[1] | (row[2] << 8) | (row[3] << 16);
    const uint32_t bit = def_page - first;
    row[5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    WriteFileBytes(path, bytes);
  }
  ExpectEveryWriteRefused(path, "definition on a free page");
  // The catalogue's page of rows zeroed.
  CopyFile(original, path);
  {
    std::vector<uint8_t> bytes = FileBytes(path);
    bool zeroed = false;
    for (size_t p = 3; p < bytes.size() / 4096 && !zeroed; ++p) {
      uint8_t* page = bytes.data() + p * 4096;
      if (page[0] == 0x01 && page[4] == 2 && page[5] == 0 && page[6] == 0 && page[7] == 0) {
        std::fill(page, page + 4096, 0);
        zeroed = true;
      }
    }
    ASSERT_TRUE(zeroed);
    WriteFileBytes(path, bytes);
  }
  ExpectEveryWriteRefused(path, "catalogue page zeroed");
}

// Sound files of every kind the shared fixtures hold pass the check, so it
// refuses nothing a writer may change.
TEST(DamagedFile, SoundFilesPassTheCheck) {
  if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))
    GTEST_SKIP() << "no shared Access fixtures at " << kFixtures;
  std::ifstream index(kFixtures + "INDEX.tsv");
  std::string line;
  std::getline(index, line);
  int checked = 0;
  while (std::getline(index, line)) {
    std::vector<std::string> f;
    for (size_t at = 0;;) {
      size_t tab = line.find('\t', at);
      f.push_back(line.substr(at, tab - at));
      if (tab == std::string::npos) break;
      at = tab + 1;
    }
    if (f.size() < 4 || f[2] == "Jet3" || !f[3].empty()) continue;
    std::shared_ptr<Database> db;
    try {
      db = Database::Open(kFixtures + f[0], "");
    } catch (const JetError&) {
      continue;  // not a file this engine opens without more
    }
    SCOPED_TRACE(f[0]);
    EXPECT_EQ(
        FindDamageForWriting(db->File(), db->File().FileSize(), db->FileHeader(), db->Catalogue()),
        "");
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

// A real full disk: a small filesystem of its own, filled by rows. The rows
// the errors did not call lost are exactly the rows in the file, and every
// reader accepts it.
TEST(FailedSave, AFullFilesystemLosesOnlyWhatItReports) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small filesystem needs root";
  ScratchDir dir;
  const std::string mnt = dir / "small";
  std::filesystem::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=640k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{mnt};
  const std::string path = mnt + "/full.mdb";
  Database::Create(path, NewFormat::kAccess2003, "");
  std::vector<int> kept;  // rows reported done and not reported lost
  bool failed = false;
  {
    auto db = Database::Open(path, "");
    db->Execute("CREATE TABLE T (id LONG, t TEXT(40), m MEMO)");
    for (int k = 1; k < 100000 && !failed; ++k) {
      // The statement that fails is lost itself; a save of its own loses
      // only statements that had succeeded.
      uint64_t lost_before = 0;
      try {
        db->Execute(Insert(k));
        kept.push_back(k);
        if (k % 97 == 0) db->Checkpoint();
      } catch (const SaveFailed& e) {
        failed = true;
        lost_before = e.LostStatements() - (kept.empty() || kept.back() != k ? 1 : 0);
      }
      ASSERT_LE(lost_before, kept.size());
      kept.resize(kept.size() - lost_before);
    }
    ASSERT_TRUE(failed) << "the disk never filled";
    db->Close();
  }
  const std::set<int64_t> expected(kept.begin(), kept.end());
  EXPECT_EQ(Ids(path), expected);
  EXPECT_FALSE(Exists(PageFile::JournalPath(path)));
  // Copied out of the full filesystem, the readers need no room there.
  const std::string copy = CopyFile(path, dir / "copy.mdb");
  std::string skipped;
  EXPECT_EQ(CheckWithOtherReaders(copy, "", skipped), "");
  if (!skipped.empty()) std::cout << "other readers skipped: " << skipped << "\n";
}

}  // namespace
}  // namespace jet
