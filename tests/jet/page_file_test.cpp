// The page file's statements, checkpoints and rollback journal, on files of
// numbered pages made here: what is on disk after each way a change can end.
#include "jet/page_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "error_of.h"
#include "jet/error.h"
#include "scratch_files.h"

namespace jet {
namespace {

using testing::Exists;
using testing::FileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

constexpr uint32_t kPage = 4096;

// Page p of a made-up file: every byte depends on p and its place.
std::vector<uint8_t> PagePattern(uint32_t p, uint8_t salt = 0) {
  std::vector<uint8_t> page(kPage);
  for (uint32_t i = 0; i < kPage; ++i) page[i] = static_cast<uint8_t>(p * 31 + i * 7 + salt);
  return page;
}

std::vector<uint8_t> PatternFile(uint32_t pages) {
  std::vector<uint8_t> bytes;
  for (uint32_t p = 0; p < pages; ++p) {
    std::vector<uint8_t> page = PagePattern(p);
    bytes.insert(bytes.end(), page.begin(), page.end());
  }
  return bytes;
}

// A stand-in for a page cipher: stored bytes differ from plain ones per page.
void XorCodec(uint32_t page, uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] ^= static_cast<uint8_t>(page * 13 + 0x5A);
}

std::unique_ptr<PageFile> OpenFile(const std::string& path, PageFile::Mode mode,
                                   bool coded = false) {
  auto file = std::make_unique<PageFile>(path, mode);
  if (coded) {
    file->SetLayout(kPage, XorCodec, XorCodec);
  } else {
    file->SetLayout(kPage, {});
  }
  return file;
}

std::vector<uint8_t> PageOf(PageFile& file, uint32_t p) {
  return *file.Read(p);
}

std::vector<uint8_t> StoredPage(const std::vector<uint8_t>& bytes, uint32_t p) {
  return std::vector<uint8_t>(bytes.begin() + p * kPage, bytes.begin() + (p + 1) * kPage);
}

// The journal's checksum, as its format lays it down.
uint32_t Fnv(const uint8_t* data, size_t size, uint32_t seed) {
  uint32_t h = 2166136261u ^ seed;
  for (size_t k = 0; k < size; ++k) {
    h ^= data[k];
    h *= 16777619u;
  }
  return h;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// A journal written by hand in the documented layout: what a writer that died
// after making it hot leaves behind.
std::vector<uint8_t> MakeJournal(bool hot, uint64_t old_size,
                                 const std::map<uint32_t, std::vector<uint8_t>>& originals,
                                 uint32_t salt = 0x1234567) {
  std::vector<uint8_t> j;
  const char* magic = hot ? "VQJRNL01" : "VQJRNL00";
  j.insert(j.end(), magic, magic + 8);
  Put32(j, kPage);
  Put32(j, static_cast<uint32_t>(originals.size()));
  Put32(j, static_cast<uint32_t>(old_size));
  Put32(j, static_cast<uint32_t>(old_size >> 32));
  Put32(j, salt);
  Put32(j, Fnv(j.data(), 28, 0));
  for (const auto& [page, bytes] : originals) {
    std::vector<uint8_t> record;
    Put32(record, page);
    record.insert(record.end(), bytes.begin(), bytes.end());
    Put32(record, Fnv(record.data(), record.size(), salt));
    j.insert(j.end(), record.begin(), record.end());
  }
  return j;
}

// The file as a writer left it between writing pages and removing its hot
// journal: pages 3 and 7 overwritten, two pages and a torn half appended.
struct InterruptedCheckpoint {
  std::vector<uint8_t> before;
  std::vector<uint8_t> after;
  std::vector<uint8_t> journal;
};

InterruptedCheckpoint MakeInterrupted(uint32_t pages) {
  InterruptedCheckpoint c;
  c.before = PatternFile(pages);
  c.after = c.before;
  std::map<uint32_t, std::vector<uint8_t>> originals;
  for (uint32_t p : {3u, 7u}) {
    originals[p] = StoredPage(c.before, p);
    std::vector<uint8_t> changed = PagePattern(p, 99);
    std::copy(changed.begin(), changed.end(), c.after.begin() + p * kPage);
  }
  c.after.resize(c.after.size() + 2 * kPage + kPage / 2, 0xEE);
  c.journal = MakeJournal(true, c.before.size(), originals);
  return c;
}

using testing::ErrorOf;

TEST(PageFile, RollbackForgetsTheStatementAndKeepsEarlierOnes) {
  ScratchDir dir;
  const std::string path = dir / "db";
  WriteFileBytes(path, PatternFile(10));
  auto file = OpenFile(path, PageFile::Mode::kReadOnly);
  EXPECT_THROW(file->BeginStatement(), JetError);  // not yet writable
  file->EnableWriting();

  // A committed statement: page 2 changed, one page appended.
  file->BeginStatement();
  file->Modify(2)[0] = 0xA1;
  uint32_t kept = file->AppendPage();
  file->Modify(kept)[5] = 0xA2;
  file->CommitStatement();
  ASSERT_EQ(kept, 10u);
  const std::vector<uint8_t> page2 = PageOf(*file, 2);

  // A statement that changes both again, and others, then rolls back.
  PageBuffer held = file->Read(4);
  file->BeginStatement();
  file->Modify(2)[1] = 0xB1;
  file->Modify(4)[0] = 0xB2;
  file->Modify(kept)[6] = 0xB3;
  for (int k = 0; k < 5; ++k) file->Modify(file->AppendPage())[0] = 0xB4;
  EXPECT_EQ(file->PageCount(), 16u);
  EXPECT_EQ((*held)[0], PagePattern(4)[0]) << "a page a reader holds keeps its bytes";
  file->RollbackStatement();

  EXPECT_EQ(file->PageCount(), 11u);
  EXPECT_EQ(PageOf(*file, 2), page2);
  EXPECT_EQ(PageOf(*file, 4), PagePattern(4));
  EXPECT_EQ(PageOf(*file, kept)[5], 0xA2);
  EXPECT_EQ(PageOf(*file, kept)[6], 0);
  EXPECT_THROW(file->Read(11), JetError);
  EXPECT_EQ(file->DirtyPages(), 2u);

  // The page number given back is handed out again, as a page of zeros.
  file->BeginStatement();
  EXPECT_EQ(file->AppendPage(), 11u);
  EXPECT_EQ(PageOf(*file, 11), std::vector<uint8_t>(kPage, 0));
  file->RollbackStatement();

  file->Checkpoint();
  std::vector<uint8_t> expected = PatternFile(10);
  expected[2 * kPage] = 0xA1;
  expected.resize(11 * kPage, 0);
  expected[10 * kPage + 5] = 0xA2;
  EXPECT_EQ(FileBytes(path), expected);
  EXPECT_FALSE(Exists(PageFile::JournalPath(path)));
}

TEST(PageFile, CheckpointWritesEncodedPagesAndRemovesTheJournal) {
  ScratchDir dir;
  const std::string path = dir / "db";
  std::vector<uint8_t> stored = PatternFile(8);
  WriteFileBytes(path, stored);
  auto file = OpenFile(path, PageFile::Mode::kReadOnly, true);
  std::vector<uint8_t> plain5 = StoredPage(stored, 5);
  XorCodec(5, plain5.data(), plain5.size());
  EXPECT_EQ(PageOf(*file, 5), plain5);

  file->EnableWriting();
  file->BeginStatement();
  std::memset(file->Modify(5), 0x11, kPage);
  uint32_t added = file->AppendPage();
  std::memset(file->Modify(added), 0x22, kPage);
  file->CommitStatement();
  EXPECT_EQ(FileBytes(path), stored) << "nothing reaches the file before a checkpoint";
  file->Checkpoint();
  EXPECT_EQ(file->DirtyPages(), 0u);
  EXPECT_FALSE(Exists(PageFile::JournalPath(path)));

  std::vector<uint8_t> page5(kPage, 0x11), page8(kPage, 0x22);
  XorCodec(5, page5.data(), kPage);
  XorCodec(8, page8.data(), kPage);
  std::vector<uint8_t> expected = stored;
  std::copy(page5.begin(), page5.end(), expected.begin() + 5 * kPage);
  expected.insert(expected.end(), page8.begin(), page8.end());
  EXPECT_EQ(FileBytes(path), expected);
  EXPECT_EQ(PageOf(*file, 8), std::vector<uint8_t>(kPage, 0x22));

  // A second checkpoint with nothing to write changes nothing.
  file->Checkpoint();
  EXPECT_EQ(FileBytes(path), expected);
  file.reset();
  auto again = OpenFile(path, PageFile::Mode::kReadOnly, true);
  EXPECT_EQ(again->PageCount(), 9u);
  EXPECT_EQ(PageOf(*again, 5), std::vector<uint8_t>(kPage, 0x11));
}

TEST(PageFile, AJournalThatNeverBecameHotIsRemovedAndTheFileLeftAlone) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  InterruptedCheckpoint c = MakeInterrupted(10);
  std::vector<uint8_t> torn_header = c.journal;
  torn_header[20] ^= 1;  // a hot header that fails its checksum
  std::vector<uint8_t> cold = c.journal;
  std::memcpy(cold.data(), "VQJRNL00", 8);
  cold[28] = cold[29] = cold[30] = cold[31] = 0;
  uint32_t sum = Fnv(cold.data(), 28, 0);
  for (int k = 0; k < 4; ++k) cold[28 + k] = static_cast<uint8_t>(sum >> (8 * k));
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> journals = {
      {"empty", {}},
      {"header cut short", std::vector<uint8_t>(c.journal.begin(), c.journal.begin() + 20)},
      {"cold", cold},
      {"torn header", torn_header}};
  for (const auto& [what, bytes] : journals) {
    for (PageFile::Mode mode : {PageFile::Mode::kReadOnly, PageFile::Mode::kReadWrite}) {
      SCOPED_TRACE(what);
      // The file as it is after a checkpoint failed before the journal was
      // hot: untouched (any other bytes here would be someone else's).
      WriteFileBytes(path, c.after);
      WriteFileBytes(journal, bytes);
      auto file = OpenFile(path, mode);
      EXPECT_EQ(file->JournalRecovery(), PageFile::Recovery::kNone);
      EXPECT_FALSE(Exists(journal));
      EXPECT_EQ(FileBytes(path), c.after);
    }
  }
}

TEST(PageFile, AHotJournalRestoresTheFileOnTheNextOpen) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  InterruptedCheckpoint c = MakeInterrupted(10);
  for (PageFile::Mode mode : {PageFile::Mode::kReadOnly, PageFile::Mode::kReadWrite}) {
    SCOPED_TRACE(mode == PageFile::Mode::kReadOnly ? "read-only open" : "read-write open");
    WriteFileBytes(path, c.after);
    WriteFileBytes(journal, c.journal);
    auto file = OpenFile(path, mode);
    EXPECT_EQ(file->JournalRecovery(), PageFile::Recovery::kRestored);
    EXPECT_FALSE(Exists(journal));
    EXPECT_EQ(FileBytes(path), c.before) << "the file is byte for byte the last checkpoint";
    EXPECT_EQ(file->FileSize(), c.before.size());
    EXPECT_EQ(file->PageCount(), 10u);
    EXPECT_EQ(PageOf(*file, 3), PagePattern(3));
    // Restored once: opening again finds nothing to do.
    file.reset();
    EXPECT_EQ(OpenFile(path, mode)->JournalRecovery(), PageFile::Recovery::kNone);
  }
}

