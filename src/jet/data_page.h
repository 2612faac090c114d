// Data pages (type 0x01): table rows, usage-map rows and long-value rows.
//
//   offset  Jet3  Jet4/ACE
//   type    0     0         0x01, then 0x01
//   free    2     2         u16 free bytes
//   owner   4     4         u32 TDEF page of the owning table, or "LVAL"
//   count   8     12        u16 number of row slots
//   slots   10    14        u16 per row: bits 0..12 start of the row in the page,
//                           0x8000 deleted, 0x4000 overflow (the row holds a
//                           4-byte pointer to where the row really lives)
//
// Rows are packed from the end of the page downwards: row 0 ends at the page
// end, row n ends where row n-1 starts.
//
// A row pointer, wherever it is stored in a row, is a little-endian u32 with
// the row number in the low byte and the page number in the upper 24 bits.
#pragma once

#include <cstdint>

#include "jet/bytes.h"
#include "jet/layout.h"

namespace jet {

// Where a row lives: a page and a slot on it.
struct RowPointer {
  uint32_t page = 0;
  uint8_t row = 0;
  // True for the all-zero pointer that ends a chain.
  bool IsNull() const { return page == 0 && row == 0; }
};

// Decodes the 4-byte pointer at `offset` of `bytes`.
RowPointer ReadRowPointer(ByteView bytes, size_t offset);

// One row slot: its bytes within the page and its flags.
struct RowSlot {
  uint16_t start = 0;
  uint16_t end = 0;
  bool deleted = false;
  bool overflow = false;
};

// A view of one data page. REQUIRES: the page outlives the view.
class DataPage {
 public:
  // Checks the page type; a page of another type is a JetError naming `page_number`.
  DataPage(ByteView page, bool jet3, uint32_t page_number);
  // The same, for a page of a file with layout `layout`.
  DataPage(ByteView page, const Layout& layout, uint32_t page_number)
      : DataPage(page, layout.jet3, page_number) {}

  // The table-definition page of the table the page belongs to.
  uint32_t Owner() const { return page_.U32(4); }
  // True for a page of long-value rows rather than table rows.
  bool IsLongValuePage() const { return Owner() == 0x4C41564C; }  // "LVAL"
  // Slots on the page, deleted ones included.
  int RowCount() const { return row_count_; }
  // Slot `index`; its bounds are checked against the page and its header.
  RowSlot Slot(int index) const;
  // The bytes of slot `index`.
  ByteView Row(int index) const;

 private:
  ByteView page_;
  uint32_t page_number_;
  int slots_offset_;
  int row_count_;
};

}  // namespace jet
