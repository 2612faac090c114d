// Day numbers of the proleptic Gregorian calendar, counted from 1970-01-01
// (negative before it), after Howard Hinnant's days_from_civil and
// civil_from_days. Each layer counts from its own epoch (0001-01-01 for the
// data-access values, 1900-01-01 on the ASE wire) by adding a constant.
#pragma once

#include <cstdint>

namespace vq::civil {

// A calendar date; month 1 to 12, day 1 to 31.
struct Date {
  std::int64_t year = 1970;
  unsigned month = 1;
  unsigned day = 1;
};

// Days from 1970-01-01 to the given date.
constexpr std::int64_t DaysFromDate(std::int64_t y, unsigned m, unsigned d) {
  // The year is counted from March, so that the leap day ends it.
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The date `days` after 1970-01-01.
constexpr Date DateFromDays(std::int64_t days) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  Date out;
  out.day = doy - (153 * mp + 2) / 5 + 1;
  out.month = mp < 10 ? mp + 3 : mp - 9;
  out.year = static_cast<std::int64_t>(yoe) + era * 400 + (out.month <= 2);
  return out;
}

static_assert(DaysFromDate(1970, 1, 1) == 0);
static_assert(DaysFromDate(1900, 1, 1) == -25567);
static_assert(DateFromDays(-25567).year == 1900);

}  // namespace vq::civil
