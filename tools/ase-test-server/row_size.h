// How much room a row takes on an ASE allpages-locked data page, so that the
// server refuses what a real server of the same page size refuses: rows wider
// than a page holds, tables with too many variable-length columns, and writes
// once the database's pages are used up.
//
// Row layout counted here: two bytes of row header, the fixed-length columns
// (bit columns packed eight to a byte), then, when the table has any
// variable-length column (declared variable, nullable, or text/unitext/image
// with its 16-byte text pointer), the row length (2 bytes), the variable data,
// an offset table of one byte per variable-length column plus one, and an
// adjust table of one byte per 256 bytes of row.
#pragma once

#include <vector>

#include "cell_value.h"
#include "column_type.h"

namespace vq::ase_server {

// Most variable-length columns an allpages-locked table may have.
inline constexpr int kMaxVariableColumns = 254;

// Longest row an allpages-locked table holds on a page of `page_size` bytes.
int MaxRowSize(int page_size);

// Whether the column lives in the variable-length part of the row.
bool IsVariableLength(const ColumnDefinition& column);

// Number of variable-length columns in a table.
int VariableColumnCount(const std::vector<ColumnDefinition>& columns);

// Bytes the row takes, with every variable-length column holding nothing.
int NarrowestRowSize(const std::vector<ColumnDefinition>& columns);

// Bytes the row takes, with every variable-length column full.
int WidestRowSize(const std::vector<ColumnDefinition>& columns);

// Bytes this row of values takes on its data page.
int RowSize(const std::vector<ColumnDefinition>& columns, const std::vector<CellValue>& row);

// Text pages the row's text, unitext and image values take: each value that is
// not NULL starts a page of its own.
int LargeObjectPages(const std::vector<ColumnDefinition>& columns,
                     const std::vector<CellValue>& row, int page_size);

// Bytes of a data page that rows (and their two-byte slots) may fill.
int UsableBytesPerPage(int page_size);

}  // namespace vq::ase_server
