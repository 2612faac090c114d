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

  // Table definition header (offsets in the definition's byte stream).
  size_t tdef_length = 8;
  size_t tdef_row_count = 16;
  size_t tdef_autonumber = 20;
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
  size_t column_number = 5;
  size_t column_var_index = 7;
  size_t column_second_number = 9;
  size_t column_sort_order = 11;  // text: LCID; then sort version at +3 (Jet4)
  size_t column_precision = 11;
  size_t column_scale = 12;
  size_t column_flags = 15;
  size_t column_extra_flags = 16;  // Jet4/ACE only
  size_t column_fixed_offset = 21;
  size_t column_length = 23;

  // Names: a length prefix of this many bytes, then the name.
  size_t name_length_size = 2;

  // Index blocks.
  size_t real_index_block = 52;
  size_t real_index_columns = 4;  // 10 x (u16 column number, u8 flags)
  size_t real_index_usage_map = 34;
  size_t real_index_root = 38;
  size_t real_index_flags = 46;
  size_t logical_index_block = 28;
  size_t logical_index_number = 4;
  size_t logical_index_real = 8;
  size_t logical_index_type = 23;

  // Usage maps: bitmap bytes of an inline map row in a table definition.
  size_t inline_map_bytes = 64;

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