TEST(PageFile, AFileThatCannotBeWrittenIsReadThroughItsJournal) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  InterruptedCheckpoint c = MakeInterrupted(10);
  WriteFileBytes(path, c.after);
  WriteFileBytes(journal, c.journal);
  ::chmod(path.c_str(), 0444);

  auto file = OpenFile(path, PageFile::Mode::kReadOnly);
  EXPECT_EQ(file->JournalRecovery(), PageFile::Recovery::kReadThrough);
  EXPECT_EQ(FileBytes(path), c.after) << "the file is left alone";
  EXPECT_TRUE(Exists(journal));
  EXPECT_EQ(file->FileSize(), c.before.size());
  EXPECT_EQ(file->PageCount(), 10u);
  for (uint32_t p = 0; p < 10; ++p) EXPECT_EQ(PageOf(*file, p), PagePattern(p)) << p;
  EXPECT_THROW(file->Read(10), JetError);
  std::vector<uint8_t> raw(2 * kPage);
  file->ReadRaw(2 * kPage + 100, raw.data(), raw.size());  // pages 2 to 4, 3 from the journal
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), c.before.begin() + 2 * kPage + 100));
  std::string what;
  EXPECT_EQ(ErrorOf([&] { file->EnableWriting(); }, &what), error_numbers::kReadOnly);
  EXPECT_NE(what.find("restoring from its journal"), std::string::npos) << what;

  // Once the file may be written again, the next open restores it.
  file.reset();
  ::chmod(path.c_str(), 0644);
  EXPECT_EQ(OpenFile(path, PageFile::Mode::kReadOnly)->JournalRecovery(),
            PageFile::Recovery::kRestored);
  EXPECT_EQ(FileBytes(path), c.before);
}

