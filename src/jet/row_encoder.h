// Rows: turning values into the bytes of one Jet4/ACE table row, the inverse
// of RowDecoder.
//
//   u16 column count   the table's max column count
//   fixed area         each fixed column at 2 + its fixed offset, its length
//                      bytes; a null keeps its (zeroed) space
//   variable data      values of the variable columns, in var-index order
//   [only when the table has variable columns:]
//     u16 end of variable data
//     u16 variable offsets, last first (offset[n-1] ... offset[0]); n is the
//         highest var index + 1, and an index no column has (a deleted
//         column) gets an empty span, as a null does
//     u16 n
//   null mask          (column count + 7) / 8 bytes, 1 = not null; a BOOL
//                      column's bit is its value (null is written as false)
//
// Values (what RowDecoder gives back): BYTE, INT, LONG, BIGINT int64_t within
// the type's range; MONEY Money; FLOAT, DOUBLE double; DATETIME OleDate within
// Access' years 100..9999; GUID Guid; NUMERIC Numeric, brought to the
// column's scale (dropping only zero digits) and held to its precision;
// Date/Time Extended ExtDateTime; TEXT and MEMO UTF-8 std::string; BINARY and
// OLE Binary. Text is UCS-2, compressed (see text_codec.h) where the column
// allows it (extra flag 0x01), never in fixed-length columns (space-padded
// instead) and for MEMO only up to 1024 characters. MEMO and OLE values go
// through a LongValueWriter (inline up to 64 bytes). Calculated columns take
// null only: Access computes them. A COMPLEX column's value is the row's
// reference into its hidden table, a LONG; TableWriter hands it out and
// refuses any other.
//
// A row longer than a data page takes is refused before any long value is
// written; if moving inline long values to LVAL pages makes it fit, they move.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/layout.h"
#include "jet/long_value_writer.h"
#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// Encodes rows of one table. Not thread-safe; reuses its buffers between rows.
class RowEncoder {
 public:
  // Encodes rows of `table` (which must outlive the encoder) for a file of
  // `layout`. A definition whose columns do not fit its own row shape is a
  // damaged-file JetError.
  RowEncoder(const Layout& layout, const TableDefinition& table);

  // Replaces `out` with the row for `values`, one per column in the order of
  // the table's columns. Every MEMO/OLE value that does not stay inline is
  // written through `long_values` (may be null when none needs it).
  void Encode(const std::vector<Value>& values, LongValueWriter* long_values,
              std::vector<uint8_t>& out);

  // As above, with a writer per column: `writers[k]` writes the long values of
  // column k (null for other columns), so each column fills its own pages.
  void Encode(const std::vector<Value>& values, std::span<LongValueWriter* const> writers,
              std::vector<uint8_t>& out);

 private:
  struct Pending {
    size_t column = 0;  // index in the table's columns
    size_t field = 0;   // where its 12-byte field sits in the row
    ByteView data;      // the bytes to write
  };

  void EncodeRow(const std::vector<Value>& values, std::vector<uint8_t>& out);
  LongValueWriter* WriterFor(size_t k) const;
  // One attempt; false when the row is too large (its size in row_size_).
  bool EncodeOnce(const std::vector<Value>& values, bool allow_inline, std::vector<uint8_t>& out);
  void EncodeFixed(const Column& c, const Value& v, uint8_t* at);
  void EncodeVariable(size_t k, const Value& v, bool allow_inline, std::vector<uint8_t>& out);
  void EncodeLongValue(size_t k, ByteView data, bool allow_inline, std::vector<uint8_t>& out);
  [[noreturn]] void Mismatch(const Column& c, const Value& v) const;
  // Appends text as the file keeps it (see text_codec.h); returns its length
  // in characters as the column's length counts them.
  size_t AppendText(const Column& c, const std::string& s, bool may_compress,
                    std::vector<uint8_t>& out);
  // Appends the trailer of a row with one-byte offsets: end of variable
  // data, offsets, jump table and count; false when no such row can hold them.
  bool AppendByteOffsets(std::vector<uint8_t>& out);

  const Layout& layout_;
  const TableDefinition& table_;
  size_t fixed_end_ = 2;   // count + fixed area
  size_t count_size_ = 2;  // width of the column count and variable offsets
  size_t mask_bytes_ = 0;
  bool has_variable_ = false;
  size_t var_count_ = 0;
  std::vector<size_t> fixed_;     // fixed columns (indexes in the table's columns)
  std::vector<size_t> variable_;  // variable columns, by var index
  std::vector<size_t> booleans_;
  bool inline_long_values_ = false;  // the last attempt kept a long value inline
  size_t row_size_ = 0;
  LongValueWriter* single_writer_ = nullptr;
  std::span<LongValueWriter* const> writers_;

  // Buffers reused from row to row.
  std::vector<uint8_t> mask_;
  std::vector<uint16_t> offsets_;
  std::vector<uint16_t> units_;
  std::vector<uint8_t> fixed_text_;
  std::vector<uint8_t> jump_;
  std::vector<Pending> pending_;
  std::vector<std::vector<uint8_t>> memo_bytes_;
  size_t memo_used_ = 0;
};

}  // namespace jet
