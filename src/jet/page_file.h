// The database file as a sequence of fixed-size pages, with a small cache.
//
// Page p lives at byte p * page_size. The file is opened read-only for now;
// the mode is a parameter so the writing side can open it read-write on the
// same type. A page decoder (set once the header is known) turns a page as
// stored into a page as the decoders read it: this is where encoded databases
// are deciphered, so no layer above ever sees a ciphered page.
//
// Pages are handed out as shared, immutable buffers: a page stays valid for as
// long as its holder keeps it, even after the cache has dropped it.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/bytes.h"

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

// Turns a stored page into its plain form, in place.
using PageDecoder = std::function<void(uint32_t page_number, uint8_t* data, size_t size)>;

// An open database file read page by page.
class PageFile : public PageSource {
 public:
  enum class Mode { kReadOnly, kReadWrite };

  // Opens `path`; a missing file, a directory or an unreadable file is a JetError.
  PageFile(const std::string& path, Mode mode);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // The file's size in bytes when opened.
  uint64_t FileSize() const { return file_size_; }
  // The path the file was opened from, for messages.
  const std::string& Path() const { return path_; }

  // Reads `length` bytes at `offset`, bypassing pages and cache; a short read is an error.
  void ReadRaw(uint64_t offset, uint8_t* out, size_t length) const;

  // Fixes the page size and the decoder once the header has been read.
  void SetLayout(uint32_t page_size, PageDecoder decoder);
  uint32_t PageSize() const { return page_size_; }
  // Whole pages in the file; a trailing partial page does not count.
  uint32_t PageCount() const override { return page_count_; }

  // Page `page_number`, decoded. A page beyond the end of the file is a JetError.
  PageBuffer Read(uint32_t page_number) override;

 private:
  void Evict();

  std::string path_;
  int fd_ = -1;
  uint64_t file_size_ = 0;
  uint32_t page_size_ = 0;
  uint32_t page_count_ = 0;
  PageDecoder decoder_;

  // Least recently used pages at the back.
  static constexpr size_t kCachePages = 256;
  static constexpr uint32_t kReadAhead = 16;
  std::vector<uint8_t> read_buffer_;
  std::list<std::pair<uint32_t, PageBuffer>> lru_;
  std::unordered_map<uint32_t, std::list<std::pair<uint32_t, PageBuffer>>::iterator> index_;
};

// A view of a whole page.
inline ByteView View(const PageBuffer& page) {
  return ByteView(page->data(), page->size());
}

}  // namespace jet
