// The values an ASE result delivers, in forms that lose nothing: exact money
// and decimals, date-times to the server's own precision, text as UTF-8 and
// binary data as bytes. The layers above turn these into their own values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vq::ase {

// money and smallmoney: a count of ten-thousandths.
struct Money {
  int64_t ten_thousandths = 0;
  bool operator==(const Money&) const = default;
};

// numeric(p,s) and decimal(p,s): magnitude * 10^-scale, with a sign.
struct Numeric {
  unsigned __int128 magnitude = 0;
  uint8_t scale = 0;
  bool negative = false;
  bool operator==(const Numeric&) const = default;
};

// A calendar date and time of day. datetime's 1/300-second ticks are kept to the
// nearest 100 ns, which tells every tick apart and reads back to the same tick.
struct DateTime {
  int32_t year = 1900;
  uint8_t month = 1;
  uint8_t day = 1;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint32_t nanosecond = 0;
  bool operator==(const DateTime&) const = default;
};

// Binary data, kept apart from text.
struct Bytes {
  std::vector<uint8_t> data;
  bool operator==(const Bytes&) const = default;
};

// One value of a row. std::monostate is NULL; std::string is UTF-8 text.
using Value = std::variant<std::monostate, bool, int64_t, double, Money, Numeric, DateTime,
                           std::string, Bytes>;

// ---- Conversions from the client library's binary forms (pure, testable) ----

// money's two halves: the high 32 bits signed, the low 32 bits unsigned.
Money MoneyFromHalves(int32_t high, uint32_t low);

// datetime: days since 1900-01-01 (may be negative) and 1/300-second ticks since midnight.
DateTime DateTimeFromDaysTicks(int32_t days, int32_t ticks);
// date: days since 1900-01-01; the time of day is midnight.
DateTime DateFromDays(int32_t days);
// time: 1/300-second ticks since midnight, on the day 1899-12-30 that time-only
// values take in Access.
DateTime TimeFromTicks(int32_t ticks);
// bigdatetime: microseconds since 0000-01-01 00:00:00.
DateTime DateTimeFromBigMicros(uint64_t micros);
// bigtime: microseconds since midnight, on 1899-12-30.
DateTime TimeFromBigMicros(uint64_t micros);

// The exact value of a decimal text such as "-1234.5600" (no exponent, at most
// 38 digits). Throws AseError (kClient) for anything else.
Numeric NumericFromText(std::string_view text);

// The double that prints as the shortest text of `f`, so that a real 3.14 reads
// as 3.14 and not as 3.1400001049041748.
double DoubleFromReal(float f);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
void CivilFromDays(int64_t days, int32_t& year, uint8_t& month, uint8_t& day);

}  // namespace vq::ase
