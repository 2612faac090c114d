#include "dataaccess/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/civil_days.h"

namespace vq {
namespace {

std::string U128ToText(unsigned __int128 v) {
  if (v == 0) return "0";
  char buf[48];
  int n = 0;
  // 64-bit steps while they suffice: 128-bit division is a library call.
  for (uint64_t small = static_cast<uint64_t>(v); v >> 64 == 0 && small != 0; small /= 10) {
    buf[n++] = static_cast<char>('0' + static_cast<int>(small % 10));
    if (small < 10) v = 0;
  }
  while (v != 0) {
    buf[n++] = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  }
  std::string out;
  out.reserve(n);
  while (n > 0) out.push_back(buf[--n]);
  return out;
}

// Places a point `scale` digits from the right and drops trailing fraction zeros.
std::string ScaledText(std::string digits, unsigned scale, bool negative) {
  if (scale > 0) {
    if (digits.size() <= scale) digits.insert(0, scale - digits.size() + 1, '0');
    digits.insert(digits.size() - scale, 1, '.');
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  if (negative && digits != "0") digits.insert(0, 1, '-');
  return digits;
}

}  // namespace

std::string CurrencyToText(Currency c) {
  bool negative = c.ten_thousandths < 0;
  // Negating INT64_MIN overflows, so work on the unsigned magnitude.
  uint64_t mag = negative ? (~static_cast<uint64_t>(c.ten_thousandths) + 1)
                          : static_cast<uint64_t>(c.ten_thousandths);
  return ScaledText(U128ToText(mag), 4, negative);
}

std::string DecimalToText(const Decimal& d) {
  return ScaledText(U128ToText(d.magnitude), d.scale, d.negative);
}

std::string DoubleToText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  // Shortest form that reads back to the same double; plain notation where that
  // stays short, exponent form for very large or small magnitudes.
  auto res = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, res.ptr);
}

std::string DateTimeToText(const DateTime& dt) {
  // Written by hand: this runs once per date of every row a transfer reads.
  char buf[40];
  char* p = buf;
  int64_t year = dt.year;
  int year_width = 4;
  if (year < 0) {  // as printf's %04d: the sign counts towards the width
    *p++ = '-';
    year = -year;
    year_width = 3;
  }
  auto digits = [&p](uint64_t v, int width) {
    char tmp[20];
    int n = 0;
    do {
      tmp[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    for (int k = n; k < width; ++k) *p++ = '0';
    while (n > 0) *p++ = tmp[--n];
  };
  digits(static_cast<uint64_t>(year), year_width);
  *p++ = '-';
  digits(dt.month, 2);
  *p++ = '-';
  digits(dt.day, 2);
  *p++ = ' ';
  digits(dt.hour, 2);
  *p++ = ':';
  digits(dt.minute, 2);
  *p++ = ':';
  digits(dt.second, 2);
  uint32_t ticks = dt.nanosecond / 100;
  if (ticks != 0) {
    *p++ = '.';
    char* frac = p;
    digits(ticks, 7);
    while (p > frac && p[-1] == '0') --p;
  }
  return std::string(buf, p);
}

std::string GuidToText(const Guid& g) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    out.push_back(hex[g.bytes[i] >> 4]);
    out.push_back(hex[g.bytes[i] & 15]);
  }
  out.push_back('}');
  return out;
}

std::string BytesToHex(const std::vector<uint8_t>& data) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "0x";
  out.reserve(2 + data.size() * 2);
  for (uint8_t b : data) {
    out.push_back(hex[b >> 4]);
    out.push_back(hex[b & 15]);
  }
  return out;
}

std::string ToText(const Value& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const { return DoubleToText(d); }
    std::string operator()(Currency c) const { return CurrencyToText(c); }
    std::string operator()(const Decimal& d) const { return DecimalToText(d); }
    std::string operator()(const DateTime& dt) const { return DateTimeToText(dt); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const Bytes& b) const { return BytesToHex(b.data); }
    std::string operator()(const Guid& g) const { return GuidToText(g); }
  };
  return std::visit(Visitor{}, v);
}

namespace {
// 1970-01-01, the shared day count's epoch, counted from 0001-01-01.
constexpr int64_t kUnixEpochDays = 719162;
static_assert(civil::DaysFromDate(1, 1, 1) == -kUnixEpochDays);
}  // namespace

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  return civil::DaysFromDate(y, m, d) + kUnixEpochDays;
}

void CivilFromDays(int64_t days, int32_t& year, uint8_t& month, uint8_t& day) {
  const civil::Date date = civil::DateFromDays(days - kUnixEpochDays);
  year = static_cast<int32_t>(date.year);
  month = static_cast<uint8_t>(date.month);
  day = static_cast<uint8_t>(date.day);
}

namespace {
constexpr int64_t kOleEpochDays = 693593;  // 1899-12-30 counted from 0001-01-01
constexpr int64_t kMsPerDay = 86400000;
}  // namespace

DateTime DateTimeFromOleDays(double days) {
  DateTime dt;
  if (!std::isfinite(days) || std::fabs(days) > 1e8) return dt;
  // The whole part is the day and the fraction the time of day, even below the
  // epoch: -1.25 is 1899-12-29 06:00. Times are rounded to the millisecond, as
  // the stored double carries no finer truth.
  double whole = std::trunc(days);
  int64_t ms = std::llround(std::fabs(days - whole) * kMsPerDay);
  int64_t day = static_cast<int64_t>(whole);
  if (ms >= kMsPerDay) {
    // The time rounded up to midnight: that is the start of the next calendar
    // day, which for a negative number is the one nearer the epoch.
    ms -= kMsPerDay;
    day += 1;
  }
  CivilFromDays(kOleEpochDays + day, dt.year, dt.month, dt.day);
  dt.hour = static_cast<uint8_t>(ms / 3600000);
  dt.minute = static_cast<uint8_t>(ms / 60000 % 60);
  dt.second = static_cast<uint8_t>(ms / 1000 % 60);
  dt.nanosecond = static_cast<uint32_t>(ms % 1000) * 1000000u;
  return dt;
}

double OleDaysFromDateTime(const DateTime& dt) {
  int64_t day = DaysFromCivil(dt.year, dt.month, dt.day) - kOleEpochDays;
  double frac = (dt.hour * 3600.0 + dt.minute * 60.0 + dt.second + dt.nanosecond / 1e9) / 86400.0;
  // Below the epoch the fraction still counts forward from midnight.
  return day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
}

}  // namespace vq