TEST(PageFile, ADamagedHotJournalIsAnErrorAndWritesNothing) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  InterruptedCheckpoint c = MakeInterrupted(10);
  std::vector<uint8_t> bad_record = c.journal;
  bad_record[32 + 4 + 100] ^= 0x40;  // a byte of the first record's page
  std::vector<uint8_t> cut = c.journal;
  cut.erase(cut.end() - 10, cut.end());
  // A record for a page far past the old end, with a checksum that fits.
  std::map<uint32_t, std::vector<uint8_t>> far = {{3u, StoredPage(c.before, 3)},
                                                  {0xFFFFFFFFu, StoredPage(c.before, 7)}};
  for (const auto& [what, bytes] :
       {std::pair{"damaged record", bad_record}, std::pair{"cut short", cut},
        std::pair{"page past the end", MakeJournal(true, c.before.size(), far)}}) {
    SCOPED_TRACE(what);
    WriteFileBytes(path, c.after);
    WriteFileBytes(journal, bytes);
    std::string message;
    EXPECT_EQ(ErrorOf([&] { OpenFile(path, PageFile::Mode::kReadOnly); }, &message),
              error_numbers::kCorrupt);
    EXPECT_NE(message.find("journal"), std::string::npos) << message;
    EXPECT_EQ(FileBytes(path), c.after);
    EXPECT_TRUE(Exists(journal)) << "kept for whoever can repair it";
  }
}

