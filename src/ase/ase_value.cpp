#include "ase/ase_value.h"

#include <charconv>
#include <cstdlib>

#include "ase/ase_error.h"
#include "common/civil_days.h"

namespace vq::ase {
namespace {

constexpr int64_t kTicksPerSecond = 300;
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;

// Splits a count of 100-ns units since midnight into the time-of-day fields.
void SetTimeOfDay(DateTime& dt, int64_t hundred_ns) {
  int64_t seconds = hundred_ns / 10'000'000;
  dt.nanosecond = static_cast<uint32_t>((hundred_ns % 10'000'000) * 100);
  dt.hour = static_cast<uint8_t>(seconds / 3600);
  dt.minute = static_cast<uint8_t>(seconds / 60 % 60);
  dt.second = static_cast<uint8_t>(seconds % 60);
}

DateTime FromDaysAnd100ns(int64_t days_since_1970, int64_t hundred_ns) {
  DateTime dt;
  CivilFromDays(days_since_1970, dt.year, dt.month, dt.day);
  SetTimeOfDay(dt, hundred_ns);
  return dt;
}

int64_t Days1900() {
  return DaysFromCivil(1900, 1, 1);
}

}  // namespace

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  return civil::DaysFromDate(y, m, d);
}

void CivilFromDays(int64_t z, int32_t& year, uint8_t& month, uint8_t& day) {
  const civil::Date date = civil::DateFromDays(z);
  year = static_cast<int32_t>(date.year);
  month = static_cast<uint8_t>(date.month);
  day = static_cast<uint8_t>(date.day);
}

Money MoneyFromHalves(int32_t high, uint32_t low) {
  uint64_t bits = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  return Money{static_cast<int64_t>(bits)};
}

DateTime DateTimeFromDaysTicks(int32_t days, int32_t ticks) {
  // A tick count outside one day would be a server fault; carry it into the
  // date rather than print an hour of 25.
  int64_t total = static_cast<int64_t>(days) * kTicksPerDay + ticks;
  int64_t day = total >= 0 ? total / kTicksPerDay : -((-total + kTicksPerDay - 1) / kTicksPerDay);
  int64_t tick = total - day * kTicksPerDay;
  // One tick is 33333.33... units of 100 ns; round to the nearest.
  int64_t hundred_ns = (tick * 100'000 + 1) / 3;
  return FromDaysAnd100ns(Days1900() + day, hundred_ns);
}

DateTime DateFromDays(int32_t days) {
  return FromDaysAnd100ns(Days1900() + days, 0);
}

DateTime TimeFromTicks(int32_t ticks) {
  DateTime dt = DateTimeFromDaysTicks(0, ticks);
  int64_t extra_days = DaysFromCivil(dt.year, dt.month, dt.day) - Days1900();
  CivilFromDays(DaysFromCivil(1899, 12, 30) + extra_days, dt.year, dt.month, dt.day);
  return dt;
}

DateTime DateTimeFromBigMicros(uint64_t micros) {
  constexpr uint64_t kMicrosPerDay = 86'400'000'000ULL;
  int64_t day = static_cast<int64_t>(micros / kMicrosPerDay);
  int64_t rest = static_cast<int64_t>(micros % kMicrosPerDay);
  return FromDaysAnd100ns(DaysFromCivil(0, 1, 1) + day, rest * 10);
}

DateTime TimeFromBigMicros(uint64_t micros) {
  constexpr uint64_t kMicrosPerDay = 86'400'000'000ULL;
  return FromDaysAnd100ns(DaysFromCivil(1899, 12, 30),
                          static_cast<int64_t>(micros % kMicrosPerDay) * 10);
}

Numeric NumericFromText(std::string_view text) {
  auto refuse = [&]() -> Numeric {
    throw AseError(
        ErrorKind::kClient, 0,
        "the server sent a decimal value that cannot be read: \"" + std::string(text) + "\"");
  };
  Numeric out;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    out.negative = text[i] == '-';
    ++i;
  }
  int digits = 0;
  bool seen_point = false;
  bool any_digit = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !seen_point) {
      seen_point = true;
      continue;
    }
    if (c == ' ') break;
    if (c < '0' || c > '9') return refuse();
    any_digit = true;
    if (digits > 0 || c != '0') ++digits;
    if (digits > 38) return refuse();
    out.magnitude = out.magnitude * 10 + static_cast<unsigned>(c - '0');
    if (seen_point) ++out.scale;
  }
  for (; i < text.size(); ++i) {
    if (text[i] != ' ') return refuse();
  }
  if (!any_digit || out.scale > 38) return refuse();
  if (out.magnitude == 0) out.negative = false;
  return out;
}

double DoubleFromReal(float f) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, f);
  double d = f;
  std::from_chars(buf, res.ptr, d);
  return d;
}

}  // namespace vq::ase
