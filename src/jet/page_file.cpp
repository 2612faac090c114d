#include "jet/page_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

namespace jet {
namespace {

constexpr char kJournalMagicCold[8] = {'V', 'Q', 'J', 'R', 'N', 'L', '0', '0'};
constexpr char kJournalMagicHot[8] = {'V', 'Q', 'J', 'R', 'N', 'L', '0', '1'};
constexpr size_t kJournalHeader = 32;
// The largest file the formats allow.
constexpr uint64_t kMaxFileBytes = 2ull * 1024 * 1024 * 1024;

uint32_t Checksum(const uint8_t* data, size_t size, uint32_t seed) {
  uint32_t h = 2166136261u ^ seed;
  for (size_t k = 0; k < size; ++k) {
    h ^= data[k];
    h *= 16777619u;
  }
  return h;
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

void PutLe64(uint8_t* p, uint64_t v) {
  for (int k = 0; k < 8; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

uint64_t MtimeNs(const struct stat& st) {
  return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
         static_cast<uint64_t>(st.st_mtim.tv_nsec);
}

[[noreturn]] void ThrowInUse(const std::string& path) {
  throw JetError(
      error_numbers::kFileInUse,
      "'" + path + "' is being changed by another program; try again when it has finished.");
}

// Reads exactly `length` bytes at `offset`; false on a short read.
bool ReadExactly(int fd, uint8_t* out, size_t length, uint64_t offset) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A parsed journal: its header and, once read, its records.
struct Journal {
  bool hot = false;
  uint32_t page_size = 0;
  uint32_t records = 0;
  uint64_t file_size = 0;
  uint32_t salt = 0;
};

// Reads the journal header of `fd`; false when there is none worth restoring
// (no full header, a cold one, or one that fails its checksum).
bool ReadJournalHeader(int fd, Journal& j) {
  uint8_t h[kJournalHeader];
  if (!ReadExactly(fd, h, sizeof h, 0)) return false;
  if (Checksum(h, 28, 0) != Le32(h + 28)) return false;
  if (std::memcmp(h, kJournalMagicHot, 8) != 0) return false;
  j.hot = true;
  j.page_size = Le32(h + 8);
  j.records = Le32(h + 12);
  j.file_size = Le64(h + 16);
  j.salt = Le32(h + 24);
  if (j.page_size != 2048 && j.page_size != 4096) return false;
  return true;
}

}  // namespace

std::string PageFile::JournalPath(const std::string& path) {
  return path + "-journal";
}

PageFile::PageFile(const std::string& path, Mode mode) : path_(path) {
  fd_ = ::open(path.c_str(), (mode == Mode::kReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd_ < 0) {
    throw JetError(error_numbers::kCorrupt,
                   "Could not open '" + path + "': " + std::strerror(errno) + ".");
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw JetError(error_numbers::kCorrupt, "'" + path + "' is not a database file.");
  }
  try {
    HandleJournal(mode);
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
  if (::fstat(fd_, &st) == 0) {
    if (recovery_ != Recovery::kReadThrough) file_size_ = static_cast<uint64_t>(st.st_size);
    opened_mtime_ns_ = MtimeNs(st);
    opened_inode_ = static_cast<uint64_t>(st.st_ino);
  }
}

PageFile::~PageFile() {
  if (journal_fd_ >= 0) {
    // A window that spilled and was never checkpointed: put the file back as
    // the last checkpoint left it, as the next open would.
    ForgetJournal();
    try {
      RestoreFromJournal(fd_, true);
    } catch (...) {
    }
  }
  if (fd_ >= 0) ::close(fd_);  // also releases the write lock
}

void PageFile::HandleJournal(Mode mode) {
  const std::string journal = JournalPath(path_);
  if (::access(journal.c_str(), F_OK) != 0) return;
  // A journal whose writer is alive is in use; wait a little for it to go.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return;  // no locks here: leave it be
    if (::access(journal.c_str(), F_OK) != 0) return;
    if (std::chrono::steady_clock::now() > deadline) ThrowInUse(path_);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  struct Unlock {
    int fd;
    ~Unlock() { ::flock(fd, LOCK_UN); }
  } unlock{fd_};

  // A file without write permission is not written here even where the system
  // would let this process do it (as root): it is read through its journal.
  struct stat st {};
  bool may_write = ::fstat(fd_, &st) == 0 && (st.st_mode & 0222) != 0;
  int writable_fd = mode == Mode::kReadWrite ? fd_
                    : may_write              ? ::open(path_.c_str(), O_RDWR | O_CLOEXEC)
                                             : -1;
  bool restored = RestoreFromJournal(writable_fd >= 0 ? writable_fd : fd_, writable_fd >= 0);
  if (writable_fd >= 0 && writable_fd != fd_) ::close(writable_fd);
  if (restored) recovery_ = writable_fd >= 0 ? Recovery::kRestored : Recovery::kReadThrough;
}

bool PageFile::RestoreFromJournal(int fd, bool write_back) {
  const std::string journal = JournalPath(path_);
  int jfd = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
  if (jfd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{jfd};
  Journal j;
  if (!ReadJournalHeader(jfd, j)) {
    // Cold or torn before it was complete: the file was never touched.
    if (write_back) {
      ::unlink(journal.c_str());
      SyncFolder();
    }
    return false;
  }
  // Check every record before writing any, so a damaged journal writes nothing.
  const size_t record = 8 + static_cast<size_t>(j.page_size);
  std::vector<uint8_t> buffer(record);
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pages;
  for (uint32_t k = 0; k < j.records; ++k) {
    if (!ReadExactly(jfd, buffer.data(), record, kJournalHeader + k * record))
      ThrowCorrupt("the journal '" + journal + "' that would restore the file is cut short");
    uint32_t page = Le32(buffer.data());
    uint32_t sum = Le32(buffer.data() + 4 + j.page_size);
    if (Checksum(buffer.data(), 4 + j.page_size, j.salt) != sum ||
        (static_cast<uint64_t>(page) + 1) * j.page_size > j.file_size)
      ThrowCorrupt("the journal '" + journal + "' that would restore the file is damaged");
    pages.emplace_back(page, std::vector<uint8_t>(buffer.begin() + 4, buffer.end() - 4));
  }
  if (!write_back) {
    // Read through: the journal's pages stand in for the file's, as stored.
    for (auto& [page, bytes] : pages)
      journal_pages_[page] = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    file_size_ = j.file_size;
    return true;
  }
  for (auto& [page, bytes] : pages) {
    uint64_t offset = static_cast<uint64_t>(page) * j.page_size;
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n =
          ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        ThrowCorrupt("the file could not be restored from its journal: " +
                     std::string(std::strerror(errno)));
      done += static_cast<size_t>(n);
    }
  }
  if (::ftruncate(fd, static_cast<off_t>(j.file_size)) != 0 || ::fsync(fd) != 0)
    ThrowCorrupt("the file could not be restored from its journal: " +
                 std::string(std::strerror(errno)));
  ::unlink(journal.c_str());
  SyncFolder();
  return true;
}

bool PageFile::UnchangedOnDisk() const {
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) return false;
  return static_cast<uint64_t>(st.st_ino) == opened_inode_ && MtimeNs(st) == opened_mtime_ns_ &&
         (recovery_ == Recovery::kReadThrough || static_cast<uint64_t>(st.st_size) == file_size_);
}

void PageFile::ReadRaw(uint64_t offset, uint8_t* out, size_t length) const {
  if (!ReadExactly(fd_, out, length, offset)) {
    ThrowCorrupt("could not read " + std::to_string(length) + " bytes at offset " +
                 std::to_string(offset) + " (the file may be truncated)");
  }
  if (!journal_pages_.empty() && page_size_ != 0) {
    // Reading through a journal: its pages replace the file's.
    for (uint64_t p = offset / page_size_; p * page_size_ < offset + length; ++p) {
      auto it = journal_pages_.find(static_cast<uint32_t>(p));
      if (it == journal_pages_.end()) continue;
      uint64_t from = std::max<uint64_t>(offset, p * page_size_);
      uint64_t to = std::min<uint64_t>(offset + length, (p + 1) * page_size_);
      std::memcpy(out + (from - offset), it->second->data() + (from - p * page_size_), to - from);
    }
  } else if (!journal_pages_.empty()) {
    auto it = journal_pages_.find(0);
    if (it != journal_pages_.end() && offset < it->second->size())
      std::memcpy(out, it->second->data() + offset,
                  std::min<size_t>(length, it->second->size() - offset));
  }
}

void PageFile::SetLayout(uint32_t page_size, PageCodec decoder, PageCodec encoder) {
  page_size_ = page_size;
  page_count_ = static_cast<uint32_t>(file_size_ / page_size);
  stored_pages_ = page_count_;
  disk_pages_ = page_count_;
  decoder_ = std::move(decoder);
  encoder_ = std::move(encoder);
  lru_.clear();
  index_.clear();
  dirty_.clear();
}

PageBuffer PageFile::Read(uint32_t page_number) {
  if (!dirty_.empty()) {
    auto it = dirty_.find(page_number);
    if (it != dirty_.end()) return it->second;
  }
  return ReadClean(page_number);
}

PageBuffer PageFile::ReadClean(uint32_t page_number) {
  auto it = index_.find(page_number);
  if (it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->second;
  }
  if (page_number >= disk_pages_) {
    ThrowCorrupt("page " + std::to_string(page_number) + " lies beyond the end of the file (" +
                 std::to_string(page_count_) + " pages)");
  }
  // Read ahead: scans and long-value chains mostly want the following pages
  // next, and one read of a run costs little more than one of a page.
  uint32_t run = 1;
  while (run < kReadAhead && page_number + run < disk_pages_ &&
         index_.find(page_number + run) == index_.end())
    ++run;
  read_buffer_.resize(static_cast<size_t>(run) * page_size_);
  ReadRaw(static_cast<uint64_t>(page_number) * page_size_, read_buffer_.data(),
          read_buffer_.size());
  PageBuffer wanted;
  for (uint32_t k = run; k-- > 0;) {
    auto buffer = std::make_shared<std::vector<uint8_t>>(
        read_buffer_.begin() + static_cast<ptrdiff_t>(k) * page_size_,
        read_buffer_.begin() + static_cast<ptrdiff_t>(k + 1) * page_size_);
    if (decoder_) decoder_(page_number + k, buffer->data(), buffer->size());
    PageBuffer page = std::move(buffer);
    lru_.emplace_front(page_number + k, page);
    index_[page_number + k] = lru_.begin();
    if (k == 0) wanted = page;
  }
  Evict();
  return wanted;
}

void PageFile::Evict() {
  while (lru_.size() > kCachePages) {
    index_.erase(lru_.back().first);
    lru_.pop_back();
  }
}

void PageFile::EnableWriting() {
  if (writable_) return;
  if (recovery_ == Recovery::kReadThrough) {
    throw JetError(error_numbers::kReadOnly,
                   "'" + path_ +
                       "' cannot be changed: it still needs restoring from its journal, and the "
                       "file cannot be written.");
  }
  // A file or folder without write permission is read-only for us even where
  // the system would let this process write it (as root): the user marked it so.
  struct stat mode {};
  if (::stat(path_.c_str(), &mode) == 0 && (mode.st_mode & 0222) == 0) {
    throw JetError(error_numbers::kReadOnly,
                   "'" + path_ + "' cannot be changed: the file is read-only.");
  }
  struct stat folder {};
  if (::stat(FolderOf(path_).c_str(), &folder) == 0 && (folder.st_mode & 0222) == 0) {
    throw JetError(error_numbers::kReadOnly,
                   "'" + path_ +
                       "' cannot be changed: its folder is read-only, so the journal that keeps "
                       "the file whole during a change cannot be made there.");
  }
  int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    int e = errno;
    throw JetError(error_numbers::kReadOnly, "'" + path_ + "' cannot be changed: " +
                                                 (e == EACCES || e == EROFS || e == EPERM
                                                      ? std::string("the file is read-only")
                                                      : std::string(std::strerror(e))) +
                                                 ".");
  }
  if (::access(FolderOf(path_).c_str(), W_OK) != 0) {
    ::close(fd);
    throw JetError(error_numbers::kReadOnly,
                   "'" + path_ +
                       "' cannot be changed: its folder is read-only, so the journal that keeps "
                       "the file whole during a change cannot be made there.");
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    ThrowInUse(path_);
  }
  struct stat st {};
  bool changed = ::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) != file_size_ ||
                 MtimeNs(st) != opened_mtime_ns_ ||
                 static_cast<uint64_t>(st.st_ino) != opened_inode_;
  if (!changed && ::access(JournalPath(path_).c_str(), F_OK) == 0) {
    // Left by a writer that died after this file was opened.
    int saved = fd_;
    fd_ = fd;
    try {
      changed = RestoreFromJournal(fd, true);
    } catch (...) {
      fd_ = saved;
      ::close(fd);
      throw;
    }
    fd_ = saved;
  }
  if (changed) {
    ::close(fd);
    throw JetError(error_numbers::kFileInUse,
                   "'" + path_ +
                       "' has been changed by another program since it was opened; open it "
                       "again to change it.");
  }
  ::close(fd_);
  fd_ = fd;
  writable_ = true;
}

void PageFile::BeginStatement() {
  if (!writable_) throw JetError(error_numbers::kReadOnly, "'" + path_ + "' is open read-only.");
  if (broken_) {
    throw JetError(error_numbers::kCorrupt,
                   "'" + path_ + "' could not be put back after a failed change; open it again.");
  }
  in_statement_ = true;
  statement_page_count_ = page_count_;
  if (undo_.bucket_count() > 1024) {
    std::unordered_map<uint32_t, MutablePage> fresh;
    undo_.swap(fresh);
  }
  undo_.clear();
}

void PageFile::CommitStatement() {
  in_statement_ = false;
  for (auto& [page, before] : undo_) {
    if (spare_pages_.size() >= kSparePages) break;
    if (before && before.use_count() == 1) spare_pages_.push_back(std::move(before));
  }
  undo_.clear();
}

PageFile::MutablePage PageFile::CopyOf(const std::vector<uint8_t>& source) {
  if (spare_pages_.empty() || spare_pages_.back()->size() != source.size())
    return std::make_shared<std::vector<uint8_t>>(source);
  MutablePage copy = std::move(spare_pages_.back());
  spare_pages_.pop_back();
  std::memcpy(copy->data(), source.data(), source.size());
  return copy;
}

void PageFile::RollbackStatement() {
  if (statement_spilled_) {
    // The file holds some of the statement's pages: write back the journal,
    // which returns it to the state before the statement.
    RestoreSpilledPages();
    DiscardChanges();
    return;
  }
  for (auto& [page, old] : undo_) {
    if (old) {
      dirty_[page] = old;
    } else {
      dirty_.erase(page);
    }
  }
  page_count_ = statement_page_count_;
  undo_.clear();
  in_statement_ = false;
}

uint8_t* PageFile::Modify(uint32_t page_number) {
  if (!in_statement_) throw std::logic_error("PageFile::Modify outside a statement");
  if (page_number >= page_count_) {
    ThrowCorrupt("page " + std::to_string(page_number) + " lies beyond the end of the file (" +
                 std::to_string(page_count_) + " pages)");
  }
  auto it = dirty_.find(page_number);
  auto [undo, first_touch] = undo_.try_emplace(page_number);
  if (first_touch) {
    // The statement's first change to the page: keep the page as it was for
    // a rollback, and change a copy.
    try {
      MutablePage before = it != dirty_.end() ? it->second : nullptr;
      PageBuffer source = before ? PageBuffer(before) : ReadClean(page_number);
      MutablePage copy = CopyOf(*source);
      uint8_t* data = copy->data();
      if (it != dirty_.end()) {
        it->second = std::move(copy);
      } else {
        dirty_.emplace(page_number, std::move(copy));
      }
      undo->second = std::move(before);
      return data;
    } catch (...) {
      undo_.erase(undo);
      throw;
    }
  }
  MutablePage& page = it->second;
  if (page.use_count() > 1) page = CopyOf(*page);
  return page->data();
}

uint32_t PageFile::AppendPage() {
  if (!in_statement_) throw std::logic_error("PageFile::AppendPage outside a statement");
  if ((static_cast<uint64_t>(page_count_) + 1) * page_size_ > kMaxFileBytes) {
    throw JetError(error_numbers::kDatabaseFull,
                   "The database '" + path_ + "' has reached the 2 GB size limit of its format.");
  }
  uint32_t page = page_count_++;
  dirty_[page] = std::make_shared<std::vector<uint8_t>>(page_size_, 0);
  undo_.emplace(page, nullptr);
  return page;
}

void PageFile::WriteAll(int fd, const uint8_t* data, size_t length, uint64_t offset) {
  if (faults_ && faults_->fail_at > 0 && ++faults_->count == faults_->fail_at) {
    if (faults_->error == 0) {
      // A short write: half the bytes land, then the call "succeeds" short.
      ssize_t half = ::pwrite(fd, data, length / 2, static_cast<off_t>(offset));
      (void)half;
      throw JetError(error_numbers::kDiskFull,
                     "Writing '" + path_ + "' stopped short; the disk may be full.");
    }
    errno = faults_->error;
    throw JetError(error_numbers::kDiskFull,
                   "Could not write '" + path_ + "': " + std::strerror(errno) + ".");
  }
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd, data + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = n < 0 ? errno : ENOSPC;
      throw JetError(
          e == ENOSPC || e == EDQUOT ? error_numbers::kDiskFull : error_numbers::kCorrupt,
          "Could not write '" + path_ + "': " + std::strerror(e) + ".");
    }
    done += static_cast<size_t>(n);
  }
}

void PageFile::SyncFile(int fd, const char* what) {
  if (::fsync(fd) != 0) {
    throw JetError(error_numbers::kDiskFull, std::string("Could not bring the ") + what + " of '" +
                                                 path_ + "' to disk: " + std::strerror(errno) +
                                                 ".");
  }
}

void PageFile::SyncFolder() {
  int dfd = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  ::fsync(dfd);
  ::close(dfd);
}

void PageFile::JournalOriginals(const std::vector<uint32_t>& pages) {
  const std::string journal = JournalPath(path_);
  const bool fresh = journal_fd_ < 0;
  if (fresh) {
    static std::mt19937 salts{std::random_device{}()};
    journal_salt_ = salts();
    journal_records_ = 0;
    journal_hot_ = false;
    journaled_.clear();
    journal_fd_ = ::open(journal.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (journal_fd_ < 0) {
      throw JetError(error_numbers::kReadOnly, "Could not create the journal '" + journal +
                                                   "': " + std::strerror(errno) + ".");
    }
  }
  const uint64_t old_size = static_cast<uint64_t>(stored_pages_) * page_size_;
  auto header = [&](bool hot, uint32_t records) {
    std::vector<uint8_t> h(kJournalHeader, 0);
    std::memcpy(h.data(), hot ? kJournalMagicHot : kJournalMagicCold, 8);
    PutLe32(h.data() + 8, page_size_);
    PutLe32(h.data() + 12, records);
    PutLe64(h.data() + 16, old_size);
    PutLe32(h.data() + 24, journal_salt_);
    PutLe32(h.data() + 28, Checksum(h.data(), 28, 0));
    return h;
  };
  std::vector<uint8_t> h;
  if (fresh) {
    h = header(false, 0);
    WriteAll(journal_fd_, h.data(), h.size(), 0);
  }
  // Records go after the ones already counted; a spill that failed half way
  // left nothing counted past them, so they are simply written over.
  const size_t record = 8 + static_cast<size_t>(page_size_);
  const size_t batch = 64;
  std::vector<uint8_t>& buffer = write_buffer_;
  buffer.clear();
  uint64_t at = kJournalHeader + static_cast<uint64_t>(journal_records_) * record;
  size_t in_batch = 0;
  std::vector<uint32_t> added;
  for (uint32_t p : pages) {
    if (p >= stored_pages_) break;
    if (!fresh && journaled_.count(p) != 0) continue;
    size_t base = buffer.size();
    buffer.resize(base + record);
    uint8_t* r = buffer.data() + base;
    PutLe32(r, p);
    ReadRaw(static_cast<uint64_t>(p) * page_size_, r + 4, page_size_);
    PutLe32(r + 4 + page_size_, Checksum(r, 4 + page_size_, journal_salt_));
    added.push_back(p);
    if (++in_batch == batch) {
      WriteAll(journal_fd_, buffer.data(), buffer.size(), at);
      at += buffer.size();
      buffer.clear();
      in_batch = 0;
    }
  }
  if (!fresh && added.empty()) return;  // hot already, and nothing new to keep
  if (!buffer.empty()) WriteAll(journal_fd_, buffer.data(), buffer.size(), at);
  SyncFile(journal_fd_, "journal");
  if (fresh) SyncFolder();
  // J2: the journal counts the new records (and becomes hot, if it was not).
  const uint32_t records = journal_records_ + static_cast<uint32_t>(added.size());
  h = header(true, records);
  WriteAll(journal_fd_, h.data(), h.size(), 0);
  SyncFile(journal_fd_, "journal");
  journal_hot_ = true;
  journal_records_ = records;
  journaled_.insert(added.begin(), added.end());
}

void PageFile::WritePages(const std::vector<uint32_t>& pages,
                          const std::function<const std::vector<uint8_t>&(uint32_t)>& content) {
  std::vector<uint8_t>& run = write_buffer_;
  run.clear();
  uint32_t run_start = 0;
  auto flush = [&] {
    if (run.empty()) return;
    WriteAll(fd_, run.data(), run.size(), static_cast<uint64_t>(run_start) * page_size_);
    run.clear();
  };
  uint32_t previous = 0;
  for (uint32_t p : pages) {
    if (!run.empty() && (p != previous + 1 || run.size() >= (1u << 20))) flush();
    if (run.empty()) run_start = p;
    size_t base = run.size();
    const std::vector<uint8_t>& page = content(p);
    run.insert(run.end(), page.begin(), page.end());
    if (encoder_) encoder_(p, run.data() + base, page_size_);
    previous = p;
  }
  flush();
}

void PageFile::ForgetJournal() {
  if (journal_fd_ >= 0) ::close(journal_fd_);
  journal_fd_ = -1;
  journal_hot_ = false;
  journal_records_ = 0;
  journaled_.clear();
}

void PageFile::RemoveJournal() {
  const std::string journal = JournalPath(path_);
  ForgetJournal();
  if (::unlink(journal.c_str()) != 0) {
    int j = ::open(journal.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (j >= 0) {
      ::fsync(j);
      ::close(j);
    }
  }
  SyncFolder();
}

void PageFile::NoteOwnWrite() {
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    opened_mtime_ns_ = MtimeNs(st);
    file_size_ = static_cast<uint64_t>(st.st_size);
  }
}

void PageFile::MakeClean(const std::vector<uint32_t>& pages) {
  for (uint32_t p : pages) {
    auto d = dirty_.find(p);
    if (d == dirty_.end()) continue;
    PageBuffer page = std::move(d->second);
    dirty_.erase(d);
    auto it = index_.find(p);
    if (it != index_.end()) {
      it->second->second = page;
    } else {
      lru_.emplace_front(p, page);
      index_[p] = lru_.begin();
    }
  }
  Evict();
}

void PageFile::WriteCheckpoint(
    const std::vector<uint32_t>& pages, uint32_t page_count,
    const std::function<const std::vector<uint8_t>&(uint32_t)>& content) {
  // Pages a spill already wrote are in the file and the journal; what the
  // window's journal holds must stay there until the window is done.
  const bool spilled = journal_fd_ >= 0;
  if (!spilled) RequireUnchanged();
  try {
    JournalOriginals(pages);
    WritePages(pages, content);
    if (page_count < disk_pages_ &&
        ::ftruncate(fd_, static_cast<off_t>(static_cast<uint64_t>(page_count) * page_size_)) != 0)
      throw JetError(error_numbers::kCorrupt,
                     "Could not shorten '" + path_ + "': " + std::strerror(errno) + ".");
    SyncFile(fd_, "changes");
  } catch (...) {
    if (spilled) {
      // The file holds spilled pages that memory no longer does: keep the hot
      // journal, so that a later checkpoint can finish the window, or a
      // rollback or the next open put the file back.
      throw;
    }
    const bool hot = journal_hot_;
    ForgetJournal();
    if (hot) {
      // Put the file back as the last checkpoint left it; if even that fails
      // the hot journal stays, and the next open restores the file.
      try {
        RestoreFromJournal(fd_, true);
      } catch (...) {
      }
    } else {
      ::unlink(JournalPath(path_).c_str());
    }
    NoteOwnWrite();
    throw;
  }
  // J4: the checkpoint is done once the journal is gone.
  RemoveJournal();
  stored_pages_ = page_count;
  disk_pages_ = page_count;
  ++checkpoints_;
  NoteOwnWrite();
}

std::vector<uint32_t> PageFile::SortedDirtyPages() const {
  std::vector<uint32_t> pages;
  pages.reserve(dirty_.size());
  for (const auto& entry : dirty_) pages.push_back(entry.first);
  std::sort(pages.begin(), pages.end());
  return pages;
}

void PageFile::Checkpoint() {
  if (dirty_.empty() && journal_fd_ < 0) return;
  if (!writable_) throw JetError(error_numbers::kReadOnly, "'" + path_ + "' is open read-only.");
  if (broken_) {
    throw JetError(error_numbers::kCorrupt,
                   "'" + path_ + "' could not be put back after a failed change; open it again.");
  }
  const std::vector<uint32_t> pages = SortedDirtyPages();
  // On failure the clean cache holds nothing newer than the file; keep it.
  AsSaveFailure([&] {
    WriteCheckpoint(pages, page_count_,
                    [&](uint32_t p) -> const std::vector<uint8_t>& { return *dirty_[p]; });
  });
  MakeClean(pages);
  undo_.clear();  // a statement that is running now counts from here
  statement_spilled_ = false;
  statement_page_count_ = page_count_;
}

template <typename Body>
void PageFile::AsSaveFailure(Body&& body) {
  try {
    body();
  } catch (const SaveFailed&) {
    throw;
  } catch (const JetError& e) {
    throw SaveFailed(e.Number(), e.what());
  }
}

void PageFile::RequireUnchanged() const {
  if (UnchangedOnDisk()) return;
  throw JetError(error_numbers::kFileInUse,
                 "'" + path_ +
                     "' has been changed or replaced by another program since it was opened, "
                     "so nothing was written to it.");
}

void PageFile::RestoreSpilledPages() {
  ForgetJournal();
  try {
    RestoreFromJournal(fd_, true);
  } catch (...) {
    broken_ = true;  // the journal stays hot for the next open
  }
}

void PageFile::DiscardChanges() {
  // Spilled pages are in the file: the journal puts back what they replaced.
  if (journal_fd_ >= 0) RestoreSpilledPages();
  dirty_.clear();
  undo_.clear();
  lru_.clear();
  index_.clear();
  page_count_ = stored_pages_;
  statement_page_count_ = stored_pages_;
  disk_pages_ = stored_pages_;
  statement_spilled_ = false;
  in_statement_ = false;
  NoteOwnWrite();
}

void PageFile::SpillIfLarge() {
  if (!in_statement_ || dirty_.size() < spill_limit_) return;
  AsSaveFailure([&] { Spill(); });
}

void PageFile::Spill() {
  if (!statement_spilled_) {
    // First bring the state before the statement to the file as a checkpoint
    // of its own, so that rolling the statement back is writing the journal
    // back: the pages as they were before it, and the pages of committed
    // statements it has not touched.
    std::vector<uint32_t> before;
    for (const auto& [p, page] : dirty_) {
      auto u = undo_.find(p);
      if (u == undo_.end() || u->second) before.push_back(p);
    }
    if (!before.empty() || journal_fd_ >= 0) {
      std::sort(before.begin(), before.end());
      WriteCheckpoint(before, statement_page_count_,
                      [&](uint32_t p) -> const std::vector<uint8_t>& {
                        auto u = undo_.find(p);
                        return u != undo_.end() ? *u->second : *dirty_[p];
                      });
      // What the statement has not touched is now as stored; what it has
      // touched was stored as it was before the statement.
      std::vector<uint32_t> untouched;
      for (uint32_t p : before) {
        auto u = undo_.find(p);
        if (u == undo_.end()) {
          untouched.push_back(p);
        } else {
          u->second = nullptr;
        }
      }
      MakeClean(untouched);
    }
    statement_spilled_ = true;
  }
  const std::vector<uint32_t> pages = SortedDirtyPages();
  if (journal_fd_ < 0) RequireUnchanged();
  JournalOriginals(pages);
  WritePages(pages, [&](uint32_t p) -> const std::vector<uint8_t>& { return *dirty_[p]; });
  disk_pages_ = std::max(disk_pages_, page_count_);
  MakeClean(pages);
  // A rollback now writes the journal back; the statement's undo is not needed.
  undo_.clear();
  NoteOwnWrite();
}

}  // namespace jet