// A child process that holds the write lock of `path` until told to go:
// through a PageFile of its own, or (`raw`) by a bare flock(), as a writer in
// the middle of a checkpoint does.
class LockHolder {
 public:
  LockHolder(const std::string& path, bool raw) {
    int ready[2], go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(go[1]);
      char c = 'x';
      std::unique_ptr<PageFile> file;  // never destroyed: the child ends with _exit
      try {
        if (raw) {
          int fd = ::open(path.c_str(), O_RDWR);
          if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) c = 'e';
        } else {
          file = std::make_unique<PageFile>(path, PageFile::Mode::kReadOnly);
          file->SetLayout(kPage, {});
          file->EnableWriting();
        }
      } catch (...) {
        c = 'e';
      }
      (void)!::write(ready[1], &c, 1);
      (void)!::read(go[0], &c, 1);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(go[0]);
    go_ = go[1];
    char c = 0;
    ok_ = ::read(ready[0], &c, 1) == 1 && c == 'x';
    ::close(ready[0]);
  }
  ~LockHolder() { Release(); }
  bool Ok() const { return ok_; }
  void Release() {
    if (go_ < 0) return;
    (void)!::write(go_, "g", 1);
    ::close(go_);
    go_ = -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  bool ok_ = false;
};

TEST(PageFile, ASecondWriterIsRefusedAtOnce) {
  ScratchDir dir;
  const std::string path = dir / "db";
  WriteFileBytes(path, PatternFile(4));
  auto expect_refused = [&](PageFile& second) {
    auto start = std::chrono::steady_clock::now();
    std::string what;
    EXPECT_EQ(ErrorOf([&] { second.EnableWriting(); }, &what), error_numbers::kFileInUse);
    EXPECT_NE(what.find("is being changed by another program"), std::string::npos) << what;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(second.Writable());
  };
  {
    // Within one process: two opens of the file are two lock holders.
    auto first = OpenFile(path, PageFile::Mode::kReadOnly);
    first->EnableWriting();
    auto second = OpenFile(path, PageFile::Mode::kReadOnly);
    expect_refused(*second);
    first.reset();
    second->EnableWriting();  // the lock went with the first
  }
  {
    // Another process.
    LockHolder holder(path, false);
    ASSERT_TRUE(holder.Ok());
    auto mine = OpenFile(path, PageFile::Mode::kReadOnly);
    expect_refused(*mine);
    holder.Release();
    mine->EnableWriting();
  }
}

