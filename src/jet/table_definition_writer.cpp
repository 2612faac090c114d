#include "jet/table_definition_writer.h"

#include <cstring>

#include "jet/column_types.h"
#include "jet/error.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

constexpr uint32_t kMagic = 1625;
// The constant that opens every real-index block.
constexpr uint32_t kRealIndexMagic = 1923;

void Put16(std::vector<uint8_t>& s, size_t at, uint16_t v) {
  s[at] = static_cast<uint8_t>(v);
  s[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + k] = static_cast<uint8_t>(v >> (8 * k));
}
void PutPointer(std::vector<uint8_t>& s, size_t at, RowPointer p) {
  Put32(s, at, (p.page << 8) | p.row);
}

bool IsLong(uint8_t type) {
  return type == kMemo || type == kOle;
}

}  // namespace

uint16_t FixedColumnSize(uint8_t type) {
  // A Yes/No column has a one-byte descriptor length though its value is its
  // null-mask bit.
  if (type == kBool) return 1;
  return static_cast<uint16_t>(FixedValueSize(type));
}

std::vector<Column> LayOutColumns(const std::vector<NewColumn>& columns, const Header& header) {
  const Layout& l = LayoutFor(header.IsJet3());
  std::vector<Column> out(columns.size());
  uint16_t fixed_offset = 0, var_index = 0;
  // Short variable columns first, then long ones.
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t k = 0; k < columns.size(); ++k) {
      const NewColumn& n = columns[k];
      if (FixedColumnSize(n.type) != 0 || IsLong(n.type) != (pass == 1)) continue;
      out[k].var_index = var_index++;
    }
  }
  for (size_t k = 0; k < columns.size(); ++k) {
    const NewColumn& n = columns[k];
    Column& c = out[k];
    c.name = n.name;
    c.type = n.type;
    c.number = static_cast<uint16_t>(k);
    c.descriptor_index = static_cast<uint16_t>(k);
    c.flags = 0x02;
    uint16_t size = FixedColumnSize(n.type);
    if (size != 0) {
      c.flags |= 0x01;
      c.length = size;
      if (n.type != kBool) {
        c.fixed_offset = fixed_offset;
        fixed_offset = static_cast<uint16_t>(fixed_offset + size);
      }
    } else if (n.type == kText) {
      c.length = static_cast<uint16_t>(l.text_char_bytes * n.length);
    } else if (n.type == kBinary) {
      c.length = n.length;
    }
    if (n.autonumber) c.flags |= 0x04;
    if (n.type == kText || n.type == kMemo) {
      if (l.unicode_text)
        c.extra_flags = 0x01;  // compressed Unicode allowed
      else
        c.code_page = header.code_page;
      c.sort_lcid = header.sort_lcid ? header.sort_lcid : 0x0409;
      c.sort_version = header.sort_version;
    }
    if (n.type == kNumeric) {
      c.precision = n.precision;
      c.scale = n.scale;
    }
  }
  return out;
}

namespace {

// Appends a name of the definition (a column's or an index's) as the format
// keeps names: a u16 byte length and UCS-2, or a u8 length and the bytes of
// the file's code page.
void AppendName(std::vector<uint8_t>& s, const std::string& text, const Layout& l,
                uint16_t code_page, const char* what) {
  std::vector<uint8_t> name;
  if (l.unicode_text) {
    std::vector<uint16_t> units;
    Utf8ToUtf16(text, units);
    AppendUcs2(units.data(), units.size(), name);
  } else if (std::optional<uint32_t> refused = AppendCodePageText(text, code_page, name)) {
    throw JetError(error_numbers::kNotSupported,
                   std::string("The ") + what + " name '" + text + "' holds " +
                       NotInCodePage(*refused, code_page) + ": choose another name.");
  }
  const size_t limit = l.name_length_size == 1 ? 0xFF : 0xFFFF;
  if (name.size() > limit)
    throw JetError(error_numbers::kNotSupported,
                   std::string("The ") + what + " name '" + text + "' is too long.");
  size_t at = s.size();
  s.resize(at + l.name_length_size + name.size());
  s[at] = static_cast<uint8_t>(name.size());
  if (l.name_length_size == 2) s[at + 1] = static_cast<uint8_t>(name.size() >> 8);
  if (!name.empty()) std::memcpy(s.data() + at + l.name_length_size, name.data(), name.size());
}

}  // namespace

