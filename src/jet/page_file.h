// The database file as a sequence of fixed-size pages: a read cache, changes
// held in memory, statements that commit or roll back, and checkpoints that
// bring the changes to the file through a rollback journal.
//
// Page p lives at byte p * page_size. A page decoder (set once the header is
// known) turns a page as stored into a page as the decoders read it, and an
// encoder does the reverse before a page is written: this is where encoded
// databases are deciphered and enciphered, so no layer above ever sees a
// ciphered page.
//
// Changes. Modify() hands out a private copy of a page; the copy is held in
// memory ("dirty") until the next checkpoint and is never evicted. Pages are
// copied on write, so a PageBuffer a reader holds keeps the bytes it had. A
// statement (BeginStatement .. CommitStatement or RollbackStatement) keeps,
// for each page it touches first, the page as it was before; a rollback puts
// those back and forgets pages appended since, so a failed statement leaves
// nothing behind.
//
// Checkpoints, and the journal. The file on disk always holds the state of
// the last checkpoint. A checkpoint follows these rules, in this order:
//
//   J1  The journal "<file>-journal" is written: a header with a record count
//       of zero, then one record per changed page that exists in the file,
//       holding the page as it is stored there now (ciphered where the file
//       is), then the journal is synced to disk.
//   J2  The header is rewritten with the true record count and synced. From
//       this moment the journal is "hot": it can put the file back.
//   J3  The changed pages are written to the file, which grows if pages were
//       appended, and the file is synced.
//   J4  The journal is deleted and its folder synced. The checkpoint is done.
//
// A statement too large to hold in memory (a copy of a big table) spills:
// once it holds more changed pages than the spill limit, it first checkpoints
// the state before it (so that the window since the last checkpoint begins
// with the statement), then journals the stored form of its changed pages and
// writes them to the file ahead of time, under J1 and J2: a page reaches the
// file only after its original is in a synced, hot journal. The journal stays
// open, its records growing with each spill, until the checkpoint that ends
// the window (J3, J4) or a rollback, which writes the journal back. So a
// killed process still leaves a file that the next open puts back to the last
// checkpoint, and memory stays bounded whatever the statement's size.
//
// A process that dies before J2 leaves a journal with no records; the file is
// untouched and the journal is simply removed. A process that dies between J2
// and J4 leaves a hot journal: the next open (by any Vellquist process, a
// read-only one included) writes the records back, cuts the file to its old
// length, syncs it and removes the journal, so the file is again exactly the
// last checkpoint. Where the file cannot be written (a read-only file or
// medium), a read-only open reads through the journal instead: its pages
// stand in for the file's, and the file is left alone.
//
// Journal layout (little-endian):
//
//   header (32 bytes)  "VQJRNL01", u32 page size, u32 record count,
//                      u64 file size before the checkpoint, u32 salt,
//                      u32 checksum of the preceding 28 bytes
//   record             u32 page number, the page's stored bytes, u32 checksum
//                      of page number, bytes and salt
//
// When a save fails. A checkpoint or spill that cannot be written (a full
// disk, an I/O error, a quota, a file another program has changed or replaced
// since we last wrote it) is a SaveFailed, and these rules hold:
//
//   S1  The file stays exactly as the last checkpoint left it: the journal
//       puts back whatever part of the failed write reached it, at once or,
//       where even that fails, at the next open.
//   S2  The changes are not kept for a retry: the database discards every
//       change since the last checkpoint (DiscardChanges), so that memory,
//       the file and what the caller is told all agree. The statements since
//       that checkpoint, the one that was running included, are lost, and
//       the error counts them (SaveFailed::LostStatements), so the caller can
//       name each one. Nothing the caller was told had succeeded is lost
//       without this report.
//   S3  The file stays open and writable: a later statement starts from the
//       last checkpoint and is saved if its own checkpoint succeeds (room may
//       have been made meanwhile). Callers that send many statements stop at
//       the first SaveFailed rather than send more into a file that cannot
//       be written.
//
// Before the first write, the database checks the file for damage that a
// write would make worse (integrity_check.h) and refuses every write to a
// file that fails, without touching it.
//
// A journal is told from one a live writer is still using by the write lock:
// while a process changes a file it holds an exclusive flock() on it, so a
// second writer is refused at once ("... is being changed by another
// program") and a reader never restores a journal its writer is still using.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "jet/bytes.h"
#include "jet/error.h"

namespace jet {

// One page's bytes, shared between the cache and its readers.
using PageBuffer = std::shared_ptr<const std::vector<uint8_t>>;

// Something pages can be read from: the file itself, or a store that holds
// changes on top of it. The decoders above read through this.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // Page `page_number`, decoded. A page beyond the end of the file is a JetError.
  virtual PageBuffer Read(uint32_t page_number) = 0;
  // Pages in the file (a trailing partial page does not count).
  virtual uint32_t PageCount() const = 0;
};

