#include "jet/data_page.h"

namespace jet {

RowPointer ReadRowPointer(ByteView bytes, size_t offset) {
  uint32_t raw = bytes.U32(offset);
  return RowPointer{raw >> 8, static_cast<uint8_t>(raw & 0xFF)};
}

DataPage::DataPage(ByteView page, bool jet3, uint32_t page_number)
    : page_(page), page_number_(page_number) {
  if (page.size() < 16 || page.U8(0) != 0x01) {
    ThrowCorrupt("page " + std::to_string(page_number) + " should be a data page but has type " +
                 std::to_string(page.empty() ? -1 : page.U8(0)));
  }
  int count_offset = jet3 ? 8 : 12;
  slots_offset_ = count_offset + 2;
  row_count_ = page.U16(count_offset);
  if (slots_offset_ + 2 * static_cast<size_t>(row_count_) > page.size()) {
    ThrowCorrupt("page " + std::to_string(page_number) + " claims " + std::to_string(row_count_) +
                 " rows, more than fit");
  }
}

RowSlot DataPage::Slot(int index) const {
  if (index < 0 || index >= row_count_) {
    ThrowCorrupt("row " + std::to_string(index) + " is not on page " +
                 std::to_string(page_number_));
  }
  uint16_t raw = page_.U16(slots_offset_ + 2 * index);
  RowSlot slot;
  slot.deleted = (raw & 0x8000) != 0;
  slot.overflow = (raw & 0x4000) != 0;
  slot.start = raw & 0x1FFF;
  slot.end = index == 0
                 ? static_cast<uint16_t>(page_.size())
                 : static_cast<uint16_t>(page_.U16(slots_offset_ + 2 * (index - 1)) & 0x1FFF);
  size_t header_end = slots_offset_ + 2 * static_cast<size_t>(row_count_);
  if (slot.start < header_end || slot.start > slot.end || slot.end > page_.size()) {
    if (slot.deleted) {
      slot.start = slot.end = 0;  // a deleted slot's bounds do not matter
      return slot;
    }
    ThrowCorrupt("row " + std::to_string(index) + " of page " + std::to_string(page_number_) +
                 " lies outside its page");
  }
  return slot;
}

ByteView DataPage::Row(int index) const {
  RowSlot slot = Slot(index);
  return page_.Sub(slot.start, slot.end - slot.start);
}

}  // namespace jet
