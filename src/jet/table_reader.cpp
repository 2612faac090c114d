#include "jet/table_reader.h"

namespace jet {

TableReader::TableReader(PageSource& file, const Header& header, TableDefinition table)
    : file_(file),
      header_(header),
      table_(std::move(table)),
      decoder_(file, header, table_),
      pages_(file, header.IsJet3(), table_.owned_pages) {}

bool TableReader::NextPage() {
  for (;;) {
    std::optional<uint32_t> next = pages_.Next();
    if (!next) {
      data_.reset();
      page_.reset();
      return false;
    }
    PageBuffer page = file_.Read(*next);
    ByteView v = View(page);
    if (v.U8(0) != 0x01 || v.U32(4) != table_.page) continue;  // stale map entry
    page_ = std::move(page);
    page_number_ = *next;
    data_.emplace(View(page_), header_.IsJet3(), page_number_);
    slot_ = 0;
    return true;
  }
}

ByteView TableReader::FollowOverflow(ByteView pointer_bytes, PageBuffer& hold) {
  RowPointer where = ReadRowPointer(pointer_bytes, 0);
  for (int hops = 0; hops < 8; ++hops) {
    hold = file_.Read(where.page);
    DataPage target(View(hold), header_.IsJet3(), where.page);
    if (target.Owner() != table_.page) {
      ThrowCorrupt("an overflow row points to page " + std::to_string(where.page) +
                   " of another table");
    }
    RowSlot slot = target.Slot(where.row);
    ByteView bytes = target.Row(where.row);
    if (!slot.overflow) return bytes;
    where = ReadRowPointer(bytes, 0);
  }
  ThrowCorrupt("an overflow row chain is too long or loops");
}

bool TableReader::Next(std::vector<Value>& row) {
  for (;;) {
    if (!data_ || slot_ >= data_->RowCount()) {
      if (!NextPage()) return false;
      continue;
    }
    int index = slot_++;
    RowSlot slot = data_->Slot(index);
    if (slot.deleted) continue;
    ByteView bytes = data_->Row(index);
    if (slot.overflow) bytes = FollowOverflow(bytes, overflow_page_);
    decoder_.Decode(bytes, row, wanted_.empty() ? nullptr : &wanted_);
    return true;
  }
}

uint64_t TableReader::CountRows() {
  UsageMap pages(file_, header_.IsJet3(), table_.owned_pages);
  uint64_t count = 0;
  while (std::optional<uint32_t> next = pages.Next()) {
    PageBuffer page = file_.Read(*next);
    ByteView v = View(page);
    if (v.U8(0) != 0x01 || v.U32(4) != table_.page) continue;
    DataPage data(v, header_.IsJet3(), *next);
    for (int i = 0; i < data.RowCount(); ++i)
      if (!data.Slot(i).deleted) ++count;
  }
  return count;
}

}  // namespace jet
