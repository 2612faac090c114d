// ROWFMT and ROW tokens: how a result column is described and how each of its
// values is written, type by type.
//
//   ROWFMT 0xEE: len(2) ncols(2), then per column name_len(1) name status(1)
//                usertype(4) type(1) type-info locale_len(1)=0
//   type-info:   fixed types none; 1-byte-length types max(1); NUMN/DECN
//                size(1) precision(1) scale(1); LONGCHAR/LONGBINARY max(4);
//                TEXT/IMAGE/UNITEXT max(4) table_len(2) table
//   ROW 0xD1:    the values back to back; a length of 0 (or a text pointer
//                length of 0 for LOBs) is NULL, so an empty string is never sent.
#pragma once

#include <string>
#include <vector>

#include "byte_buffer.h"
#include "cell_value.h"
#include "column_type.h"

namespace vq::ase_server {

// A column of a result set.
struct ResultColumn {
  std::string name;
  ColumnType type;
  bool nullable = false;
  std::string table;  // named in the type info of text and image columns
};

// Appends the ROWFMT token for the columns.
void WriteRowFormat(Bytes& out, const std::vector<ResultColumn>& columns);

// Appends one ROW token. `text_size` caps text, unitext and image values the way
// `set textsize` does.
void WriteRow(Bytes& out, const std::vector<ResultColumn>& columns,
              const std::vector<CellValue>& values, std::size_t text_size);

// Appends one column's value (no token byte); exposed for the unit tests.
void WriteValue(Bytes& out, const ResultColumn& column, const CellValue& value,
                std::size_t text_size);

}  // namespace vq::ase_server
