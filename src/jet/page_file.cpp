#include "jet/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jet {

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
  file_size_ = static_cast<uint64_t>(st.st_size);
}

PageFile::~PageFile() {
  if (fd_ >= 0) ::close(fd_);
}

void PageFile::ReadRaw(uint64_t offset, uint8_t* out, size_t length) const {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ThrowCorrupt("could not read " + std::to_string(length) + " bytes at offset " +
                   std::to_string(offset) + " (the file may be truncated)");
    }
    done += static_cast<size_t>(n);
  }
}

void PageFile::SetLayout(uint32_t page_size, PageDecoder decoder) {
  page_size_ = page_size;
  page_count_ = static_cast<uint32_t>(file_size_ / page_size);
  decoder_ = std::move(decoder);
  lru_.clear();
  index_.clear();
}

PageBuffer PageFile::Read(uint32_t page_number) {
  auto it = index_.find(page_number);
  if (it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->second;
  }
  if (page_number >= page_count_) {
    ThrowCorrupt("page " + std::to_string(page_number) + " lies beyond the end of the file (" +
                 std::to_string(page_count_) + " pages)");
  }
  // Read ahead: scans and long-value chains mostly want the following pages
  // next, and one read of a run costs little more than one of a page.
  uint32_t run = 1;
  while (run < kReadAhead && page_number + run < page_count_ &&
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

}  // namespace jet
