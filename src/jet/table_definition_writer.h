// Writing table definitions (layout in table_definition.h): the column
// layout of a new table, its definition's byte stream, and the stream laid
// over a chain of TDEF pages.
//
// A new table gets column numbers 0..n-1 in the order given; fixed-size
// columns take their place in the fixed area in that order (Yes/No columns
// take none: their value is their null-mask bit); variable columns get
// variable indexes in order, short ones (TEXT, BINARY) before long ones
// (MEMO, OLE), so long-value headers sit last in a row. Text columns carry
// the file's default sort order and allow compressed Unicode, as Access's own
// new columns do.
//
// The stream's first page holds bytes [0, page size); each continuation page
// holds the next page size - 8 bytes after its own 8-byte header (02 01, u16
// free bytes, u32 next page). The u32 at 8 is the stream's length without its
// first 8 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/header.h"
#include "jet/layout.h"
#include "jet/page_store.h"
#include "jet/table_definition.h"

namespace jet {

// A column of a table to be created.
struct NewColumn {
  std::string name;
  uint8_t type = 0;     // a ColumnType
  uint16_t length = 0;  // TEXT: characters; BINARY: bytes; others: ignored
  uint8_t precision = 0, scale = 0;
  bool autonumber = false;  // LONG only
  bool required = false;    // NOT NULL: kept in the table's properties
};

// The stored size of a value of fixed-size `type`; 0 for variable types.
uint16_t FixedColumnSize(uint8_t type);

// Column descriptors for a new table of `columns` in a file with `header`.
std::vector<Column> LayOutColumns(const std::vector<NewColumn>& columns, const Header& header);

// The definition's stream for `def` (columns in descriptor order, real
// indexes, logical indexes and long-value maps as `def` holds them; logical
// indexes are written without a related table).
std::vector<uint8_t> EncodeDefinition(const TableDefinition& def, const Layout& layout);

// Writes `stream` over the definition's pages, starting at `def.chain[0]`,
// allocating continuation pages or freeing ones no longer needed; updates
// `def.chain`.
void WriteDefinition(PageStore& store, TableDefinition& def, const std::vector<uint8_t>& stream);

// Overwrites `length` bytes at stream offset `offset` of the definition.
void PatchDefinition(PageStore& store, const TableDefinition& def, size_t offset,
                     const uint8_t* bytes, size_t length);

}  // namespace jet
