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

int AddRowToPage(uint8_t* data, const Layout& l, ByteView row) {
  ByteView page(data, l.page_size);
  if (row.size() > DataPageRoom(page, l)) return -1;
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
