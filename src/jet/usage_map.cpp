#include "jet/usage_map.h"

#include "jet/layout.h"

namespace jet {

UsageMap::UsageMap(PageSource& file, bool jet3, RowPointer where, PastEnd past_end)
    : file_(file),
      where_(where),
      past_end_(past_end),
      bits_per_page_((LayoutFor(jet3).page_size - 4ull) * 8) {
  PageBuffer page = file.Read(where.page);
  DataPage data(View(page), jet3, where.page);
  ByteView row = data.Row(where.row);
  uint8_t kind = row.U8(0);
  if (kind == 0) {
    base_ = row.U32(1);
    ByteView bits = row.From(5);
    bitmap_.assign(bits.data(), bits.data() + bits.size());
  } else if (kind == 1) {
    reference_ = true;
    for (size_t off = 1; off + 4 <= row.size(); off += 4) bitmap_pages_.push_back(row.U32(off));
    bit_ = 0;
  } else {
    ThrowCorrupt("usage map on page " + std::to_string(where.page) + " has unknown kind " +
                 std::to_string(kind));
  }
}

bool UsageMap::LoadBitmapPage() {
  while (next_bitmap_page_ < bitmap_pages_.size()) {
    size_t i = next_bitmap_page_++;
    uint32_t number = bitmap_pages_[i];
    if (number == 0) continue;
    // A bitmap page whose pages all lie past the end of the file covers
    // nothing of the free-page map, whatever its pointer says; the later ones
    // lie further out.
    if (past_end_ == PastEnd::kEndsMap && i * bits_per_page_ >= file_.PageCount()) return false;
    PageBuffer page = file_.Read(number);
    ByteView v = View(page);
    if (v.U8(0) != 0x05) {
      ThrowCorrupt("usage map page " + std::to_string(number) + " has the wrong type");
    }
    ByteView bits = v.From(4);
    bitmap_.assign(bits.data(), bits.data() + bits.size());
    base_ = static_cast<uint64_t>(i) * bits.size() * 8;
    bit_ = 0;
    return true;
  }
  return false;
}

std::optional<uint32_t> UsageMap::Next() {
  for (;;) {
    while (bit_ < bitmap_.size() * 8) {
      uint64_t b = bit_++;
      uint8_t byte = bitmap_[b >> 3];
      if (byte == 0) {
        bit_ = (b | 7) + 1;  // skip an empty byte at once
        continue;
      }
      if (byte & (1u << (b & 7))) {
        uint64_t page = base_ + b;
        if (page >= file_.PageCount()) {
          // Pages come in ascending order, so no later one is inside the file either.
          if (past_end_ == PastEnd::kEndsMap) return std::nullopt;
          ThrowCorrupt("the usage map at page " + std::to_string(where_.page) + " row " +
                       std::to_string(where_.row) + " names page " + std::to_string(page) +
                       ", past the end of the file (" + std::to_string(file_.PageCount()) +
                       " pages)");
        }
        return static_cast<uint32_t>(page);
      }
    }
    if (!reference_ || !LoadBitmapPage()) return std::nullopt;
  }
}

}  // namespace jet