TEST(PageFile, AReaderNeverRestoresAJournalItsWriterStillUses) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  InterruptedCheckpoint c = MakeInterrupted(10);
  WriteFileBytes(path, c.after);
  WriteFileBytes(journal, c.journal);
  LockHolder writer(path, true);
  ASSERT_TRUE(writer.Ok());
  // The writer finishes its checkpoint a moment later: its journal goes, and
  // the file is what it wrote.
  std::thread finish([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::unlink(journal.c_str());
  });
  auto file = OpenFile(path, PageFile::Mode::kReadOnly);
  finish.join();
  EXPECT_EQ(file->JournalRecovery(), PageFile::Recovery::kNone);
  EXPECT_EQ(FileBytes(path), c.after);
}

TEST(PageFile, AReadOnlyFileOrFolderIsAClearErrorAtEnableWriting) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::vector<uint8_t> bytes = PatternFile(4);
  WriteFileBytes(path, bytes);
  std::string what;

  ::chmod(path.c_str(), 0444);
  auto file = OpenFile(path, PageFile::Mode::kReadOnly);
  EXPECT_EQ(ErrorOf([&] { file->EnableWriting(); }, &what), error_numbers::kReadOnly);
  EXPECT_NE(what.find("the file is read-only"), std::string::npos) << what;
  EXPECT_FALSE(file->Writable());
  EXPECT_EQ(PageOf(*file, 1), PagePattern(1)) << "still readable";
  ::chmod(path.c_str(), 0644);

  ::chmod(dir.Path().c_str(), 0555);
  file = OpenFile(path, PageFile::Mode::kReadOnly);
  EXPECT_EQ(ErrorOf([&] { file->EnableWriting(); }, &what), error_numbers::kReadOnly);
  EXPECT_NE(what.find("its folder is read-only"), std::string::npos) << what;
  ::chmod(dir.Path().c_str(), 0755);
  EXPECT_EQ(FileBytes(path), bytes);
  EXPECT_FALSE(Exists(PageFile::JournalPath(path)));

  // Changed by someone else since it was opened: refused, not overwritten.
  file = OpenFile(path, PageFile::Mode::kReadOnly);
  std::vector<uint8_t> grown = bytes;
  grown.resize(bytes.size() + kPage, 1);
  WriteFileBytes(path, grown);
  EXPECT_EQ(ErrorOf([&] { file->EnableWriting(); }, &what), error_numbers::kFileInUse);
  EXPECT_NE(what.find("changed by another program since it was opened"), std::string::npos) << what;
  EXPECT_EQ(FileBytes(path), grown);
}

// The changes one checkpoint of the fault test brings to its file: more
// pages than one batch of journal records, in several runs, and appended ones.
void MakeChanges(PageFile& file) {
  file.BeginStatement();
  for (uint32_t p = 1; p < 200; p += (p < 100 ? 1 : 9)) file.Modify(p)[p % kPage] ^= 0xFF;
  for (int k = 0; k < 6; ++k) std::memset(file.Modify(file.AppendPage()), 0x40 + k, kPage);
  file.CommitStatement();
}

