#include "jet/long_value_writer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/error.h"

namespace jet {
namespace {

constexpr uint32_t kLvalOwner = 0x4C41564C;  // "LVAL"
constexpr size_t kMaxRowsPerPage = 255;      // row numbers are one byte
// The largest LVAL row (4076 bytes on 4 KB pages) leaves four bytes of an
// empty page unused, the limit other writers of these files keep to as well.
constexpr size_t kSpareBytes = 4;
// A page is full once it cannot take the smallest row written to a page: a
// value one byte too long to stay inline, and its slot.
constexpr size_t kSmallestRow = LongValueWriter::kMaxInline + 1 + 2;

void Put16(uint8_t* p, size_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

uint32_t PackPointer(RowPointer where) {
  return (where.page << 8) | where.row;
}

void CheckLength(size_t length) {
  if (length > LongValueWriter::kMaxLength) {
    throw JetError(error_numbers::kOutOfRange,
                   "A value of " + std::to_string(length) +
                       " bytes is larger than the 1 GB a Memo or OLE Object field can hold: " +
                       "store a smaller value.");
  }
}

}  // namespace

void AppendInlineLongValue(ByteView data, std::vector<uint8_t>& out) {
  size_t at = out.size();
  out.resize(at + LongValueWriter::kFieldSize + data.size(), 0);
  Put32(out.data() + at, static_cast<uint32_t>(data.size()) | 0x80000000u);
  if (!data.empty())
    std::memcpy(out.data() + at + LongValueWriter::kFieldSize, data.data(), data.size());
}

LongValueWriter::LongValueWriter(PageStore& store, LvalPageEvents events, uint32_t continue_page)
    : store_(store), layout_(store.FileLayout()), events_(std::move(events)) {
  max_row_ = layout_.page_size - layout_.data_first_slot - 2 - kSpareBytes;
  if (continue_page == 0) return;
  PageBuffer buffer = store_.Read(continue_page);
  DataPage page(View(buffer), layout_, continue_page);
  if (!page.IsLongValuePage()) {
    ThrowCorrupt("page " + std::to_string(continue_page) + " holds no long values");
  }
  ByteView bytes = View(buffer);
  rows_ = static_cast<size_t>(page.RowCount());
  free_ = bytes.U16(layout_.data_free_space);
  low_ = rows_ == 0 ? layout_.page_size
                    : (bytes.U16(layout_.data_first_slot + 2 * (rows_ - 1)) & 0x1FFF);
  size_t header_end = layout_.data_first_slot + 2 * rows_;
  if (rows_ > kMaxRowsPerPage || low_ < header_end || low_ > layout_.page_size ||
      free_ > layout_.page_size - header_end) {
    ThrowCorrupt("the header of long-value page " + std::to_string(continue_page) +
                 " does not match its rows");
  }
  page_ = continue_page;
}

bool LongValueWriter::Fits(size_t length) const {
  if (page_ == 0 || rows_ >= kMaxRowsPerPage || free_ < length + 2) return false;
  size_t header_end = layout_.data_first_slot + 2 * (rows_ + 1);
  return low_ >= header_end && low_ - header_end >= length;
}

void LongValueWriter::StartNewPage() {
  uint32_t page = store_.AllocatePage();
  if (page >= (1u << 24)) {
    throw JetError(error_numbers::kOutOfRange,
                   "The database file has reached the largest size Access allows: compact "
                   "it in Access or move tables to another database.");
  }
  uint8_t* p = store_.Modify(page);
  std::memset(p, 0, layout_.page_size);
  p[0] = 0x01;
  p[1] = 0x01;
  free_ = layout_.page_size - layout_.data_first_slot;
  Put16(p + layout_.data_free_space, free_);
  Put32(p + layout_.data_owner, kLvalOwner);
  page_ = page;
  rows_ = 0;
  low_ = layout_.page_size;
  if (events_.added) events_.added(page);
}

RowPointer LongValueWriter::AddRow(size_t length, size_t& offset) {
  // A page with room that a row too large for it makes the writer leave; it
  // becomes current again when that row fills its new page (as whole chain
  // pieces do), so small values go on filling it.
  struct {
    uint32_t page = 0;
    size_t rows = 0, free = 0, low = 0;
  } left;
  if (!Fits(length)) {
    if (page_ != 0) left = {page_, rows_, free_, low_};
    StartNewPage();
    if (!Fits(length)) {
      throw JetError(error_numbers::kOutOfRange, "a long-value row of " + std::to_string(length) +
                                                     " bytes does not fit a page");
    }
  }
  uint8_t* p = store_.Modify(page_);
  low_ -= length;
  Put16(p + layout_.data_first_slot + 2 * rows_, low_);
  ++rows_;
  free_ -= length + 2;
  Put16(p + layout_.data_row_count, rows_);
  Put16(p + layout_.data_free_space, free_);
  offset = low_;
  RowPointer where{page_, static_cast<uint8_t>(rows_ - 1)};
  if (!Fits(kSmallestRow - 2)) {
    if (events_.filled) events_.filled(page_);
    page_ = left.page;
    rows_ = left.rows;
    free_ = left.free;
    low_ = left.low;
  }
  return where;
}

void LongValueWriter::Write(ByteView data, std::vector<uint8_t>& out) {
  if (data.size() <= kMaxInline) {
    AppendInlineLongValue(data, out);
    return;
  }
  size_t at = out.size();
  out.resize(at + kFieldSize, 0);
  WriteToPages(data, out.data() + at);
}

void LongValueWriter::WriteToPages(ByteView data, uint8_t* field) {
  CheckLength(data.size());
  const uint32_t length = static_cast<uint32_t>(data.size());
  std::memset(field, 0, kFieldSize);
  size_t offset = 0;
  if (data.size() <= max_row_) {
    RowPointer where = AddRow(data.size(), offset);
    if (!data.empty()) std::memcpy(store_.Modify(where.page) + offset, data.data(), data.size());
    Put32(field, length | 0x40000000u);
    Put32(field + 4, PackPointer(where));
    return;
  }
  // A chain: each row's pointer is filled in once the next row has a place.
  RowPointer previous;
  size_t previous_offset = 0;
  for (size_t done = 0; done < data.size();) {
    size_t piece = std::min(MaxPiece(), data.size() - done);
    RowPointer where = AddRow(4 + piece, offset);
    uint8_t* row = store_.Modify(where.page) + offset;
    Put32(row, 0);
    std::memcpy(row + 4, data.data() + done, piece);
    if (done == 0) {
      Put32(field, length);
      Put32(field + 4, PackPointer(where));
    } else {
      Put32(store_.Modify(previous.page) + previous_offset, PackPointer(where));
    }
    previous = where;
    previous_offset = offset;
    done += piece;
  }
}

}  // namespace jet
