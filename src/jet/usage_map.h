// Usage maps: which pages belong to a table (or a long-value column).
//
// A usage map is a row on a data page, found through a row pointer. Its first
// byte is its kind:
//
//   0 inline     u32 start page, then a bitmap: bit k (LSB first) set means
//                page start + k is in the map. The bitmap runs to the row end.
//   1 reference  then u32 page numbers of bitmap pages (type 0x05: 05 01 00 00
//                followed by a bitmap filling the rest of the page). Pointer i
//                covers pages [i * N, (i + 1) * N) with N = 8 * (page size - 4);
//                a zero pointer covers no pages.
//
// The iterator below walks the pages of a map in ascending order without ever
// expanding it, so memory does not grow with the size of the table.
//
// A bitmap may cover more pages than the file has. The file's free-page map
// (page 1) marks every page past the end as free, so for it a set bit there
// just ends the walk; in the map of a table, an index or a long-value column a
// set bit there claims a page that does not exist, and is damage.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/data_page.h"
#include "jet/page_file.h"

namespace jet {

// The pages a usage map marks, visited in ascending order.
class UsageMap {
 public:
  // What a marked page past the end of the file means.
  enum class PastEnd {
    kDamage,   // the map claims the page belongs to it: a JetError
    kEndsMap,  // the free-page map: such pages are simply not there
  };

  // Reads the map row at `where`. A bad pointer or an unknown kind is a JetError.
  UsageMap(PageSource& file, bool jet3, RowPointer where, PastEnd past_end = PastEnd::kDamage);

  // The next page after the previous one, or nothing past the last.
  std::optional<uint32_t> Next();

 private:
  bool LoadBitmapPage();

  PageSource& file_;
  RowPointer where_;
  PastEnd past_end_;
  // Pages one bitmap page of a reference map covers.
  uint64_t bits_per_page_;
  bool reference_ = false;
  // Inline maps: the bitmap and its first page. Reference maps: the bitmap of
  // the current bitmap page.
  std::vector<uint8_t> bitmap_;
  uint64_t base_ = 0;
  uint64_t bit_ = 0;
  // Reference maps: the bitmap pages, and the next one to load.
  std::vector<uint32_t> bitmap_pages_;
  size_t next_bitmap_page_ = 0;
};

}  // namespace jet
