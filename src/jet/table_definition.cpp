#include "jet/table_definition.h"

#include <algorithm>
#include <unordered_set>

#include "jet/text_codec.h"

namespace jet {
namespace {

// The definition's bytes, joined over its page chain.
std::vector<uint8_t> ReadStream(PageFile& file, uint32_t first) {
  std::vector<uint8_t> stream;
  std::unordered_set<uint32_t> seen;
  uint32_t page_number = first;
  while (page_number != 0) {
    if (!seen.insert(page_number).second) {
      ThrowCorrupt("the definition starting at page " + std::to_string(first) +
                   " loops back to page " + std::to_string(page_number));
    }
    PageBuffer page = file.Read(page_number);
    ByteView v = View(page);
    if (v.U8(0) != 0x02) {
      ThrowCorrupt("page " + std::to_string(page_number) + " should hold a table definition");
    }
    size_t skip = stream.empty() ? 0 : 8;
    stream.insert(stream.end(), v.data() + skip, v.data() + v.size());
    page_number = v.U32(4);
  }
  return stream;
}

}  // namespace

TableDefinition ReadTableDefinition(PageFile& file, const Header& header, uint32_t page) {
  const bool jet3 = header.IsJet3();
  std::vector<uint8_t> stream = ReadStream(file, page);
  ByteView s(stream.data(), stream.size());

  TableDefinition def;
  def.page = page;
  def.row_count = s.U32(jet3 ? 12 : 16);
  def.table_type = s.U8(jet3 ? 20 : 40);
  def.max_columns = s.U16(jet3 ? 21 : 41);
  def.variable_columns = s.U16(jet3 ? 23 : 43);
  uint16_t column_count = s.U16(jet3 ? 25 : 45);
  uint32_t real_indexes = s.U32(jet3 ? 31 : 51);
  def.owned_pages = ReadRowPointer(s, jet3 ? 35 : 55);
  def.free_pages = ReadRowPointer(s, jet3 ? 39 : 59);
  if (real_indexes > 1000)
    ThrowCorrupt("table definition at page " + std::to_string(page) + " claims " +
                 std::to_string(real_indexes) + " indexes");

  size_t offset = (jet3 ? 43 : 63) + static_cast<size_t>(real_indexes) * (jet3 ? 8 : 12);
  const size_t block = jet3 ? 18 : 25;
  if (!s.Contains(offset, column_count * block)) {
    ThrowCorrupt("table definition at page " + std::to_string(page) + " claims " +
                 std::to_string(column_count) + " columns, more than it holds");
  }
  def.columns.resize(column_count);
  for (Column& c : def.columns) {
    ByteView d = s.Sub(offset, block);
    c.type = d.U8(0);
    if (jet3) {
      c.number = d.U16(1);
      c.var_index = d.U16(3);
      c.code_page = d.U16(11);
      c.precision = d.U8(11);
      c.scale = d.U8(12);
      c.flags = d.U8(13);
      c.fixed_offset = d.U16(14);
      c.length = d.U16(16);
    } else {
      c.number = d.U16(5);
      c.var_index = d.U16(7);
      c.precision = d.U8(11);
      c.scale = d.U8(12);
      c.complex_id = d.U32(11);
      c.flags = d.U8(15);
      c.extra_flags = d.U8(16);
      c.fixed_offset = d.U16(21);
      c.length = d.U16(23);
    }
    if (c.type != kText && c.type != kMemo) c.code_page = 0;
    offset += block;
  }
  for (Column& c : def.columns) {
    if (jet3) {
      uint8_t len = s.U8(offset);
      DecodeCodePageText(s.Sub(offset + 1, len), header.code_page, c.name);
      offset += 1 + len;
    } else {
      uint16_t len = s.U16(offset);
      Ucs2ToUtf8(s.Sub(offset + 2, len), c.name);
      offset += 2 + len;
    }
  }
  std::stable_sort(def.columns.begin(), def.columns.end(),
                   [](const Column& a, const Column& b) { return a.number < b.number; });
  return def;
}

}  // namespace jet
