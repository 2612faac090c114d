#include "jet/usage_map_writer.h"

#include <cstring>

namespace jet {
namespace {

constexpr RowPointer kFreePageMapRow{1, 0};

void PutLe32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

}  // namespace

void InitUsageMapRow(uint8_t* row, size_t length, uint8_t kind, uint32_t start_page) {
  std::memset(row, 0, length);
  row[0] = kind;
  if (kind == 0) PutLe32(row + 1, start_page);
}

UsageMapEditor::UsageMapEditor(PageStore& store, RowPointer where) : store_(store), where_(where) {
  PageBuffer page = store.Read(where.page);
  DataPage data(View(page), store.FileLayout().jet3, where.page);
  RowSlot slot = data.Slot(where.row);
  if (slot.deleted || slot.end - slot.start < 5)
    ThrowCorrupt("the usage map at page " + std::to_string(where.page) + " is missing");
  start_ = slot.start;
  length_ = slot.end - slot.start;
  uint8_t kind = View(page).U8(start_);
  if (kind > 1)
    ThrowCorrupt("usage map on page " + std::to_string(where.page) + " has unknown kind " +
                 std::to_string(kind));
}

ByteView UsageMapEditor::Row() {
  hold_ = store_.Read(where_.page);
  return View(hold_).Sub(start_, length_);
}

uint8_t* UsageMapEditor::MutableRow() {
  hold_.reset();
  return store_.Modify(where_.page) + start_;
}

bool UsageMapEditor::IsInline() {
  return Row().U8(0) == 0;
}
uint32_t UsageMapEditor::WindowStart() {
  return Row().U32(1);
}
uint32_t UsageMapEditor::WindowPages() {
  return static_cast<uint32_t>((length_ - 5) * 8);
}

bool UsageMapEditor::Contains(uint32_t page) {
  ByteView row = Row();
  if (row.U8(0) == 0) {
    uint32_t start = row.U32(1);
    if (page < start || page - start >= WindowPages()) return false;
    uint32_t bit = page - start;
    return (row.U8(5 + bit / 8) >> (bit % 8)) & 1;
  }
  const uint32_t per_page = (store_.PageSize() - 4) * 8;
  size_t slot = page / per_page;
  if (1 + 4 * slot + 4 > length_) return false;
  uint32_t bitmap = row.U32(1 + 4 * slot);
  if (bitmap == 0) return false;
  PageBuffer b = store_.Read(bitmap);
  uint32_t bit = page % per_page;
  return (View(b).U8(4 + bit / 8) >> (bit % 8)) & 1;
}

bool UsageMapEditor::Add(uint32_t page, bool allow_convert) {
  ByteView row = Row();
  if (row.U8(0) == 0) {
    uint32_t start = row.U32(1);
    if (page < start || page - start >= WindowPages()) {
      bool empty = true;
      for (size_t k = 5; k < length_ && empty; ++k) empty = row.U8(k) == 0;
      if (empty) {
        MoveWindow(page & ~7u, false);
      } else if (allow_convert) {
        ConvertToReference();
        return Add(page, allow_convert);
      } else {
        return false;
      }
      row = Row();
      start = row.U32(1);
    }
    uint32_t bit = page - start;
    MutableRow()[5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    return true;
  }
  const uint32_t per_page = (store_.PageSize() - 4) * 8;
  size_t slot = page / per_page;
  if (1 + 4 * slot + 4 > length_) {
    if (!allow_convert) return false;
    throw JetError(error_numbers::kDatabaseFull,
                   "A usage map cannot reach page " + std::to_string(page) + ".");
  }
  uint32_t bitmap = row.U32(1 + 4 * slot);
  if (bitmap == 0) {
    if (!allow_convert) return false;
    bitmap = store_.AllocatePage();
    uint8_t* b = store_.Modify(bitmap);
    b[0] = 0x05;
    b[1] = 0x01;
    PutLe32(MutableRow() + 1 + 4 * slot, bitmap);
  }
  uint32_t bit = page % per_page;
  store_.Modify(bitmap)[4 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  return true;
}

void UsageMapEditor::Remove(uint32_t page) {
  if (!Contains(page)) return;
  ByteView row = Row();
  if (row.U8(0) == 0) {
    uint32_t bit = page - row.U32(1);
    MutableRow()[5 + bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
    return;
  }
  const uint32_t per_page = (store_.PageSize() - 4) * 8;
  uint32_t bitmap = row.U32(1 + 4 * (page / per_page));
  uint32_t bit = page % per_page;
  store_.Modify(bitmap)[4 + bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
}

std::optional<uint32_t> UsageMapEditor::First(uint32_t from, uint32_t limit) {
  ByteView row = Row();
  if (row.U8(0) == 0) {
    uint64_t start = row.U32(1);
    uint64_t end = std::min<uint64_t>(start + WindowPages(), limit);
    for (uint64_t p = std::max<uint64_t>(from, start); p < end; ++p) {
      uint64_t bit = p - start;
      uint8_t byte = row.U8(5 + bit / 8);
      if (byte == 0) {
        p = start + (bit | 7);  // skip the rest of an empty byte
        continue;
      }
      if ((byte >> (bit % 8)) & 1) return static_cast<uint32_t>(p);
    }
    return std::nullopt;
  }
  const uint32_t per_page = (store_.PageSize() - 4) * 8;
  for (size_t slot = from / per_page; 1 + 4 * slot + 4 <= length_; ++slot) {
    uint64_t base = static_cast<uint64_t>(slot) * per_page;
    if (base >= limit) break;
    uint32_t bitmap = Row().U32(1 + 4 * slot);
    if (bitmap == 0) continue;
    PageBuffer b = store_.Read(bitmap);
    ByteView bits = View(b).From(4);
    uint64_t first = std::max<uint64_t>(from, base) - base;
    for (uint64_t bit = first; bit < per_page && base + bit < limit; ++bit) {
      uint8_t byte = bits.U8(bit / 8);
      if (byte == 0) {
        bit |= 7;
        continue;
      }
      if ((byte >> (bit % 8)) & 1) return static_cast<uint32_t>(base + bit);
    }
  }
  return std::nullopt;
}

std::vector<uint32_t> UsageMapEditor::Pages() {
  std::vector<uint32_t> out;
  uint32_t from = 0;
  while (std::optional<uint32_t> p = First(from, UINT32_MAX)) {
    out.push_back(*p);
    if (*p == UINT32_MAX) break;
    from = *p + 1;
  }
  return out;
}

void UsageMapEditor::MoveWindow(uint32_t start, bool fill) {
  uint8_t* row = MutableRow();
  PutLe32(row + 1, start);
  std::memset(row + 5, fill ? 0xFF : 0x00, length_ - 5);
}

void UsageMapEditor::ConvertToReference() {
  std::vector<uint32_t> pages = Pages();
  uint8_t* row = MutableRow();
  InitUsageMapRow(row, length_, 1, 0);
  for (uint32_t p : pages) Add(p, true);
}

uint32_t FreePageMap::Allocate() {
  UsageMapEditor map(store_, kFreePageMapRow);
  uint32_t page;
  if (std::optional<uint32_t> free = map.First(2, file_.PageCount())) {
    page = *free;
    map.Remove(page);
    std::memset(file_.Modify(page), 0, file_.PageSize());
    return page;
  }
  page = file_.AppendPage();
  if (map.IsInline() && page - std::min(page, map.WindowStart()) >= map.WindowPages()) {
    // Beyond the window: slide it so the new page and those after it are
    // covered; every page below the new start then counts as in use.
    uint32_t start = page & ~7u;
    map.MoveWindow(start, true);
    for (uint32_t p = start; p <= page; ++p) map.Remove(p);
    return page;
  }
  map.Remove(page);
  return page;
}

void FreePageMap::Free(uint32_t page) {
  if (page < 3) ThrowCorrupt("page " + std::to_string(page) + " cannot be freed");
  std::memset(file_.Modify(page), 0, file_.PageSize());
  UsageMapEditor map(store_, kFreePageMapRow);
  map.Add(page, false);
}

}  // namespace jet
