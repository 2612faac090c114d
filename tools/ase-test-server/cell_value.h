// A stored column value. The storage form depends on the column's declared type:
//   integers, bit                   -> Integer
//   numeric, decimal                -> Numeric (unscaled integer; the scale is the column's)
//   money, smallmoney               -> Integer, ten-thousandths
//   float, real                     -> Double
//   datetime                        -> Integer, days since 1900-01-01 * 25920000 + 1/300 s ticks
//   smalldatetime                   -> Integer, days since 1900-01-01 * 1440 + minutes
//   date                            -> Integer, days since 1900-01-01
//   time                            -> Integer, 1/300 s ticks since midnight
//   char, varchar, text, uni*       -> Text, UTF-8
//   binary, varbinary, image        -> Binary
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vq::ase_server {

// 128-bit signed integer: numeric(38) needs 127 bits.
using Int128 = __int128;

// An exact numeric's digits without the decimal point.
struct Numeric {
  Int128 unscaled = 0;
  auto operator<=>(const Numeric&) const = default;
};

// Text in UTF-8.
struct Text {
  std::string utf8;
  auto operator<=>(const Text&) const = default;
};

// Raw bytes.
struct Binary {
  std::vector<std::uint8_t> bytes;
  auto operator<=>(const Binary&) const = default;
};

// NULL or one stored value.
using CellValue = std::variant<std::monostate, std::int64_t, Numeric, double, Text, Binary>;

// Whether `v` is NULL.
inline bool IsNull(const CellValue& v) {
  return std::holds_alternative<std::monostate>(v);
}

// Decimal text of a 128-bit integer.
std::string Int128ToString(Int128 value);

// Parses an optionally signed run of decimal digits; false on overflow or junk.
bool ParseInt128(const std::string& text, Int128& out);

}  // namespace vq::ase_server
