// Turns a literal of an INSERT or WHERE into the stored value of a column,
// applying ASE's rules: no implicit conversion from text to numbers (257), NULL
// only where the column allows it (233), '' stored as one space, over-long
// character values cut to the column's length, numbers checked against the
// column's range (220) and scale (241).
#pragma once

#include <string>

#include "cell_value.h"
#include "column_type.h"
#include "sql_statement.h"

namespace vq::ase_server {

// Converts `literal` for a column of `column`'s type in table `table`; throws ServerError.
CellValue ConvertLiteral(const Literal& literal, const ColumnDefinition& column,
                         const std::string& table);

// The ASE datatype name of a literal as its messages show it ("INT", "VARCHAR"...).
std::string LiteralTypeName(const Literal& literal);

// Number of UTF-16 code units the UTF-8 text needs.
std::size_t Utf16Length(const std::string& utf8);

// UTF-16LE bytes of UTF-8 text; malformed sequences become U+FFFD.
std::string Utf8ToUtf16Le(const std::string& utf8);

}  // namespace vq::ase_server
