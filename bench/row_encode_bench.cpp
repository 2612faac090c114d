// Encodes a typical ten-column row many times and prints the time per row.
// Build Release without sanitizers for figures worth quoting.
#include <chrono>
#include <cstdio>
#include <vector>

#include "jet/layout.h"
#include "jet/row_encoder.h"

namespace {

jet::Column Make(const char* name, uint8_t type, uint16_t number, uint16_t length, bool fixed,
                 uint16_t place) {
  jet::Column c;
  c.name = name;
  c.type = type;
  c.number = number;
  c.length = length;
  c.flags = fixed ? 0x03 : 0x02;
  c.extra_flags = type == jet::kText ? 0x01 : 0;
  if (fixed) {
    c.fixed_offset = place;
  } else {
    c.var_index = place;
  }
  return c;
}

}  // namespace

int main() {
  jet::TableDefinition t;
  t.columns = {
      Make("Id", jet::kLong, 0, 4, true, 0),      Make("Name", jet::kText, 1, 100, false, 0),
      Make("City", jet::kText, 2, 60, false, 1),  Make("Count", jet::kInt, 3, 2, true, 4),
      Make("Ratio", jet::kDouble, 4, 8, true, 6), Make("Born", jet::kDateTime, 5, 8, true, 14),
      Make("Price", jet::kMoney, 6, 8, true, 22), Make("Active", jet::kBool, 7, 1, true, 0),
      Make("Note", jet::kText, 8, 510, false, 2), Make("Group", jet::kLong, 9, 4, true, 30)};
  t.max_columns = 10;
  t.variable_columns = 3;
  jet::RowEncoder encoder(jet::Jet4Layout(), t);
  std::vector<jet::Value> row = {int64_t{123456},
                                 std::string("Margarethe Lindqvist"),
                                 std::string("Gothenburg"),
                                 int64_t{42},
                                 0.125,
                                 jet::OleDate{27293.5},
                                 jet::Money{199900},
                                 true,
                                 jet::Value(),
                                 int64_t{7}};
  std::vector<uint8_t> out;
  const int kRows = 2000000;
  size_t bytes = 0;
  auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < kRows; ++k) {
    row[0] = int64_t{k};
    encoder.Encode(row, nullptr, out);
    bytes += out.size();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("row_encode_bench: %d rows of %zu bytes, %.1f ns a row, %.0f rows a second\n", kRows,
              bytes / kRows, seconds * 1e9 / kRows, kRows / seconds);
  return 0;
}