// Turns a stored page into its plain form, or back, in place.
using PageCodec = std::function<void(uint32_t page_number, uint8_t* data, size_t size)>;
using PageDecoder = PageCodec;

// Failures to inject into the file's writes, for tests of what a full disk or
// a short write leaves behind.
struct WriteFaults {
  // The write call (counted from 1, over journal and file writes) that fails;
  // 0 = none.
  int fail_at = 0;
  // The error it fails with (ENOSPC, EIO, ...); 0 = a short write of half the bytes.
  int error = 0;
  // Writes made so far.
  int count = 0;
};

// An open database file read, and changed, page by page. Not thread-safe.
class PageFile : public PageSource {
 public:
  enum class Mode { kReadOnly, kReadWrite };

  // Opens `path`; a missing file, a directory or an unreadable file is a
  // JetError. A journal left by a process that died is dealt with here.
  PageFile(const std::string& path, Mode mode);
  ~PageFile() override;
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // The file's size in bytes when opened.
  uint64_t FileSize() const { return file_size_; }
  // The path the file was opened from, for messages.
  const std::string& Path() const { return path_; }
  // What the open did about a journal left behind: nothing, restored the file
  // from it, or reads through it (the file could not be written).
  enum class Recovery { kNone, kRestored, kReadThrough };
  Recovery JournalRecovery() const { return recovery_; }

  // True while the file at Path() is the one opened, unchanged by others
  // since it was opened or last checkpointed.
  bool UnchangedOnDisk() const;

  // Reads `length` bytes at `offset` as stored, bypassing pages and cache; a
  // short read is an error.
  void ReadRaw(uint64_t offset, uint8_t* out, size_t length) const;

  // Fixes the page size and the codecs once the header has been read.
  void SetLayout(uint32_t page_size, PageCodec decoder, PageCodec encoder = {});
  uint32_t PageSize() const { return page_size_; }
  // Whole pages, appended ones included.
  uint32_t PageCount() const override { return page_count_; }

  // Page `page_number`, decoded, changes included. Beyond the end: a JetError.
  PageBuffer Read(uint32_t page_number) override;

  // --- Writing -------------------------------------------------------------

  // Makes the file writable: reopens it for writing and takes the write lock.
  // A read-only file, a file another program is changing, or one that has
  // changed since it was opened, is a JetError and changes nothing.
  void EnableWriting();
  bool Writable() const { return writable_; }

  // Starts a statement. REQUIRES: Writable(), no statement running.
  void BeginStatement();
  // Keeps the statement's changes (in memory, until the next checkpoint).
  void CommitStatement();
  // Forgets the statement's changes.
  void RollbackStatement();
  bool InStatement() const { return in_statement_; }

  // Page `page_number`'s bytes for changing. REQUIRES: InStatement().
  uint8_t* Modify(uint32_t page_number);
  // A new page of zeros at the end of the file. REQUIRES: InStatement().
  // Growing past the format's 2 GB limit is a JetError.
  uint32_t AppendPage();

  // Brings every committed change (and the running statement's, if one runs)
  // to the file under the journal rules above. On failure the file is put
  // back as the last checkpoint left it and a SaveFailed says what went
  // wrong; the changes stay in memory until the database discards them (S2).
  void Checkpoint();
  // Forgets every change since the last checkpoint, the running statement's
  // included, and ends the statement: memory holds what the file holds.
  void DiscardChanges();
  // Changed pages held in memory.
  size_t DirtyPages() const { return dirty_.size(); }
  // Checkpoints completed since the file was opened: a caller learns from it
  // whether a statement ended in one.
  uint64_t Checkpoints() const { return checkpoints_; }

  // Where a statement holds more than the spill limit of changed pages,
  // brings them to the file under the journal (see above) and lets them go.
  // Called between rows; a write that fails is a SaveFailed. REQUIRES: no
  // pointer from Modify() is still in use.
  void SpillIfLarge();
  // Changed pages a statement may hold before it spills.
  void SetSpillLimit(size_t pages) { spill_limit_ = pages; }
  // True while the running statement has spilled pages to the file.
  bool StatementSpilled() const { return statement_spilled_; }

  // Test hook: failures to inject into the file and journal writes.
  void SetWriteFaults(WriteFaults* faults) { faults_ = faults; }

  // The journal's path for a database at `path`.
  static std::string JournalPath(const std::string& path);

 private:
  using MutablePage = std::shared_ptr<std::vector<uint8_t>>;

