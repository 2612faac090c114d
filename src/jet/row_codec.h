// Rows: turning the bytes of one table row into values.
//
// Jet4 / ACE row:
//
//   u16 column count   (the table's max column count when the row was written)
//   fixed area         each fixed column at 2 + its fixed offset
//   variable data      values of the variable columns
//   [only when the table has variable columns:]
//     u16 end of variable data
//     u16 variable offsets, last first (offset[n-1] ... offset[0])
//     u16 n, the number of variable offsets
//   null mask          (column count + 7) / 8 bytes, bit per column number,
//                      1 = not null; for BOOL columns the bit is the value
//
// Jet3 row: the same with 1-byte count, 1-byte offsets and n, and a jump table
// between the offsets and n: one byte per 256-byte boundary the row crosses,
// (row length - 1) / 256 of them, last first. Jump entry j names the first
// offset whose real value is at least (j + 1) * 256; the real offset of entry
// i is its stored byte plus 256 for every jump entry not above i.
//
// Variable value i spans offset[i] .. offset[i + 1] (the end of variable data
// for the last). A column whose number is not below the row's column count, or
// whose variable index is not below n, is null: the row is older than the column.
//
// Values: BYTE u8, INT i16, LONG and COMPLEX i32, BIGINT i64, MONEY i64 in
// ten-thousandths, FLOAT f32, DOUBLE f64, DATETIME f64 days since 1899-12-30,
// GUID 16 bytes (first three groups little-endian), NUMERIC 17 bytes (sign
// byte 0x80 = negative, then the 128-bit magnitude as four little-endian
// 32-bit words, most significant first), Date/Time Extended 42 ASCII bytes
// ("DDDDDDDDDDDDDDDDDDD:SSSSSSSSSSSSFFFFFFF:7" days since 0001-01-01, seconds
// of day, 100-ns units).
//
// Calculated columns (ACE 2010 on) always sit among the variable values, and
// their value is wrapped: 16 bytes of unknown use, u32 data length at 16, the
// data at 20, then 3 more bytes. How the data reads is decided by the result
// type (from the column's properties), which need not be the descriptor's:
//
//   Yes/No         one byte, non-zero true; the null-mask bit only says that
//                  a value is there
//   Text           an ordinary text value
//   Memo           the slot holds an ordinary long value, and it is the long
//                  value's content that is wrapped
//   Decimal        u16 length of what follows, u8 scale, u8 sign (non-zero
//                  negative), then the magnitude in whole 4-byte words (at
//                  most 16 bytes), big-endian once reordered: when their
//                  count is odd the first word is byte-reversed, and after it
//                  each 8-byte group is
//   fixed sizes    the plain value, as in a fixed column of that type
//
// A calculated value shorter than its wrapper, or too short for its fixed-size
// type, is one Access has not computed or could not compute: it reads as null.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/header.h"
#include "jet/page_file.h"
#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// The type a column's values have: a calculated column's result type where
// it is known, else the descriptor's type.
uint8_t ValueType(const Column& c);

// Decodes rows of one table. Not thread-safe; reuses its buffers between rows.
class RowDecoder {
 public:
  // Decodes rows of `table`; `file`, `header` and `table` must outlive it.
  RowDecoder(PageSource& file, const Header& header, const TableDefinition& table);

  // Replaces `out` with the values of `row`, one per column in column order.
  // Columns for which `wanted` is false (when given) are left null.
  void Decode(ByteView row, std::vector<Value>& out, const std::vector<bool>* wanted = nullptr);

 private:
  // A value of fixed-size `type`; `d` holds at least its size.
  void DecodeFixed(const Column& c, uint8_t type, ByteView data, Value& out);
  void DecodeVariable(const Column& c, ByteView data, Value& out);
  // The value of a calculated column from its slot's bytes.
  void DecodeCalculated(const Column& c, ByteView slot, Value& out);
  // Text in the file's encoding: 8-bit in a code page (Jet3) or UCS-2, maybe compressed.
  void DecodeText(const Column& c, ByteView data, Value& out);

  PageSource& file_;
  const Header& header_;
  const TableDefinition& table_;
  bool jet3_;
  bool has_variable_;
  std::vector<uint32_t> offsets_;
  std::vector<uint8_t> scratch_;
};

}  // namespace jet
