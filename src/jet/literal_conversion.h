// Turning the constants of an INSERT into values of a column's type, the way
// Jet converts them.
//
// Quoted text goes into a column of any type ('1' into a number, '2024-02-29
// 13:45:30.123' into a date, 'Yes' into a yes/no column, '0x0102' or any
// other text into a binary one, '{GUID}' into a GUID); numbers and #dates#
// go into text as written, True and False as Jet's -1 and 0; numbers into a
// date are days since 1899-12-30. Numbers become Currency and Decimal
// through integer arithmetic, never through a double; fractions beyond the
// column's scale are rounded half away from zero, whole-number columns round
// half to even. Text is checked to be UTF-8 and measured in UTF-16 units.
// A NULL into a yes/no column is False: Jet yes/no columns hold no null.
//
// Dates read: YYYY-MM-DD or YYYY/MM/DD, M/D/YYYY (the US order, as Jet reads
// # constants; a two-digit year 00..29 is 20xx, 30..99 is 19xx), each with an
// optional time H:MM[:SS[.fraction]] [AM|PM] after a blank or a T, or a time
// alone (on 1899-12-30). Dates must lie in the years 100..9999 (1..9999 for
// Date/Time Extended).
//
// A value that cannot be converted is a JetError kDataTypeMismatch; one that
// is too large or too long is kDataOverflow. Both messages name the column
// and the value.
#pragma once

#include <string_view>

#include "jet/column_types.h"
#include "jet/error.h"
#include "jet/sql.h"
#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// Converts `lit` into a value for `column`, replacing `out` (whose string or
// byte storage is reused when it already holds one). `text_unit_bytes` is
// what one character of a TEXT column takes in the file: 2 for Jet4 and ACE,
// 1 for Jet3; a column's length is in bytes.
void ConvertLiteral(const Literal& lit, const Column& column, Value& out,
                    unsigned text_unit_bytes = 2);

// The error for a NULL given to a column that requires a value.
JetError NullInRequiredColumnError(std::string_view column_name);

}  // namespace jet
