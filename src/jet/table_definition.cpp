#include "jet/table_definition.h"

#include <algorithm>
#include <unordered_set>

#include "jet/layout.h"
#include "jet/text_codec.h"

namespace jet {

std::vector<uint8_t> ReadDefinitionStream(PageSource& file, uint32_t first,
                                          std::vector<uint32_t>* chain) {
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
    if (chain) chain->push_back(page_number);
    size_t skip = stream.empty() ? 0 : 8;
    stream.insert(stream.end(), v.data() + skip, v.data() + v.size());
    page_number = v.U32(4);
  }
  return stream;
}

const Column* TableDefinition::ColumnByNumber(uint16_t number) const {
  for (const Column& c : columns)
    if (c.number == number) return &c;
  return nullptr;
}

TableDefinition ReadTableDefinition(PageSource& file, const Header& header, uint32_t page) {
  const bool jet3 = header.IsJet3();
  const Layout& l = LayoutFor(jet3);
  TableDefinition def;
  std::vector<uint8_t> stream = ReadDefinitionStream(file, page, &def.chain);
  ByteView s(stream.data(), stream.size());

  def.page = page;
  if (jet3) def.text_code_page = header.code_page;
  def.stream_length = s.U32(l.tdef_length);
  def.row_count = s.U32(l.tdef_row_count);
  def.autonumber = s.U32(l.tdef_autonumber);
  if (l.tdef_complex_autonumber != 0) def.complex_autonumber = s.U32(l.tdef_complex_autonumber);
  def.table_type = s.U8(l.tdef_table_type);
  def.max_columns = s.U16(l.tdef_max_columns);
  def.variable_columns = s.U16(l.tdef_variable_columns);
  uint16_t column_count = s.U16(l.tdef_columns);
  uint32_t logical_indexes = s.U32(l.tdef_logical_indexes);
  uint32_t real_indexes = s.U32(l.tdef_real_indexes);
  def.owned_pages = ReadRowPointer(s, l.tdef_owned_pages);
  def.free_pages = ReadRowPointer(s, l.tdef_free_pages);
  if (real_indexes > 1000 || logical_indexes > 1000)
    ThrowCorrupt("table definition at page " + std::to_string(page) + " claims " +
                 std::to_string(std::max(real_indexes, logical_indexes)) + " indexes");

  size_t offset = l.tdef_header_end;
  def.real_indexes.resize(real_indexes);
  for (RealIndex& index : def.real_indexes) {
    index.count_block_offset = offset;
    index.unique_entries = s.U32(offset + l.real_index_count_field);
    offset += l.real_index_count_block;
  }
  if (!s.Contains(offset, column_count * l.column_block)) {
    ThrowCorrupt("table definition at page " + std::to_string(page) + " claims " +
                 std::to_string(column_count) + " columns, more than it holds");
  }
  def.columns.resize(column_count);
  for (size_t k = 0; k < def.columns.size(); ++k) {
    Column& c = def.columns[k];
    ByteView d = s.Sub(offset, l.column_block);
    c.descriptor_index = static_cast<uint16_t>(k);
    c.descriptor.assign(d.data(), d.data() + d.size());
    c.type = d.U8(0);
    c.number = d.U16(l.column_number);
    c.var_index = d.U16(l.column_var_index);
    c.precision = d.U8(l.column_precision);
    c.scale = d.U8(l.column_scale);
    c.flags = d.U8(l.column_flags);
    c.fixed_offset = d.U16(l.column_fixed_offset);
    c.length = d.U16(l.column_length);
    if (jet3) {
      c.code_page = d.U16(l.column_code_page);
      c.sort_lcid = d.U16(l.column_sort_order);
    } else {
      c.complex_id = d.U32(11);
      c.extra_flags = d.U8(l.column_extra_flags);
      c.sort_lcid = d.U16(l.column_sort_order);
      c.sort_version = d.U8(l.column_sort_version);
    }
    if (c.type != kText && c.type != kMemo) {
      c.code_page = 0;
      c.sort_lcid = 0;
      c.sort_version = 0;
    }
    offset += l.column_block;
  }
  auto read_name = [&](std::string& out) {
    if (jet3) {
      uint8_t len = s.U8(offset);
      DecodeCodePageText(s.Sub(offset + 1, len), header.code_page, out);
      offset += 1 + len;
    } else {
      uint16_t len = s.U16(offset);
      Ucs2ToUtf8(s.Sub(offset + 2, len), out);
      offset += 2 + len;
    }
  };
  for (Column& c : def.columns) read_name(c.name);

  for (RealIndex& index : def.real_indexes) {
    ByteView b = s.Sub(offset, l.real_index_block);
    index.block_offset = offset;
    for (int k = 0; k < 10; ++k) {
      size_t at = l.real_index_columns + 3 * k;
      uint16_t number = b.U16(at);
      if (number == 0xFFFF) continue;
      index.columns.push_back(IndexColumn{number, (b.U8(at + 2) & 0x01) != 0});
    }
    index.usage_map = ReadRowPointer(b, l.real_index_usage_map);
    index.root_page = b.U32(l.real_index_root);
    index.flags = b.U8(l.real_index_flags);
    offset += l.real_index_block;
  }
  def.logical_indexes.resize(logical_indexes);
  for (LogicalIndex& index : def.logical_indexes) {
    ByteView b = s.Sub(offset, l.logical_index_block);
    index.number = b.U32(l.logical_index_number);
    index.real_index = b.U32(l.logical_index_real);
    index.kind = b.U8(l.logical_index_type);
    index.related_table = b.U32(l.logical_index_type - 6);
    offset += l.logical_index_block;
  }
  for (LogicalIndex& index : def.logical_indexes) read_name(index.name);

  // The long-value maps are a later addition: a definition that ends before
  // them simply has none.
  while (s.Contains(offset, 2)) {
    uint16_t number = s.U16(offset);
    if (number == 0xFFFF || !s.Contains(offset, 10)) break;
    LongValueMaps maps;
    maps.column_number = number;
    maps.owned_pages = ReadRowPointer(s, offset + 2);
    maps.free_pages = ReadRowPointer(s, offset + 6);
    def.long_value_maps.push_back(maps);
    offset += 10;
  }

  std::stable_sort(def.columns.begin(), def.columns.end(),
                   [](const Column& a, const Column& b) { return a.number < b.number; });
  return def;
}

}  // namespace jet
