// Table definitions (TDEF pages, type 0x02).
//
// A definition is one byte stream spread over a chain of pages: the first
// page whole, then each continuation page (02 01, u16 free, u32 next page)
// from byte 8 on. Bytes 4..7 of every page hold the next page (0 = last).
// Offsets below are within that stream.
//
//   field                  Jet3  Jet4/ACE
//   total length (u32)     8     8
//   row count (u32)        12    16
//   table type (u8)        20    40     0x4E user, 0x53 system
//   max columns (u16)      21    41
//   variable columns (u16) 23    43
//   columns (u16)          25    45
//   logical indexes (u32)  27    47
//   real indexes (u32)     31    51
//   owned pages map        35    55     row pointer to a usage map
//   free space map         39    59
//   end of header          43    63
//
// Then one block per real index (8 / 12 bytes), then one descriptor per column
// (18 / 25 bytes), then the column names (u8 length + code-page bytes / u16
// byte length + UCS-2). Index blocks and names follow; a reader needs none of
// them.
//
//   column descriptor      Jet3  Jet4/ACE
//   type (u8)              0     0
//   column number (u16)    1     5      null-mask bit; gaps where columns were deleted
//   variable index (u16)   3     7
//   sort LCID / code page  9/11  11     text
//   precision, scale (u8)  11,12 11,12  numeric
//   complex id (u32)       -     11     attachments and multi-value fields
//   flags (u8)             13    15     0x01 fixed length
//   extra flags (u8)       -     16     0xC0 calculated
//   fixed offset (u16)     14    21
//   length (u16)           16    23
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/data_page.h"
#include "jet/header.h"
#include "jet/page_file.h"

namespace jet {

// Column type codes as stored.
enum ColumnType : uint8_t {
  kBool = 0x01,
  kByte = 0x02,
  kInt = 0x03,
  kLong = 0x04,
  kMoney = 0x05,
  kFloat = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kNumeric = 0x10,
  kComplex = 0x12,
  kBigInt = 0x13,
  kExtDateTime = 0x14,
};

// One column as the definition describes it.
struct Column {
  std::string name;
  uint8_t type = 0;
  uint16_t number = 0;
  uint16_t var_index = 0;
  uint16_t fixed_offset = 0;
  uint16_t length = 0;
  uint8_t flags = 0;
  uint8_t extra_flags = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint16_t code_page = 0;  // Jet3 text; 0 = the database's
  uint32_t complex_id = 0;

  // Stored in the row's fixed area rather than among the variable values.
  bool IsFixed() const { return (flags & 0x01) != 0; }
  // A calculated column: its value carries a result header.
  bool IsCalculated() const { return (extra_flags & 0xC0) != 0; }
};

// A table's definition: its columns in column-number order and where its rows are.
struct TableDefinition {
  uint32_t page = 0;
  uint32_t row_count = 0;
  uint8_t table_type = 0;
  uint16_t max_columns = 0;
  uint16_t variable_columns = 0;
  std::vector<Column> columns;
  RowPointer owned_pages;
  RowPointer free_pages;
};

// Reads the definition starting at `page`.
TableDefinition ReadTableDefinition(PageFile& file, const Header& header, uint32_t page);

}  // namespace jet
