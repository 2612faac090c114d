// Changing data pages (type 0x01; layout in data_page.h): a fresh page, a
// row added at the low end of the packed rows, a row marked deleted.
//
// A new row goes just below the lowest row on the page and gets the next
// slot. The free-space field is kept as Access keeps it: the bytes between
// the end of the slot table and the lowest row. A deleted row keeps its
// bytes and its slot, flagged 0xC000 (deleted and lookup), which every
// reader skips; its space comes back only when the page is rewritten.
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

// Adds `row` to `page`; the new slot number, or -1 when it does not fit.
int AddRowToPage(uint8_t* page, const Layout& layout, ByteView row);

// Marks row `slot` of `page` deleted.
void DeleteRowOnPage(uint8_t* page, const Layout& layout, int slot);

}  // namespace jet
