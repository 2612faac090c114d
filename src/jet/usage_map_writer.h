// Changing usage maps: adding and removing pages, and searching them.
//
// The row layouts are those usage_map.h reads. A map row keeps its length
// when it is changed; the two kinds differ in how far they reach:
//
//   inline     covers 8 * (row length - 5) pages from its start page. A page
//              outside that window is taken in by moving the window when the
//              map is empty, and otherwise by turning the map into a
//              reference map in the same row (the pages it held are kept).
//   reference  (row length - 1) / 4 bitmap pages of 8 * (page size - 4) pages
//              each; a bitmap page is allocated the first time a page of its
//              range is added. A 69-byte row reaches past the 2 GB limit.
//
// The file-wide free-page map (page 1, row 0) is a usage map too, with the
// sense turned around: a set bit means the page is free. FreePageMap below
// allocates and frees pages through it; pages outside its window count as in
// use (they are never handed out), so at worst a page is not reused.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/data_page.h"
#include "jet/page_file.h"
#include "jet/page_store.h"

namespace jet {

// One usage map row opened for changes. Cheap to make; holds no page.
class UsageMapEditor {
 public:
  // The map row at `where`. A pointer to no map row is a JetError.
  UsageMapEditor(PageStore& store, RowPointer where);

  // True when `page` is in the map.
  bool Contains(uint32_t page);
  // Puts `page` into the map. `allow_convert` false: a page the map cannot
  // take returns false instead of changing the map's kind (the free-page map).
  bool Add(uint32_t page, bool allow_convert = true);
  // Takes `page` out of the map; a page it does not hold is left alone.
  void Remove(uint32_t page);
  // Every page in the map, ascending.
  std::vector<uint32_t> Pages();
  // The first page at or above `from` and below `limit` in the map.
  std::optional<uint32_t> First(uint32_t from, uint32_t limit);
  // Moves an inline map's window to start at `start` (pages below it are
  // dropped from the map). REQUIRES: an inline map.
  void MoveWindow(uint32_t start, bool fill);
  // True for an inline map; its window.
  bool IsInline();
  uint32_t WindowStart();
  uint32_t WindowPages();

 private:
  // The row's bytes for reading, or for changing.
  ByteView Row();
  uint8_t* MutableRow();
  void ConvertToReference();

  PageStore& store_;
  RowPointer where_;
  size_t start_ = 0;
  size_t length_ = 0;
  PageBuffer hold_;
};

// Writes a fresh, empty map of `kind` (0 inline, 1 reference) into `row`.
void InitUsageMapRow(uint8_t* row, size_t length, uint8_t kind, uint32_t start_page);

// The file-wide free-page map: page 1, row 0.
class FreePageMap {
 public:
  // `file` must be writable and in a statement when pages are allocated.
  FreePageMap(PageFile& file, PageStore& store) : file_(file), store_(store) {}

  // A page for new use, zeroed: a free page of the file if there is one,
  // else a page appended to the file.
  uint32_t Allocate();
  // Marks `page` free and clears it.
  void Free(uint32_t page);

 private:
  PageFile& file_;
  PageStore& store_;
};

}  // namespace jet
