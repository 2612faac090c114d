#include "jet/long_value.h"

#include <algorithm>
#include <unordered_set>

#include "jet/data_page.h"

namespace jet {
namespace {

// The bytes of the LVAL row at `where`; `page` keeps them alive.
ByteView LvalRow(PageSource& file, bool jet3, RowPointer where, PageBuffer& page) {
  page = file.Read(where.page);
  DataPage data(View(page), jet3, where.page);
  if (!data.IsLongValuePage()) {
    ThrowCorrupt("a long value points to page " + std::to_string(where.page) +
                 ", which holds no long values");
  }
  return data.Row(where.row);
}

}  // namespace

void ReadLongValue(PageSource& file, bool jet3, ByteView field, std::vector<uint8_t>& out) {
  out.clear();
  uint32_t head = field.U32(0);
  uint32_t length = head & 0x3FFFFFFF;
  uint32_t kind = head & 0xC0000000;
  if (kind == 0x80000000u) {
    ByteView data = field.Sub(12, length);
    out.assign(data.data(), data.data() + data.size());
    return;
  }
  if (length > static_cast<uint64_t>(file.PageCount()) * 4096) {
    ThrowCorrupt("a long value claims " + std::to_string(length) + " bytes, more than the file");
  }
  RowPointer where = ReadRowPointer(field, 4);
  PageBuffer page;
  if (kind == 0x40000000u) {
    ByteView row = LvalRow(file, jet3, where, page);
    ByteView data = row.Sub(0, length);
    out.assign(data.data(), data.data() + data.size());
    return;
  }
  if (kind != 0) ThrowCorrupt("a long value has an unknown kind");
  out.reserve(length);
  std::unordered_set<uint32_t> seen;
  while (out.size() < length) {
    if (where.IsNull()) ThrowCorrupt("a long value's page chain ends early");
    if (!seen.insert((where.page << 8) | where.row).second) {
      ThrowCorrupt("a long value's page chain loops at page " + std::to_string(where.page));
    }
    ByteView row = LvalRow(file, jet3, where, page);
    RowPointer next = ReadRowPointer(row, 0);
    ByteView piece = row.From(4);
    size_t take = std::min<size_t>(piece.size(), length - out.size());
    out.insert(out.end(), piece.data(), piece.data() + take);
    where = next;
  }
}

}  // namespace jet