std::vector<uint8_t> EncodeDefinition(const TableDefinition& def, const Layout& l) {
  std::vector<uint8_t> s(l.tdef_header_end, 0);
  s[0] = 0x02;
  s[1] = 0x01;
  if (l.tdef_magic) Put32(s, l.tdef_magic, kMagic);
  Put32(s, l.tdef_row_count, def.row_count);
  Put32(s, l.tdef_autonumber, def.autonumber);
  // A definition written anew (a new index) keeps the references its rows'
  // attachments and multi-value lists use, or Access would hand them out again.
  if (l.tdef_complex_autonumber != 0) Put32(s, l.tdef_complex_autonumber, def.complex_autonumber);
  if (l.tdef_autonumber_flag) s[l.tdef_autonumber_flag] = 0x01;  // as Access expects
  s[l.tdef_table_type] = def.table_type ? def.table_type : 0x4E;
  uint16_t variable = 0;
  for (const Column& c : def.columns)
    if (!c.IsFixed()) ++variable;
  Put16(s, l.tdef_max_columns,
        def.max_columns ? def.max_columns : static_cast<uint16_t>(def.columns.size()));
  Put16(s, l.tdef_variable_columns, variable);
  Put16(s, l.tdef_columns, static_cast<uint16_t>(def.columns.size()));
  Put32(s, l.tdef_logical_indexes, static_cast<uint32_t>(def.logical_indexes.size()));
  Put32(s, l.tdef_real_indexes, static_cast<uint32_t>(def.real_indexes.size()));
  PutPointer(s, l.tdef_owned_pages, def.owned_pages);
  PutPointer(s, l.tdef_free_pages, def.free_pages);
  for (const RealIndex& index : def.real_indexes) {
    size_t at = s.size();
    s.resize(at + l.real_index_count_block, 0);
    Put32(s, at + l.real_index_count_field, index.unique_entries);
  }

  std::vector<const Column*> order(def.columns.size());
  for (const Column& c : def.columns) {
    if (c.descriptor_index >= order.size() || order[c.descriptor_index])
      throw std::logic_error("column descriptor order is not a permutation");
    order[c.descriptor_index] = &c;
  }
  for (const Column* c : order) {
    size_t at = s.size();
    s.resize(at + l.column_block, 0);
    s[at] = c->type;
    if (l.column_magic) Put32(s, at + l.column_magic, kMagic);
    Put16(s, at + l.column_number, c->number);
    Put16(s, at + l.column_var_index, c->var_index);
    Put16(s, at + l.column_second_number, c->number);
    if (c->type == kText || c->type == kMemo) {
      Put16(s, at + l.column_sort_order, c->sort_lcid);
      if (l.column_sort_version) s[at + l.column_sort_version] = c->sort_version;
      if (l.column_code_page) Put16(s, at + l.column_code_page, c->code_page);
    } else if (c->type == kNumeric) {
      s[at + l.column_precision] = c->precision;
      s[at + l.column_scale] = c->scale;
    } else if (c->type == kComplex) {
      Put32(s, at + 11, c->complex_id);
    }
    s[at + l.column_flags] = c->flags;
    if (l.column_extra_flags) s[at + l.column_extra_flags] = c->extra_flags;
    Put16(s, at + l.column_fixed_offset, c->fixed_offset);
    Put16(s, at + l.column_length, c->length);
  }
  for (const Column* c : order) AppendName(s, c->name, l, def.text_code_page, "column");
  for (const RealIndex& index : def.real_indexes) {
    if (index.columns.size() > 10)
      throw JetError(error_numbers::kNotSupported, "An index can have at most 10 columns.");
    size_t at = s.size();
    s.resize(at + l.real_index_block, 0);
    if (l.index_block_constants) Put32(s, at, kRealIndexMagic);
    for (size_t k = 0; k < 10; ++k) {
      size_t slot = at + l.real_index_columns + 3 * k;
      if (k < index.columns.size()) {
        Put16(s, slot, index.columns[k].column_number);
        s[slot + 2] = index.columns[k].ascending ? 0x01 : 0x00;
      } else {
        Put16(s, slot, 0xFFFF);
      }
    }
    PutPointer(s, at + l.real_index_usage_map, index.usage_map);
    Put32(s, at + l.real_index_root, index.root_page);
    s[at + l.real_index_flags] = index.flags;
  }
  for (const LogicalIndex& index : def.logical_indexes) {
    size_t at = s.size();
    s.resize(at + l.logical_index_block, 0);
    if (l.index_block_constants) Put32(s, at, kMagic);
    Put32(s, at + l.logical_index_number, index.number);
    Put32(s, at + l.logical_index_real, index.real_index);
    // No related table: related index -1.
    Put32(s, at + l.logical_index_real + 5, 0xFFFFFFFF);
    Put32(s, at + l.logical_index_type - 6, index.related_table);
    s[at + l.logical_index_type] = index.kind;
  }
  for (const LogicalIndex& index : def.logical_indexes)
    AppendName(s, index.name, l, def.text_code_page, "index");
  for (const LongValueMaps& m : def.long_value_maps) {
    size_t at = s.size();
    s.resize(at + 10);
    Put16(s, at, m.column_number);
    PutPointer(s, at + 2, m.owned_pages);
    PutPointer(s, at + 6, m.free_pages);
  }
  s.push_back(0xFF);
  s.push_back(0xFF);
  Put32(s, l.tdef_length, static_cast<uint32_t>(s.size() - l.tdef_length_bias));
  return s;
}

