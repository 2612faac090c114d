// Calendar arithmetic and the date/time texts the server accepts. ASE counts
// days from 1900-01-01 and times in 1/300 second ticks; texts are read the way
// ASE reads a 4-digit-year string whatever `set dateformat` says.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vq::ase_server {

// The parts of a date/time text; a missing part is zero / absent.
struct DateTimeParts {
  bool has_date = false;
  int year = 1900, month = 1, day = 1;
  bool has_time = false;
  int hour = 0, minute = 0, second = 0;
  int microsecond = 0;
};

// Days from 1900-01-01 to the given civil date (negative before it).
std::int64_t DaysFrom1900(int year, int month, int day);

// The civil date of a day count from 1900-01-01.
void CivilFromDays1900(std::int64_t days, int& year, int& month, int& day);

// Reads "YYYY-MM-DD[ hh:mm[:ss[.fff]]]", "YYYYMMDD", "YYYY/MM/DD", "hh:mm[:ss[.fff|:mmm]]"
// with optional AM/PM, and "Mon DD YYYY[ hh:mm...]"; nullopt if it is not one of those
// or names an impossible date or time.
std::optional<DateTimeParts> ParseDateTimeText(std::string_view text);

// Rounds microseconds since midnight to ASE's 1/300 s ticks.
std::int64_t TicksFromMicroseconds(std::int64_t microseconds);

}  // namespace vq::ase_server
