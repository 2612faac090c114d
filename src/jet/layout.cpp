#include "jet/layout.h"

namespace jet {
namespace {

Layout MakeJet3() {
  Layout l;
  l.jet3 = true;
  l.page_size = 2048;
  l.data_row_count = 8;
  l.data_first_slot = 10;
  l.max_row_size = 2012;
  l.row_field_size = 1;
  l.unicode_text = false;
  l.text_char_bytes = 1;
  l.decimal_columns = false;
  l.tdef_magic = 0;
  l.tdef_length_bias = 0;
  l.tdef_free_space_on_first_page = false;
  l.tdef_autonumber_flag = 0;
  l.tdef_row_count = 12;
  l.tdef_autonumber = 16;
  l.tdef_complex_autonumber = 0;
  l.tdef_table_type = 20;
  l.tdef_max_columns = 21;
  l.tdef_variable_columns = 23;
  l.tdef_columns = 25;
  l.tdef_logical_indexes = 27;
  l.tdef_real_indexes = 31;
  l.tdef_owned_pages = 35;
  l.tdef_free_pages = 39;
  l.tdef_header_end = 43;
  l.real_index_count_block = 8;
  l.real_index_count_field = 4;
  l.column_block = 18;
  l.column_magic = 0;
  l.column_number = 1;
  l.column_var_index = 3;
  l.column_second_number = 5;
  l.column_sort_order = 9;
  l.column_sort_version = 0;
  l.column_code_page = 11;
  l.column_precision = 11;
  l.column_scale = 12;
  l.column_flags = 13;
  l.column_extra_flags = 0;  // none in Jet3
  l.column_fixed_offset = 14;
  l.column_length = 16;
  l.name_length_size = 1;
  l.index_block_constants = false;
  l.real_index_block = 39;
  l.real_index_columns = 0;
  l.real_index_usage_map = 30;
  l.real_index_root = 34;
  l.real_index_flags = 38;
  l.new_index_flags = 0;
  l.logical_index_block = 20;
  l.logical_index_number = 0;
  l.logical_index_real = 4;
  l.logical_index_type = 19;
  l.inline_map_bytes = 128;
  l.index_prev_page = 8;
  l.index_next_page = 12;
  l.index_tail_page = 16;
  l.index_prefix_length = 20;
  l.index_bitmask = 22;
  l.index_first_entry = 248;
  return l;
}

}  // namespace

const Layout& Jet3Layout() {
  static const Layout layout = MakeJet3();
  return layout;
}

const Layout& Jet4Layout() {
  static const Layout layout;
  return layout;
}

}  // namespace jet
