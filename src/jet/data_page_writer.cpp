#include "jet/data_page_writer.h"

#include <cstring>

namespace jet {
namespace {

constexpr int kMaxRows = 255;

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// The start of the lowest row on the page (the page end when it has none).
size_t LowestRow(ByteView page, const Layout& l, int count) {
  size_t lowest = page.size();
  for (int k = 0; k < count; ++k) {
    size_t start = page.U16(l.data_first_slot + 2 * k) & 0x1FFF;
    if (start != 0 && start < lowest) lowest = start;
  }
  return lowest;
}

}  // namespace

void InitDataPage(uint8_t* page, const Layout& l, uint32_t owner) {
  std::memset(page, 0, l.page_size);
  page[0] = 0x01;
  page[1] = 0x01;
  PutLe16(page + l.data_free_space, static_cast<uint16_t>(l.page_size - l.data_first_slot));
  for (int k = 0; k < 4; ++k) page[l.data_owner + k] = static_cast<uint8_t>(owner >> (8 * k));
}

size_t DataPageRoom(ByteView page, const Layout& l) {
  int count = page.U16(l.data_row_count);
  if (count >= kMaxRows) return 0;
  size_t lowest = LowestRow(page, l, count);
  size_t table_end = l.data_first_slot + 2 * static_cast<size_t>(count + 1);
  return lowest > table_end ? lowest - table_end : 0;
}

// A deleted slot that holds no bytes (one RemoveRowFromPage emptied) whose
// place can take a row of `length`; -1 when there is none. Such a slot is
// never an overflow row's target, which always holds the row.
int ReusableSlot(ByteView page, const Layout& l, size_t length) {
  const int count = page.U16(l.data_row_count);
  const size_t lowest = LowestRow(page, l, count);
  const size_t table_end = l.data_first_slot + 2 * static_cast<size_t>(count);
  if (lowest < table_end || lowest - table_end < length) return -1;
  size_t end = page.size();
  for (int k = 0; k < count; ++k) {
    uint16_t raw = page.U16(l.data_first_slot + 2 * k);
    size_t start = raw & 0x1FFF;
    if ((raw & 0x8000) && start == end) return k;
    if (start != 0) end = start;
  }
  return -1;
}

bool PageTakesRow(ByteView page, const Layout& l, size_t length) {
  return DataPageRoom(page, l) >= length || ReusableSlot(page, l, length) >= 0;
}

int AddRowToPage(uint8_t* data, const Layout& l, ByteView row) {
  ByteView page(data, l.page_size);
  if (row.size() > DataPageRoom(page, l)) {
    int k = ReusableSlot(page, l, row.size());
    if (k < 0) return -1;
    // Open a gap of the row's length where slot k stands: the rows after it
    // (stored below it) move down.
    const int count = page.U16(l.data_row_count);
    const size_t lowest = LowestRow(page, l, count);
    const size_t end = page.U16(l.data_first_slot + 2 * k) & 0x1FFF;
    const size_t length = row.size();
    std::memmove(data + lowest - length, data + lowest, end - lowest);
    for (int j = k + 1; j < count; ++j) {
      uint16_t s = page.U16(l.data_first_slot + 2 * j);
      size_t at = s & 0x1FFF;
      if (at != 0)
        PutLe16(data + l.data_first_slot + 2 * j,
                static_cast<uint16_t>((s & 0xE000) | (at - length)));
    }
    std::memcpy(data + end - length, row.data(), length);
    PutLe16(data + l.data_first_slot + 2 * k, static_cast<uint16_t>(end - length));
    const size_t table_end = l.data_first_slot + 2 * static_cast<size_t>(count);
    PutLe16(data + l.data_free_space, static_cast<uint16_t>(lowest - length - table_end));
    return k;
  }
  int count = page.U16(l.data_row_count);
  size_t start = LowestRow(page, l, count) - row.size();
  std::memcpy(data + start, row.data(), row.size());
  PutLe16(data + l.data_first_slot + 2 * count, static_cast<uint16_t>(start));
  PutLe16(data + l.data_row_count, static_cast<uint16_t>(count + 1));
  size_t table_end = l.data_first_slot + 2 * static_cast<size_t>(count + 1);
  PutLe16(data + l.data_free_space, static_cast<uint16_t>(start - table_end));
  return count;
}

void DeleteRowOnPage(uint8_t* data, const Layout& l, int slot) {
  ByteView page(data, l.page_size);
  int count = page.U16(l.data_row_count);
  if (slot < 0 || slot >= count)
    ThrowCorrupt("row " + std::to_string(slot) + " is not on the page to delete it from");
  uint16_t raw = page.U16(l.data_first_slot + 2 * slot);
  PutLe16(data + l.data_first_slot + 2 * slot, static_cast<uint16_t>(raw | 0xC000));
}

}  // namespace jet

namespace jet {

void RemoveRowFromPage(uint8_t* data, const Layout& l, int slot) {
  ByteView page(data, l.page_size);
  const int count = page.U16(l.data_row_count);
  if (slot < 0 || slot >= count)
    ThrowCorrupt("row " + std::to_string(slot) + " is not on the page to delete it from");
  const uint16_t raw = page.U16(l.data_first_slot + 2 * slot);
  if (raw & 0x8000) ThrowCorrupt("row " + std::to_string(slot) + " is deleted already");
  const size_t start = raw & 0x1FFF;
  const size_t end =
      slot == 0 ? l.page_size : page.U16(l.data_first_slot + 2 * (slot - 1)) & 0x1FFF;
  const size_t lowest = LowestRow(page, l, count);
  if (start < lowest || end < start || end > l.page_size)
    ThrowCorrupt("row " + std::to_string(slot) + " lies outside its page");
  const size_t length = end - start;
  // Everything stored below the row moves up by its length.
  std::memmove(data + lowest + length, data + lowest, start - lowest);
  // Rows are stored in slot order from the page end down, so the slots after
  // this one (empty ones included, whose place is where the one before them
  // starts) are those that move.
  for (int k = slot + 1; k < count; ++k) {
    uint16_t s = page.U16(l.data_first_slot + 2 * k);
    size_t at = s & 0x1FFF;
    if (at != 0 && at <= start)
      PutLe16(data + l.data_first_slot + 2 * k,
              static_cast<uint16_t>((s & 0xE000) | (at + length)));
  }
  PutLe16(data + l.data_first_slot + 2 * slot, static_cast<uint16_t>(0xC000 | end));
  std::memset(data + lowest, 0, length);
  size_t table_end = l.data_first_slot + 2 * static_cast<size_t>(count);
  size_t new_lowest = LowestRow(page, l, count);
  PutLe16(data + l.data_free_space, static_cast<uint16_t>(new_lowest - table_end));
}

}  // namespace jet
