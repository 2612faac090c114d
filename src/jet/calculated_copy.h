// Calculated columns in a copy of a table (SELECT ... INTO).
//
// A copy holds each calculated column of its source as an ordinary column of
// the column's result type, filled with the values the reader gives. Most
// result types carry over as they are. Two need care:
//
//   Text     the descriptor's length counts the 23 bytes around the value,
//            and only a Text descriptor has a meaningful length at all; a
//            Text result behind another descriptor gets the longest text.
//   Decimal  a result has no precision or scale of its own: each value
//            carries its own scale within 28 digits (one row 50.325, the
//            next -0.0784734499180612994). The copy gets a Decimal(28, s)
//            column, s the fewest places that keep every value of the
//            source exactly. Values that no one scale can hold together
//            (12 integer digits in one row, 27 places in another) are
//            rounded half away from zero to the places left beside the
//            largest integer part, the nearest an Access column can hold.
#pragma once

#include <cstddef>
#include <vector>

#include "jet/table_definition.h"
#include "jet/table_definition_writer.h"
#include "jet/table_reader.h"

namespace jet {

// The length, in characters, of the copy of a calculated Text result.
uint16_t CalculatedTextLength(const Column& c);

// The scales the calculated Decimal results of one source table need in its copy.
class CalculatedDecimals {
 public:
  explicit CalculatedDecimals(const TableDefinition& source);

  // True when the source has calculated Decimal results.
  bool Any() const { return !columns_.empty(); }

  // Reads every row of the source through `rows` (a reader over the source
  // definition) to find the places each result needs.
  void Measure(TableReader& rows);

  // Gives those columns of the copy, `columns` in source column order, their
  // precision and scale.
  void Shape(std::vector<NewColumn>& columns) const;

  // Brings the decimals of one source row to their copy columns' scales.
  void Fit(std::vector<Value>& row) const;

 private:
  struct Needs {
    size_t column = 0;
    unsigned integer_digits = 0;  // the most any value has
    unsigned places = 0;          // the most places any value needs
    unsigned scale = 0;           // the copy's scale
  };
  std::vector<Needs> columns_;
};

}  // namespace jet