void WriteDefinition(PageStore& store, TableDefinition& def, const std::vector<uint8_t>& stream) {
  const size_t ps = store.PageSize();
  std::vector<uint32_t> chain = def.chain;
  size_t pages = 1;
  if (stream.size() > ps) pages += (stream.size() - ps + (ps - 8) - 1) / (ps - 8);
  while (chain.size() < pages) chain.push_back(store.AllocatePage());
  while (chain.size() > pages) {
    store.FreePage(chain.back());
    chain.pop_back();
  }
  size_t at = 0;
  for (size_t k = 0; k < chain.size(); ++k) {
    uint8_t* page = store.Modify(chain[k]);
    std::memset(page, 0, ps);
    size_t header = k == 0 ? 0 : 8;
    size_t take = std::min(stream.size() - at, ps - header);
    std::memcpy(page + header, stream.data() + at, take);
    at += take;
    page[0] = 0x02;
    page[1] = 0x01;
    uint16_t free = static_cast<uint16_t>(ps - header - take);
    page[2] = static_cast<uint8_t>(free);
    page[3] = static_cast<uint8_t>(free >> 8);
    if (k == 0 && !store.FileLayout().tdef_free_space_on_first_page) {
      page[2] = 'V';
      page[3] = 'C';
    }
    uint32_t next = k + 1 < chain.size() ? chain[k + 1] : 0;
    for (int b = 0; b < 4; ++b) page[4 + b] = static_cast<uint8_t>(next >> (8 * b));
  }
  def.chain = chain;
}

void PatchDefinition(PageStore& store, const TableDefinition& def, size_t offset,
                     const uint8_t* bytes, size_t length) {
  const size_t ps = store.PageSize();
  while (length > 0) {
    size_t k = offset < ps ? 0 : 1 + (offset - ps) / (ps - 8);
    size_t page_offset = k == 0 ? offset : 8 + (offset - ps) % (ps - 8);
    if (k >= def.chain.size() || page_offset >= ps)
      ThrowCorrupt("a table definition is shorter than its own fields");
    size_t take = std::min(length, ps - page_offset);
    std::memcpy(store.Modify(def.chain[k]) + page_offset, bytes, take);
    bytes += take;
    offset += take;
    length -= take;
  }
}

}  // namespace jet
