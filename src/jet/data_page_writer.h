// Changing data pages (type 0x01; layout in data_page.h): a fresh page, a
// row added at the low end of the packed rows, a row marked deleted.
//
// A new row goes just below the lowest row on the page and gets the next
// slot. The free-space field is kept as Access keeps it: the bytes between
// the end of the slot table and the lowest row. A deleted row keeps its
// slot, flagged 0xC000 (deleted and lookup), which every reader skips.
// RemoveRowFromPage also gives the row's bytes back; slots that were deleted
// before are never touched, since a deleted slot may be where an overflow
// row really lives.
#pragma once

#include <cstdint>

#include "jet/bytes.h"
#include "jet/layout.h"

namespace jet {

// The owner field of a long-value page.
inline constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL"

// Writes an empty data page owned by `owner` into `page`.
void InitDataPage(uint8_t* page, const Layout& layout, uint32_t owner);

// The bytes a row of `length` may still take on `page` (0 when no slot is left).
size_t DataPageRoom(ByteView page, const Layout& layout);

// True when AddRowToPage can place a row of `length` on `page`.
bool PageTakesRow(ByteView page, const Layout& layout, size_t length);

// Adds `row` to `page`; the new slot number, or -1 when it does not fit.
int AddRowToPage(uint8_t* page, const Layout& layout, ByteView row);

// Marks row `slot` of `page` deleted.
void DeleteRowOnPage(uint8_t* page, const Layout& layout, int slot);

// Deletes live row `slot` of `page` and gives its bytes back to the page: the
// rows stored below it move up, and the slot keeps its number with no bytes,
// so every pointer to the page's other rows stays right.
void RemoveRowFromPage(uint8_t* page, const Layout& layout, int slot);

}  // namespace jet
