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
//   autonumber (u32)       16    20     the last one handed out
//   complex autonumber     -     28     the last attachment/multi-value reference
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
// Then, in order: one row-count block per real index (8 / 12 bytes: u32, u32
// unique entries, Jet4 one more u32); one descriptor per column (18 / 25
// bytes); the column names (u8 length + code-page bytes / u16 byte length +
// UCS-2), in descriptor order; one block per real index (39 / 52 bytes);
// one block per logical index (20 / 28 bytes); the logical index names; for
// each MEMO/OLE column its usage maps (u16 column number, owned and free
// maps); and a closing 0xFFFF.
//
//   real index block       Jet3  Jet4/ACE
//   columns                0     4      10 x (u16 column number, 0xFFFF unused;
//                                       u8 flags, 0x01 ascending)
//   usage map              30    34     row pointer
//   root page (u32)        34    38
//   flags (u8)             38    46     0x01 unique, 0x02 ignore nulls, 0x08 required
//
//   logical index block    Jet3  Jet4/ACE
//   number (u32)           0     4
//   real index (u32)       4     8
//   related table type     8     12
//   related index (i32)    9     13
//   related table (u32)    13    17
//   cascade updates (u8)   17    21
//   cascade deletes (u8)   18    22
//   kind (u8)              19    23     1 primary key, 2 foreign key
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
  // Text columns: the sort order of their index keys (LCID and, Jet4, version).
  uint16_t sort_lcid = 0;
  uint8_t sort_version = 0;
  // Calculated columns: the type of the result, from the column's properties
  // (0 = not known; the descriptor's type then stands).
  uint8_t result_type = 0;
  // The column must hold a value (its "Required" property, NOT NULL in SQL).
  bool required = false;
  // The descriptor's place in the definition (descriptors need not follow
  // column numbers), and its raw bytes, so a definition can be written back.
  uint16_t descriptor_index = 0;
  std::vector<uint8_t> descriptor;

  // Stored in the row's fixed area rather than among the variable values.
  bool IsFixed() const { return (flags & 0x01) != 0; }
  // A calculated column: its value carries a result header.
  bool IsCalculated() const { return (extra_flags & 0xC0) != 0; }
};

// One column of a real index and its direction.
struct IndexColumn {
  uint16_t column_number = 0;
  bool ascending = true;
};

// A real (physical) index: a B-tree over some columns.
struct RealIndex {
  std::vector<IndexColumn> columns;
  RowPointer usage_map;  // the index's pages
  uint32_t root_page = 0;
  uint8_t flags = 0;
  uint32_t unique_entries = 0;  // from the row-count block
  // Where this index's block and its row-count block start in the stream.
  size_t block_offset = 0;
  size_t count_block_offset = 0;
};

// A logical index: a name and a role over a real index.
struct LogicalIndex {
  std::string name;
  uint32_t number = 0;
  uint32_t real_index = 0;
  uint8_t kind = 0;  // 1 primary key, 2 foreign key
  uint32_t related_table = 0;
};

// The usage maps of one long-value (MEMO or OLE) column.
struct LongValueMaps {
  uint16_t column_number = 0;
  RowPointer owned_pages;
  RowPointer free_pages;
};

// A table's definition: its columns in column-number order and where its rows are.
struct TableDefinition {
  uint32_t page = 0;
  uint32_t row_count = 0;
  uint32_t autonumber = 0;  // the last autonumber handed out
  // The last reference handed out to a row's attachment and multi-value
  // columns (one per row, shared by all of them).
  uint32_t complex_autonumber = 0;
  uint8_t table_type = 0;
  uint16_t max_columns = 0;
  uint16_t variable_columns = 0;
  std::vector<Column> columns;
  RowPointer owned_pages;
  RowPointer free_pages;
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> logical_indexes;
  std::vector<LongValueMaps> long_value_maps;
  // The pages of the definition's chain, first page first.
  std::vector<uint32_t> chain;
  // The length of the definition's stream, as its header gives it.
  uint32_t stream_length = 0;
  // Jet3: the code page of the definition's names, and of text whose column
  // names none (the database's code page); 0 in Jet4/ACE.
  uint16_t text_code_page = 0;

  // The column with number `number`, or null.
  const Column* ColumnByNumber(uint16_t number) const;
};

// Reads the definition starting at `page`.
TableDefinition ReadTableDefinition(PageSource& file, const Header& header, uint32_t page);

// The definition's byte stream, joined over its page chain (continuation
// pages' 8-byte headers left out); `chain` receives the pages.
std::vector<uint8_t> ReadDefinitionStream(PageSource& file, uint32_t first,
                                          std::vector<uint32_t>* chain = nullptr);

}  // namespace jet
