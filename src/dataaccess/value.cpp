#include "dataaccess/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/civil_days.h"

namespace vq {
namespace {

// Writes the decimal digits of `v` at `p` (room for 39 needed); returns their end.
char* WriteDigits(char* p, unsigned __int128 v) {
  constexpr uint64_t kChunk = 10000000000000000000ull;  // 10^19
  // 64-bit steps while they suffice: 128-bit division is a library call, and
  // at most two chunks of 19 digits lie above 2^64.
  uint64_t chunks[2];
  int n = 0;
  while (v >> 64 != 0) {
    chunks[n++] = static_cast<uint64_t>(v % kChunk);
    v /= kChunk;
  }
  p = std::to_chars(p, p + 20, static_cast<uint64_t>(v)).ptr;
  while (n > 0) {
    char tmp[20];
    char* end = std::to_chars(tmp, tmp + sizeof tmp, chunks[--n]).ptr;
    const size_t len = static_cast<size_t>(end - tmp);
    std::memset(p, '0', 19 - len);
    std::memcpy(p + 19 - len, tmp, len);
    p += 19;
  }
  return p;
}

// Appends magnitude * 10^-scale with a point `scale` digits from the right,
// without trailing fraction zeros (nor a point with nothing after it); a zero
// carries no sign.
void AppendScaled(std::string& out, unsigned __int128 magnitude, uint8_t scale, bool negative) {
  char digits[40];
  const size_t n = static_cast<size_t>(WriteDigits(digits, magnitude) - digits);
  const size_t whole = n > scale ? n - scale : 0;  // digits before the point
  size_t last = n;
  while (last > whole && digits[last - 1] == '0') --last;
  const size_t zeros = last > whole && n - whole < scale ? scale - (n - whole) : 0;
  // Sign, whole part (at least "0"), point, zeros after it, the other digits:
  // at most 1 + 39 + 1 + 255 characters, the scale being at most 255.
  char buf[300];
  char* p = buf;
  if (negative && magnitude != 0) *p++ = '-';
  if (whole == 0) {
    *p++ = '0';
  } else {
    std::memcpy(p, digits, whole);
    p += whole;
  }
  if (last > whole) {
    *p++ = '.';
    std::memset(p, '0', zeros);
    p += zeros;
    std::memcpy(p, digits + whole, last - whole);
    p += last - whole;
  }
  out.append(buf, p);
}

void AppendCurrency(std::string& out, Currency c) {
  bool negative = c.ten_thousandths < 0;
  // Negating INT64_MIN overflows, so work on the unsigned magnitude.
  uint64_t mag = negative ? (~static_cast<uint64_t>(c.ten_thousandths) + 1)
                          : static_cast<uint64_t>(c.ten_thousandths);
  AppendScaled(out, mag, 4, negative);
}

void AppendDouble(std::string& out, double d) {
  if (std::isnan(d)) {
    out += "NaN";
  } else if (std::isinf(d)) {
    out += d > 0 ? "Infinity" : "-Infinity";
  } else {
    char buf[64];
    // Shortest form that reads back to the same double; plain notation where
    // that stays short, exponent form for very large or small magnitudes.
    auto res = std::to_chars(buf, buf + sizeof buf, d);
    out.append(buf, res.ptr);
  }
}

constexpr char kTwoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void AppendDateTime(std::string& out, const DateTime& dt) {
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
  // The five two-digit fields, each from a table of "00" to "99".
  auto two = [&p, &digits](unsigned v) {
    if (v >= 100) {
      digits(v, 2);
      return;
    }
    std::memcpy(p, kTwoDigits + 2 * v, 2);
    p += 2;
  };
  digits(static_cast<uint64_t>(year), year_width);
  *p++ = '-';
  two(dt.month);
  *p++ = '-';
  two(dt.day);
  *p++ = ' ';
  two(dt.hour);
  *p++ = ':';
  two(dt.minute);
  *p++ = ':';
  two(dt.second);
  uint32_t ticks = dt.nanosecond / 100;
  if (ticks != 0) {
    *p++ = '.';
    char* frac = p;
    digits(ticks, 7);
    while (p > frac && p[-1] == '0') --p;
  }
  out.append(buf, p);
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendGuid(std::string& out, const Guid& g) {
  char buf[38];
  char* p = buf;
  *p++ = '{';
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
    *p++ = kHexDigits[g.bytes[i] >> 4];
    *p++ = kHexDigits[g.bytes[i] & 15];
  }
  *p++ = '}';
  out.append(buf, p);
}

// "00" to "FF", two characters a byte.
constexpr std::array<char, 512> kHexPairs = [] {
  std::array<char, 512> pairs{};
  for (int b = 0; b < 256; ++b) {
    pairs[2 * b] = kHexDigits[b >> 4];
    pairs[2 * b + 1] = kHexDigits[b & 15];
  }
  return pairs;
}();

void AppendHex(std::string& out, const std::vector<uint8_t>& data) {
  const size_t at = out.size();
  out.resize(at + 2 + 2 * data.size());
  char* p = out.data() + at;
  *p++ = '0';
  *p++ = 'x';
  for (uint8_t b : data) {
    std::memcpy(p, kHexPairs.data() + 2 * b, 2);
    p += 2;
  }
}

// The text of one value built by `append`.
template <typename T>
std::string TextOf(void (*append)(std::string&, T), T v) {
  std::string out;
  append(out, v);
  return out;
}

}  // namespace

std::string CurrencyToText(Currency c) {
  return TextOf(AppendCurrency, c);
}

std::string DecimalToText(const Decimal& d) {
  std::string out;
  AppendScaled(out, d.magnitude, d.scale, d.negative);
  return out;
}

std::string DoubleToText(double d) {
  return TextOf(AppendDouble, d);
}

std::string DateTimeToText(const DateTime& dt) {
  return TextOf<const DateTime&>(AppendDateTime, dt);
}

std::string GuidToText(const Guid& g) {
  return TextOf<const Guid&>(AppendGuid, g);
}

std::string BytesToHex(const std::vector<uint8_t>& data) {
  return TextOf<const std::vector<uint8_t>&>(AppendHex, data);
}

void AppendText(std::string& out, const Value& v) {
  struct Visitor {
    std::string& out;
    void operator()(std::monostate) const {}
    void operator()(bool b) const { out += b ? "True" : "False"; }
    void operator()(int64_t i) const {
      char buf[24];
      out.append(buf, std::to_chars(buf, buf + sizeof buf, i).ptr);
    }
    void operator()(double d) const { AppendDouble(out, d); }
    void operator()(Currency c) const { AppendCurrency(out, c); }
    void operator()(const Decimal& d) const { AppendScaled(out, d.magnitude, d.scale, d.negative); }
    void operator()(const DateTime& dt) const { AppendDateTime(out, dt); }
    void operator()(const std::string& s) const { out += s; }
    void operator()(const Bytes& b) const { AppendHex(out, b.data); }
    void operator()(const Guid& g) const { AppendGuid(out, g); }
  };
  std::visit(Visitor{out}, v);
}

std::string ToText(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  std::string out;
  AppendText(out, v);
  return out;
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