TEST(PageFile, AFailedWriteAnywhereInACheckpointLeavesTheFileAsItWas) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  const std::vector<uint8_t> before = PatternFile(200);

  // The intended file, and the number of writes it takes.
  WriteFileBytes(path, before);
  WriteFaults counter;
  counter.fail_at = INT_MAX;
  {
    auto file = OpenFile(path, PageFile::Mode::kReadOnly, true);
    file->EnableWriting();
    MakeChanges(*file);
    file->SetWriteFaults(&counter);
    file->Checkpoint();
  }
  const std::vector<uint8_t> intended = FileBytes(path);
  ASSERT_NE(intended, before);
  ASSERT_GE(counter.count, 8) << "journal header, record batches, hot header, page runs";

  int failures = 0;
  for (int error : {ENOSPC, 0}) {
    for (int at = 1; at <= counter.count; ++at) {
      SCOPED_TRACE("write " + std::to_string(at) + (error ? " fails with " : " is short") +
                   (error ? std::strerror(error) : ""));
      WriteFileBytes(path, before);
      auto file = OpenFile(path, PageFile::Mode::kReadOnly, true);
      file->EnableWriting();
      MakeChanges(*file);
      const size_t dirty = file->DirtyPages();
      const std::vector<uint8_t> page150 = PageOf(*file, 150);
      WriteFaults faults;
      faults.fail_at = at;
      faults.error = error;
      file->SetWriteFaults(&faults);
      EXPECT_THROW(file->Checkpoint(), JetError);
      ++failures;
      EXPECT_EQ(FileBytes(path), before);
      EXPECT_FALSE(Exists(journal));
      // The changes are still there to be written.
      EXPECT_EQ(file->DirtyPages(), dirty);
      EXPECT_EQ(file->PageCount(), 206u);
      EXPECT_EQ(PageOf(*file, 150), page150);
      file->SetWriteFaults(nullptr);
      file->Checkpoint();
      EXPECT_EQ(FileBytes(path), intended);
      if (::testing::Test::HasFailure()) return;  // one position's story is enough
    }
  }
  EXPECT_EQ(failures, 2 * counter.count);
  std::printf("%d write positions of one checkpoint failed each way\n", counter.count);
}

// Two statements on a file of 20 numbered pages: the first changes pages 2
// and 3 and is committed but not checkpointed; the second, with a spill limit
// of 4 pages, changes page 3 and 5 and appends 12 pages, spilling as it goes.
struct SpillCase {
  static constexpr uint32_t kPages = 20;
  std::vector<uint8_t> original = PatternFile(kPages);
  // The file once the first statement is in it.
  std::vector<uint8_t> first;
  // The file once both are.
  std::vector<uint8_t> both;

  SpillCase() {
    first = original;
    for (uint32_t p : {2u, 3u}) {
      std::vector<uint8_t> page = PagePattern(p, 1);
      std::copy(page.begin(), page.end(), first.begin() + p * kPage);
    }
    both = first;
    for (uint32_t p : {3u, 5u}) {
      std::vector<uint8_t> page = PagePattern(p, 2);
      std::copy(page.begin(), page.end(), both.begin() + p * kPage);
    }
    for (uint32_t p = kPages; p < kPages + 12; ++p) {
      std::vector<uint8_t> page = PagePattern(p, 2);
      both.insert(both.end(), page.begin(), page.end());
    }
  }

  static void Put(PageFile& file, uint32_t p, uint8_t salt) {
    std::vector<uint8_t> page = PagePattern(p, salt);
    std::memcpy(file.Modify(p), page.data(), kPage);
  }

  static void First(PageFile& file) {
    file.BeginStatement();
    Put(file, 2, 1);
    Put(file, 3, 1);
    file.CommitStatement();
  }

  // The second statement's changes, up to and including `stop_after` of its
  // 14 steps (a spill may come after each); the statement stays open.
  static void Second(PageFile& file, int stop_after = 14) {
    file.SetSpillLimit(4);
    file.BeginStatement();
    int step = 0;
    auto next = [&] {
      file.SpillIfLarge();
      EXPECT_LE(file.DirtyPages(), 4u) << "a spill leaves nothing held";
      return ++step < stop_after;
    };
    Put(file, 3, 2);
    if (!next()) return;
    Put(file, 5, 2);
    if (!next()) return;
    for (uint32_t k = 0; k < 12; ++k) {
      uint32_t p = file.AppendPage();
      Put(file, p, 2);
      if (!next()) return;
    }
  }
};

