// Writing long values (MEMO and OLE contents) and the row field that finds them.
//
// The field in the row, as long_value.h reads it:
//
//   0..3   u32: length in the low 30 bits; kind 0x80 inline, 0x40 one LVAL
//          row, 0x00 a chain of LVAL rows
//   4..7   row pointer (row in the low byte, page above) of the (first) row
//   8..11  0
//   12..   the data, inline values only
//
// Where a value goes: inline when it has at most 64 bytes; one LVAL row when
// it fits one (4076 bytes on 4 KB pages); otherwise a chain of rows, each a
// 4-byte pointer to the next row (0 after the last) and a piece of up to 4072
// bytes. Pieces are written first to last, so a reader follows them in order.
//
// An LVAL page is a data page whose owner field reads "LVAL":
//
//   0  01 01   2  u16 free space   4  "LVAL"   8  u32 0
//   12 u16 row count   14 u16 row starts, one per row; rows packed from the
//   page end downwards (row 0 ends at the page end)
//
// Each MEMO/OLE column owns its LVAL pages: one writer serves one column,
// fills its current page while rows fit (at most 255 rows, free space
// permitting) and takes new pages from the store, telling its owner so the
// column's usage maps can follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "jet/bytes.h"
#include "jet/data_page.h"
#include "jet/page_store.h"

namespace jet {

// What a long-value writer tells its owner about the pages it uses.
struct LvalPageEvents {
  // A page just allocated and made an LVAL page: add it to the column's
  // owned-pages and free-space maps.
  std::function<void(uint32_t page)> added;
  // A page with no room left for another long value: take it out of the
  // free-space map. Reported once per page.
  std::function<void(uint32_t page)> filled;
};

// Writes the long values of one MEMO or OLE column into its LVAL pages.
class LongValueWriter {
 public:
  // The row field without inline data.
  static constexpr size_t kFieldSize = 12;
  // The longest value kept inline in the row.
  static constexpr size_t kMaxInline = 64;
  // The longest value the 30-bit length can describe (1 GB less one byte).
  static constexpr uint32_t kMaxLength = 0x3FFFFFFF;

  // Writes through `store` (which must outlive the writer). When
  // `continue_page` is not 0 it names an LVAL page of this column to go on
  // filling; a page that is not one is a JetError.
  LongValueWriter(PageStore& store, LvalPageEvents events = {}, uint32_t continue_page = 0);

  // Appends the row field for `data` to `out`, writing the data to LVAL pages
  // unless it is kept inline.
  void Write(ByteView data, std::vector<uint8_t>& out);

  // Writes `data` to LVAL pages, whatever its length, and fills the 12 bytes
  // at `field` (kind 0x40 or 0x00).
  void WriteToPages(ByteView data, uint8_t* field);

  // The page the next row would go to; 0 when the writer has none yet.
  uint32_t CurrentPage() const { return page_; }

  // The largest LVAL row this format takes, and the data a chain row carries.
  size_t MaxRow() const { return max_row_; }
  size_t MaxPiece() const { return max_row_ - 4; }

 private:
  // Room for a new row of `length` bytes on the current page.
  bool Fits(size_t length) const;
  // Places a row of `length` bytes, on the current page or a new one; returns
  // where it is and its offset in that page.
  RowPointer AddRow(size_t length, size_t& offset);
  void StartNewPage();

  PageStore& store_;
  const Layout& layout_;
  LvalPageEvents events_;
  size_t max_row_;
  // The current page and its state, kept here so rows are placed without
  // re-reading its header.
  uint32_t page_ = 0;
  size_t rows_ = 0;
  size_t free_ = 0;
  size_t low_ = 0;  // where the lowest row starts
};

// Appends the inline field for `data` (at most kMaxInline bytes) to `out`.
void AppendInlineLongValue(ByteView data, std::vector<uint8_t>& out);

}  // namespace jet