  PageBuffer ReadClean(uint32_t page_number);
  // Runs a checkpoint or spill, turning its failures into SaveFailed.
  template <typename Body>
  void AsSaveFailure(Body&& body);
  void Spill();
  // Refuses to write a file another program has changed or replaced.
  void RequireUnchanged() const;
  // A private copy of `source`, in a spare buffer where there is one.
  MutablePage CopyOf(const std::vector<uint8_t>& source);
  void Evict();
  void HandleJournal(Mode mode);
  bool RestoreFromJournal(int fd, bool write_back);
  // Journals the stored form of each page of `pages` (sorted) that the file
  // held at the last checkpoint and the journal holds not yet, and leaves the
  // journal hot and synced (J1, J2).
  void JournalOriginals(const std::vector<uint32_t>& pages);
  // Writes `pages` (sorted) into the file, encoded, from `content`.
  void WritePages(const std::vector<uint32_t>& pages,
                  const std::function<const std::vector<uint8_t>&(uint32_t)>& content);
  // A whole checkpoint (J1 to J4) of `pages` (sorted), from `content`, after
  // which the file has `page_count` pages. On failure the file is put back
  // as the last checkpoint left it, unless the window has spilled, when the
  // hot journal stays for a retry, a rollback or the next open.
  void WriteCheckpoint(const std::vector<uint32_t>& pages, uint32_t page_count,
                       const std::function<const std::vector<uint8_t>&(uint32_t)>& content);
  // Removes the journal of a finished window (J4).
  void RemoveJournal();
  // Forgets an open journal without touching it on disk.
  void ForgetJournal();
  // Writes the journal's records back over the spilled pages; on failure the
  // journal stays hot for the next open.
  void RestoreSpilledPages();
  // The file's modification time and size, taken again after we wrote it.
  void NoteOwnWrite();
  // The changed pages' numbers, in file order.
  std::vector<uint32_t> SortedDirtyPages() const;
  // Hands changed pages that are now as stored to the clean cache.
  void MakeClean(const std::vector<uint32_t>& pages);
  void WriteAll(int fd, const uint8_t* data, size_t length, uint64_t offset);
  void SyncFile(int fd, const char* what);
  void SyncFolder();

  std::string path_;
  int fd_ = -1;
  uint64_t file_size_ = 0;
  uint32_t page_size_ = 0;
  uint32_t page_count_ = 0;
  // Pages in the file at the last checkpoint, and pages in it now (more,
  // once a statement has spilled appended pages).
  uint32_t stored_pages_ = 0;
  uint32_t disk_pages_ = 0;
  PageCodec decoder_;
  PageCodec encoder_;
  Recovery recovery_ = Recovery::kNone;
  bool writable_ = false;
  uint64_t opened_mtime_ns_ = 0;
  uint64_t opened_inode_ = 0;

  // Least recently used clean pages at the back.
  static constexpr size_t kCachePages = 256;
  static constexpr uint32_t kReadAhead = 16;
  std::vector<uint8_t> read_buffer_;
  std::list<std::pair<uint32_t, PageBuffer>> lru_;
  std::unordered_map<uint32_t, std::list<std::pair<uint32_t, PageBuffer>>::iterator> index_;

  // Pages read through a journal that could not be written back.
  std::unordered_map<uint32_t, PageBuffer> journal_pages_;

  // Changed pages since the last checkpoint, and the running statement's undo:
  // for each page it touched first, the changed page as it was before (null:
  // the page was clean).
  std::unordered_map<uint32_t, MutablePage> dirty_;
  std::unordered_map<uint32_t, MutablePage> undo_;
  bool in_statement_ = false;
  uint32_t statement_page_count_ = 0;
  // Page buffers no one holds any more, kept for the next copies: a stream of
  // one-row statements copies the same few pages each time.
  static constexpr size_t kSparePages = 64;
  std::vector<MutablePage> spare_pages_;
  // The checkpoint's journal records and runs of pages, kept between
  // checkpoints so each does not fault in fresh memory.
  std::vector<uint8_t> write_buffer_;

  // The journal of the window since the last checkpoint, while one is open:
  // during a checkpoint, or from a statement's first spill to the end of the
  // window. Records hold the pages in `journaled_`.
  int journal_fd_ = -1;
  bool journal_hot_ = false;
  uint32_t journal_salt_ = 0;
  uint32_t journal_records_ = 0;
  std::unordered_set<uint32_t> journaled_;
  bool statement_spilled_ = false;
  // A spilled statement whose rollback could not write the journal back: the
  // journal stays for the next open, and nothing more is written.
  bool broken_ = false;
  static constexpr size_t kSpillPages = 2048;
  size_t spill_limit_ = kSpillPages;
  uint64_t checkpoints_ = 0;

  WriteFaults* faults_ = nullptr;
};

// A view of a whole page.
inline ByteView View(const PageBuffer& page) {
  return ByteView(page->data(), page->size());
}

}  // namespace jet