TEST(PageFile, AStatementThatSpillsCommitsWholeAndAKilledOneLeavesTheLastCheckpoint) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  SpillCase c;
  WriteFileBytes(path, c.original);
  auto file = OpenFile(path, PageFile::Mode::kReadOnly);
  file->EnableWriting();
  SpillCase::First(*file);
  SpillCase::Second(*file);
  EXPECT_TRUE(file->StatementSpilled());
  EXPECT_EQ(file->Checkpoints(), 1u) << "the state before the statement was checkpointed";
  EXPECT_TRUE(Exists(journal)) << "the journal stays hot while the file holds spilled pages";
  for (uint32_t p = 0; p < 32; ++p) ASSERT_EQ(PageOf(*file, p), StoredPage(c.both, p)) << p;

  // A process killed now: its file and journal, opened by the next process.
  const std::string copy = dir / "killed";
  WriteFileBytes(copy, FileBytes(path));
  WriteFileBytes(PageFile::JournalPath(copy), FileBytes(journal));
  ASSERT_NE(FileBytes(copy), c.first) << "spilled pages are in the file";
  EXPECT_EQ(OpenFile(copy, PageFile::Mode::kReadOnly)->JournalRecovery(),
            PageFile::Recovery::kRestored);
  EXPECT_EQ(FileBytes(copy), c.first) << "the next open finds the last checkpoint";

  file->CommitStatement();
  file->Checkpoint();
  EXPECT_FALSE(Exists(journal));
  EXPECT_EQ(FileBytes(path), c.both);
  EXPECT_EQ(file->Checkpoints(), 2u);

  // A spilled statement whose process ends without a checkpoint: the file
  // is put back as a later open would put it.
  WriteFileBytes(path, c.original);
  file = OpenFile(path, PageFile::Mode::kReadOnly);
  file->EnableWriting();
  SpillCase::First(*file);
  SpillCase::Second(*file);
  file.reset();
  EXPECT_FALSE(Exists(journal));
  EXPECT_EQ(FileBytes(path), c.first);
}

TEST(PageFile, ASpilledStatementRollsBackToTheStateBeforeItEvenWhenAWriteFails) {
  ScratchDir dir;
  const std::string path = dir / "db";
  const std::string journal = PageFile::JournalPath(path);
  SpillCase c;

  // Writes taken by the whole second statement, spills included.
  WriteFileBytes(path, c.original);
  WriteFaults counter;
  counter.fail_at = INT_MAX;
  {
    auto file = OpenFile(path, PageFile::Mode::kReadOnly);
    file->EnableWriting();
    SpillCase::First(*file);
    file->SetWriteFaults(&counter);
    SpillCase::Second(*file);
  }
  ASSERT_GE(counter.count, 10);

  // Rolled back after every step, and with every write failing in turn.
  for (int stop = 1; stop <= 14; ++stop) {
    SCOPED_TRACE("rolled back after step " + std::to_string(stop));
    WriteFileBytes(path, c.original);
    auto file = OpenFile(path, PageFile::Mode::kReadOnly);
    file->EnableWriting();
    SpillCase::First(*file);
    SpillCase::Second(*file, stop);
    file->RollbackStatement();
    EXPECT_FALSE(Exists(journal));
    EXPECT_EQ(file->PageCount(), SpillCase::kPages);
    for (uint32_t p = 0; p < SpillCase::kPages; ++p)
      ASSERT_EQ(PageOf(*file, p), StoredPage(c.first, p)) << p;
    file->Checkpoint();
    EXPECT_EQ(FileBytes(path), c.first);
  }
  for (int error : {ENOSPC, 0}) {
    for (int at = 1; at <= counter.count; ++at) {
      SCOPED_TRACE("write " + std::to_string(at) + (error ? " fails" : " is short"));
      WriteFileBytes(path, c.original);
      auto file = OpenFile(path, PageFile::Mode::kReadOnly);
      file->EnableWriting();
      SpillCase::First(*file);
      WriteFaults faults;
      faults.fail_at = at;
      faults.error = error;
      file->SetWriteFaults(&faults);
      EXPECT_THROW(SpillCase::Second(*file), JetError);
      file->SetWriteFaults(nullptr);
      file->RollbackStatement();
      EXPECT_FALSE(Exists(journal));
      for (uint32_t p = 0; p < SpillCase::kPages; ++p)
        ASSERT_EQ(PageOf(*file, p), StoredPage(c.first, p)) << p;
      // The file is the last checkpoint's or already the first statement's;
      // a checkpoint makes it the first statement's.
      const std::vector<uint8_t> now = FileBytes(path);
      EXPECT_TRUE(now == c.original || now == c.first);
      file->Checkpoint();
      EXPECT_EQ(FileBytes(path), c.first);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace jet
