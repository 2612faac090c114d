// Where the fields of each page kind sit, per format family.
//
// Jet3 (Access 97) and Jet4/ACE (Access 2000 to 365) store the same
// structures with different widths and offsets. Every codec, reading or
// writing, takes its offsets from the one Layout of its file, so a field's
// place is written down once.
//
//   data page                Jet3  Jet4/ACE
//     free space (u16)       2     2
//     owner (u32)            4     4        TDEF page, or "LVAL"
//     row count (u16)        8     12
//     first slot             10    14
//   table definition         see table_definition.h
//   index page               see index_page.h
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet {

// Field offsets and sizes of one format family.
struct Layout {
  bool jet3 = false;
  uint32_t page_size = 4096;

  // Data pages.
  size_t data_free_space = 2;
  size_t data_owner = 4;
  size_t data_row_count = 12;
  size_t data_first_slot = 14;
  // Largest row a data page takes.
  size_t max_row_size = 4060;

  // Rows: the width of the column count, the variable offsets and their
  // count. One-byte offsets reach past 255 through a jump table (row_codec.h).
  size_t row_field_size = 2;

  // Text: UCS-2 (maybe compressed) in Jet4/ACE, single bytes in the file's
  // code page in Jet3; a text column's length counts bytes, this many per
  // character.
  bool unicode_text = true;
  size_t text_char_bytes = 2;
  // Whether the format has DECIMAL (NUMERIC) columns.
  bool decimal_columns = true;

  // Table definition header (offsets in the definition's byte stream).
  size_t tdef_length = 8;
  // What the length leaves out: Jet3 counts the whole stream, and this engine
  // has always written Jet4/ACE lengths without the first 8 bytes.
  size_t tdef_length_bias = 8;
  // Bytes 2..3 of a definition's first page: its free space, or (Jet3) the
  // letters "VC" Access puts there.
  bool tdef_free_space_on_first_page = true;
  // The constant 1625 (0 where the format has none).
  size_t tdef_magic = 12;
  size_t tdef_row_count = 16;
  size_t tdef_autonumber = 20;
  // A byte Access sets to 1 where autonumbers are in use (0: no such byte).
  size_t tdef_autonumber_flag = 24;
  // The last reference handed out to the rows' attachment and multi-value
  // columns; 0: the format has no such columns.
  size_t tdef_complex_autonumber = 28;
  size_t tdef_table_type = 40;
  size_t tdef_max_columns = 41;
  size_t tdef_variable_columns = 43;
  size_t tdef_columns = 45;
  size_t tdef_logical_indexes = 47;
  size_t tdef_real_indexes = 51;
  size_t tdef_owned_pages = 55;
  size_t tdef_free_pages = 59;
  size_t tdef_header_end = 63;
  // Per real index, before the columns: its row-count block and where the
  // unique-entry count sits in it.
  size_t real_index_count_block = 12;
  size_t real_index_count_field = 4;

  // Column descriptor.
  size_t column_block = 25;
  // The constant 1625 in each column block (0: none).
  size_t column_magic = 1;
  size_t column_number = 5;
  size_t column_var_index = 7;
  size_t column_second_number = 9;
  size_t column_sort_order = 11;    // text: LCID
  size_t column_sort_version = 14;  // Jet4/ACE text; 0 = none
  size_t column_code_page = 0;      // Jet3 text: u16 Windows code page; 0 = none
  size_t column_precision = 11;
  size_t column_scale = 12;
  size_t column_flags = 15;
  size_t column_extra_flags = 16;  // Jet4/ACE only; 0 = none
  size_t column_fixed_offset = 21;
  size_t column_length = 23;

  // Names: a length prefix of this many bytes, then the name.
  size_t name_length_size = 2;

  // Index blocks. Jet4/ACE open each real-index block with the constant 1923
  // and each logical-index block with 1625; Jet3 blocks have no constant.
  bool index_block_constants = true;
  size_t real_index_block = 52;
  size_t real_index_columns = 4;  // 10 x (u16 column number, u8 flags)
  size_t real_index_usage_map = 34;
  size_t real_index_root = 38;
  size_t real_index_flags = 46;
  // The flags Access gives every index it makes before any of unique, ignore
  // nulls, required: 0x80 from Access 2000 on (meaning unknown), none in
  // Access 97.
  uint8_t new_index_flags = 0x80;
  size_t logical_index_block = 28;
  size_t logical_index_number = 4;
  size_t logical_index_real = 8;
  size_t logical_index_type = 23;

  // Usage maps: bitmap bytes of an inline map row in a table definition.
  size_t inline_map_bytes = 64;
  // The length of an inline usage-map row: type, start page, bitmap.
  size_t InlineMapRowLength() const { return 5 + inline_map_bytes; }

  // Index pages.
  size_t index_prev_page = 12;
  size_t index_next_page = 16;
  size_t index_tail_page = 20;
  size_t index_prefix_length = 24;
  size_t index_bitmask = 27;
  size_t index_first_entry = 480;
};

// The layout of Jet3 files (2 KB pages).
const Layout& Jet3Layout();
// The layout of Jet4 and ACE files (4 KB pages).
const Layout& Jet4Layout();
// The layout for a file, by family.
inline const Layout& LayoutFor(bool jet3) {
  return jet3 ? Jet3Layout() : Jet4Layout();
}

}  // namespace jet
