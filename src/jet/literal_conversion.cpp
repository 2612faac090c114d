#include "jet/literal_conversion.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace jet {
namespace {

using u128 = unsigned __int128;

// The largest value a long value (MEMO, OLE) holds: its length field has 30 bits.
constexpr uint64_t kLongValueMaxBytes = (uint64_t{1} << 30) - 1;

constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
constexpr char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsFold(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = Upper(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// --- messages -----------------------------------------------------------------

// The value as a message shows it: quoted text, a number as written, #date#.
std::string Shown(const Literal& lit) {
  constexpr size_t kLimit = 60;
  auto clipped = [&](std::string_view s) {
    if (s.size() <= kLimit) return std::string(s);
    size_t n = kLimit;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return std::string(s.substr(0, n)) + "...";
  };
  switch (lit.kind) {
    case Literal::Kind::kNull:
      return "NULL";
    case Literal::Kind::kTrue:
      return "True";
    case Literal::Kind::kFalse:
      return "False";
    case Literal::Kind::kText:
      return "'" + clipped(lit.text) + "'";
    case Literal::Kind::kNumber:
      return clipped(lit.text);
    case Literal::Kind::kDate:
      return "#" + clipped(lit.text) + "#";
    case Literal::Kind::kBytes: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string s = "0x";
      for (size_t i = 0; i < lit.text.size() && i < kLimit / 2; ++i) {
        const auto b = static_cast<unsigned char>(lit.text[i]);
        s += kHex[b >> 4];
        s += kHex[b & 15];
      }
      if (lit.text.size() > kLimit / 2) s += "...";
      return s;
    }
  }
  return {};
}

std::string Where(const Column& column) {
  return "column '" + column.name + "' (" + ColumnTypeName(column.type) + ")";
}

[[noreturn]] void Mismatch(const Literal& lit, const Column& column, std::string_view why = {}) {
  std::string message = "The value " + Shown(lit) + " cannot be stored in " + Where(column);
  if (!why.empty()) {
    message += ": ";
    message += why;
  }
  message += ".";
  throw JetError(error_numbers::kDataTypeMismatch, message);
}

[[noreturn]] void OutOfRange(const Literal& lit, const Column& column, const std::string& limits) {
  throw JetError(error_numbers::kDataOverflow, "The value " + Shown(lit) + " is out of range for " +
                                                   Where(column) + ": " + limits + ".");
}

[[noreturn]] void TooLong(const Literal& lit, const Column& column, uint64_t have, uint64_t most,
                          const char* unit) {
  throw JetError(error_numbers::kDataOverflow,
                 "The value " + Shown(lit) + " is too long for " + Where(column) + ": it has " +
                     std::to_string(have) + " " + unit + " and the column holds at most " +
                     std::to_string(most) + ".");
}

// --- exact decimals -------------------------------------------------------------

// A decimal number as written: digits × 10^exponent, where the digits are
// the integer digits followed by the fraction digits.
struct Decimal {
  bool negative = false;
  std::string_view int_digits, frac_digits;
  int64_t exponent = 0;  // applies to the fraction's last digit

  size_t Count() const { return int_digits.size() + frac_digits.size(); }
  char Digit(size_t i) const {
    return i < int_digits.size() ? int_digits[i] : frac_digits[i - int_digits.size()];
  }
};

// Reads [blanks][sign]digits[.digits][e[sign]digits][blanks]; false unless
// the whole text is such a number. `body` receives the number without blanks
// and without a leading "+".
bool ParseDecimal(std::string_view text, Decimal& d, std::string_view* body = nullptr) {
  std::string_view s = Trim(text);
  d = Decimal{};
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    d.negative = s[i] == '-';
    ++i;
  }
  if (body) *body = s.substr(s.size() > 0 && s[0] == '+' ? 1 : 0);
  size_t start = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  d.int_digits = s.substr(start, i - start);
  if (i < s.size() && s[i] == '.') {
    start = ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    d.frac_digits = s.substr(start, i - start);
  }
  if (d.Count() == 0) return false;
  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || !IsDigit(s[i])) return false;
    // Saturated: far beyond any column's range either way.
    for (; i < s.size() && IsDigit(s[i]); ++i)
      exponent = std::min<int64_t>(exponent * 10 + (s[i] - '0'), 1'000'000'000);
    if (negative) exponent = -exponent;
  }
  if (i != s.size()) return false;
  d.exponent = exponent - static_cast<int64_t>(d.frac_digits.size());
  return true;
}

enum class Rounding { kHalfEven, kHalfAwayFromZero };

// |d| × 10^shift rounded to a whole number, into `out`; false when that is
// above `limit`.
bool ScaledMagnitude(const Decimal& d, int shift, Rounding rounding, u128 limit, u128& out) {
  const size_t count = d.Count();
  size_t first = 0;
  while (first < count && d.Digit(first) == '0') ++first;
  out = 0;
  if (first == count) return true;  // zero
  const int64_t digits = static_cast<int64_t>(count - first);
  const int64_t m = d.exponent + shift;  // value = significant digits × 10^m
  // Whole-number digits of the result; 39 already exceed any 128-bit limit we use.
  const int64_t keep = digits + m;
  if (keep > 39) return false;
  constexpr u128 kMax = ~u128{0};
  auto push = [&](int digit) {
    if (out > (kMax - 9) / 10) return false;
    out = out * 10 + static_cast<unsigned>(digit);
    return out <= limit;
  };
  if (m >= 0) {
    for (size_t i = first; i < count; ++i)
      if (!push(d.Digit(i) - '0')) return false;
    for (int64_t k = 0; k < m; ++k)
      if (!push(0)) return false;
    return true;
  }
  // Part of the digits fall below the unit: round on the first of them.
  for (int64_t k = 0; k < keep; ++k)
    if (!push(d.Digit(first + static_cast<size_t>(k)) - '0')) return false;
  int rounding_digit = 0;
  bool sticky = false;
  if (keep >= 0) {
    size_t r = first + static_cast<size_t>(keep);
    rounding_digit = d.Digit(r) - '0';
    for (size_t i = r + 1; i < count && !sticky; ++i) sticky = d.Digit(i) != '0';
  }
  bool up =
      rounding_digit > 5 || (rounding_digit == 5 &&
                             (rounding == Rounding::kHalfAwayFromZero || sticky || (out & 1) != 0));
  if (up) {
    if (out == kMax) return false;
    ++out;
  }
  return out <= limit;
}

// The power of ten of the leading digit of a non-zero `d` (0 for zero).
int64_t Magnitude(const Decimal& d) {
  const size_t count = d.Count();
  size_t first = 0;
  while (first < count && d.Digit(first) == '0') ++first;
  if (first == count) return 0;
  return static_cast<int64_t>(count - first) - 1 + d.exponent;
}

bool IsZero(const Decimal& d) {
  for (size_t i = 0; i < d.Count(); ++i)
    if (d.Digit(i) != '0') return false;
  return true;
}

// --- dates ----------------------------------------------------------------------

constexpr int64_t kTicksPerDay = 864'000'000'000;  // 100-ns units
constexpr int64_t kTicksPerMs = 10'000;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);
constexpr int64_t kOleFirst = DaysFromCivil(100, 1, 1);
constexpr int64_t kOleLast = DaysFromCivil(9999, 12, 31);
constexpr int64_t kExtEpoch = DaysFromCivil(1, 1, 1);

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// A moment read from text: a day (days from 1970-01-01) and 100-ns ticks into it.
struct Moment {
  int64_t day = 0;
  int64_t ticks = 0;
  int year = 0;
};

class DateReader {
 public:
  explicit DateReader(std::string_view s) : s_(s) {}

  // Reads the whole text as a date, a date and time, or a time; false when it is none.
  bool Read(Moment& out) {
    int year = 1899, month = 12, day = 30;
    bool have_date = false;
    int a = 0, b = 0, c = 0;
    size_t a_digits = 0, c_digits = 0;
    const size_t start = i_;
    if (Number(a, a_digits, 4) && i_ < s_.size() && (s_[i_] == '-' || s_[i_] == '/')) {
      const char sep = s_[i_++];
      size_t digits = 0;
      if (!Number(b, digits, 2) || !Consume(sep) || !Number(c, c_digits, 4)) return false;
      if (a_digits >= 3) {  // year first
        if (c_digits > 2) return false;
        year = a, month = b, day = c;
      } else {  // month/day/year
        month = a, day = b, year = c;
        if (c_digits <= 2) year += year < 30 ? 2000 : 1900;
      }
      if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
      have_date = true;
    } else {
      i_ = start;
    }
    int64_t ticks = 0;
    if (have_date && i_ < s_.size()) {
      if (s_[i_] != ' ' && s_[i_] != 'T' && s_[i_] != 't') return false;
      ++i_;
      SkipBlanks();
      if (!Time(ticks)) return false;
    } else if (!have_date) {
      if (!Time(ticks)) return false;
    }
    if (i_ != s_.size()) return false;
    out.day = DaysFromCivil(year, month, day);
    out.ticks = ticks;
    out.year = year;
    return true;
  }

 private:
  // H[:MM[:SS[.fraction]]] [AM|PM]; a bare hour needs AM or PM.
  bool Time(int64_t& ticks) {
    int hour = 0, minute = 0, second = 0;
    size_t digits = 0;
    if (!Number(hour, digits, 2)) return false;
    bool colon = false;
    int64_t fraction = 0;  // 100-ns units
    if (Consume(':')) {
      colon = true;
      if (!Number(minute, digits, 2) || digits != 2) return false;
      if (Consume(':')) {
        if (!Number(second, digits, 2) || digits != 2) return false;
        if (Consume('.')) {
          size_t n = 0;
          int round_digit = 0;
          while (i_ < s_.size() && IsDigit(s_[i_])) {
            if (n < 7) fraction = fraction * 10 + (s_[i_] - '0');
            if (n == 7) round_digit = s_[i_] - '0';
            ++n;
            ++i_;
          }
          if (n == 0) return false;
          for (size_t k = n; k < 7; ++k) fraction *= 10;
          if (round_digit >= 5) ++fraction;
        }
      }
    }
    const size_t before = i_;
    SkipBlanks();
    int half = -1;  // 0 AM, 1 PM
    if (i_ + 2 <= s_.size() && Upper(s_[i_ + 1]) == 'M') {
      if (Upper(s_[i_]) == 'A') half = 0;
      if (Upper(s_[i_]) == 'P') half = 1;
    }
    if (half >= 0) {
      i_ += 2;
      if (hour < 1 || hour > 12) return false;
      hour = hour % 12 + half * 12;
    } else {
      i_ = before;
      if (!colon) return false;  // a bare number is no time
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
    ticks = ((hour * 60 + minute) * 60 + second) * int64_t{10'000'000} + fraction;
    return true;
  }

  // Up to `max_digits` digits (and no more) into `value`.
  bool Number(int& value, size_t& digits, size_t max_digits) {
    value = 0;
    digits = 0;
    while (i_ < s_.size() && IsDigit(s_[i_])) {
      if (++digits > max_digits) return false;
      value = value * 10 + (s_[i_++] - '0');
    }
    return digits > 0;
  }
  bool Consume(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  void SkipBlanks() {
    while (i_ < s_.size() && IsSpace(s_[i_])) ++i_;
  }

  std::string_view s_;
  size_t i_ = 0;
};

// Reads `text` as a moment; a mismatch or range error names the column.
// `tick` is the unit the column keeps (100-ns ticks); the time is rounded to
// it before the range is checked, as that may carry into the next day.
Moment ReadMoment(const Literal& lit, const Column& column, int first_year, int64_t tick) {
  Moment m;
  if (!DateReader(Trim(lit.text)).Read(m)) Mismatch(lit, column, "it is not a valid date");
  m.ticks = (m.ticks + tick / 2) / tick * tick;
  if (m.ticks >= kTicksPerDay) {
    m.ticks -= kTicksPerDay;
    ++m.day;
  }
  if (m.year < first_year || m.year > 9999 || m.day > kOleLast)
    OutOfRange(lit, column,
               "dates must lie in the years " + std::to_string(first_year) + " to 9999");
  return m;
}

// Days since 1899-12-30 as Jet stores them: the fraction is the time of day,
// counted forward from midnight even before 1899-12-30. `m` is whole
// milliseconds, which a stored double keeps closely enough to read back.
double OleDays(const Moment& m) {
  const int64_t day = m.day - kOleEpoch;
  const int64_t ms = m.ticks / kTicksPerMs;
  const double fraction = static_cast<double>(ms) / 86'400'000.0;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

// --- text -----------------------------------------------------------------------

// The number of UTF-16 units of UTF-8 `text`, or -1 when it is not valid UTF-8.
int64_t Utf16Length(std::string_view text) {
  int64_t units = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char b = *p;
    if (b < 0x80) {
      ++p;
      ++units;
      continue;
    }
    int extra;
    uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF)
      extra = 1, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF)
      extra = 2, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4)
      extra = 3, cp = b & 0x07;
    else
      return -1;
    if (end - p <= extra) return -1;
    for (int k = 1; k <= extra; ++k) {
      if ((p[k] & 0xC0) != 0x80) return -1;
      cp = (cp << 6) | (p[k] & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return -1;
    units += extra == 3 ? 2 : 1;
    p += extra + 1;
  }
  return units;
}

// Appends the UTF-16LE form of valid UTF-8 `text` to `out`.
void AppendUtf16Le(std::string_view text, Binary& out) {
  auto unit = [&](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    uint32_t cp = *p;
    int extra = cp < 0x80 ? 0 : cp < 0xE0 ? 1 : cp < 0xF0 ? 2 : 3;
    if (extra) cp &= 0x3F >> extra;
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (p[k] & 0x3F);
    p += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
  }
}

std::string& TextSlot(Value& v) {
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  return v.emplace<std::string>();
}
Binary& BinarySlot(Value& v) {
  if (auto* b = std::get_if<Binary>(&v)) return *b;
  return v.emplace<Binary>();
}

// --- per column type -------------------------------------------------------------

// The text of a numeric constant; `scratch` holds a date's day count.
std::string_view NumberText(const Literal& lit, const Column& column, std::string& scratch) {
  switch (lit.kind) {
    case Literal::Kind::kNumber:
    case Literal::Kind::kText:
      return lit.text;
    case Literal::Kind::kTrue:
      return "-1";  // Jet's True is the number -1
    case Literal::Kind::kFalse:
      return "0";
    case Literal::Kind::kDate: {
      char buf[64];
      const double days = OleDays(ReadMoment(lit, column, 100, kTicksPerMs));
      auto r = std::to_chars(buf, buf + sizeof buf, days);
      scratch.assign(buf, r.ptr);
      return scratch;
    }
    default:
      Mismatch(lit, column);
  }
}

void ToInteger(const Literal& lit, const Column& column, Value& out, int64_t low, int64_t high) {
  std::string scratch;
  Decimal d;
  if (!ParseDecimal(NumberText(lit, column, scratch), d)) Mismatch(lit, column);
  const u128 limit = d.negative ? static_cast<u128>(-(low + 1)) + 1 : static_cast<u128>(high);
  u128 magnitude = 0;
  if (!ScaledMagnitude(d, 0, Rounding::kHalfEven, limit, magnitude))
    OutOfRange(lit, column,
               "the limits are " + std::to_string(low) + " and " + std::to_string(high));
  const auto m = static_cast<uint64_t>(magnitude);
  out = d.negative ? static_cast<int64_t>(0 - m) : static_cast<int64_t>(m);
}

void ToMoney(const Literal& lit, const Column& column, Value& out) {
  std::string scratch;
  Decimal d;
  if (!ParseDecimal(NumberText(lit, column, scratch), d)) Mismatch(lit, column);
  constexpr uint64_t kMaxPositive = std::numeric_limits<int64_t>::max();
  const u128 limit = d.negative ? u128{kMaxPositive} + 1 : u128{kMaxPositive};
  u128 magnitude = 0;
  if (!ScaledMagnitude(d, 4, Rounding::kHalfAwayFromZero, limit, magnitude))
    OutOfRange(lit, column, "the limits are -922337203685477.5808 and 922337203685477.5807");
  const auto m = static_cast<uint64_t>(magnitude);
  out = Money{d.negative ? static_cast<int64_t>(0 - m) : static_cast<int64_t>(m)};
}

void ToNumeric(const Literal& lit, const Column& column, Value& out) {
  std::string scratch;
  Decimal d;
  if (!ParseDecimal(NumberText(lit, column, scratch), d)) Mismatch(lit, column);
  const uint8_t precision = column.precision >= 1 && column.precision <= 28 ? column.precision : 28;
  const uint8_t scale = std::min(column.scale, precision);
  u128 limit = 1;
  for (int k = 0; k < precision; ++k) limit *= 10;
  --limit;
  Numeric n;
  n.precision = precision;
  n.scale = scale;
  if (!ScaledMagnitude(d, scale, Rounding::kHalfAwayFromZero, limit, n.magnitude))
    OutOfRange(lit, column,
               "Decimal(" + std::to_string(precision) + "," + std::to_string(scale) +
                   ") holds at most " + std::to_string(precision - scale) +
                   " digits before the decimal point");
  n.negative = d.negative && n.magnitude != 0;
  out = n;
}

// The constant as a double; single-precision columns pass `single`.
double ToReal(const Literal& lit, const Column& column, bool single) {
  std::string scratch;
  Decimal d;
  std::string_view body;
  if (!ParseDecimal(NumberText(lit, column, scratch), d, &body)) Mismatch(lit, column);
  double v = 0;
  auto r = std::from_chars(body.data(), body.data() + body.size(), v);
  const std::string limits = single ? "the largest magnitude is 3.402823466E+38"
                                    : "the largest magnitude is 1.79769313486232E+308";
  if (r.ec == std::errc::result_out_of_range) {
    if (Magnitude(d) > 0) OutOfRange(lit, column, limits);
    v = d.negative ? -0.0 : 0.0;  // too small: zero
  } else if (r.ec != std::errc() || r.ptr != body.data() + body.size()) {
    Mismatch(lit, column);
  }
  if (!std::isfinite(v)) OutOfRange(lit, column, limits);
  if (single) {
    // Anything that rounds to the largest single is one; from halfway to the
    // next power of two it would round to infinity.
    if (std::fabs(v) >= std::ldexp(2.0 - std::ldexp(1.0, -24), 127))
      OutOfRange(lit, column, limits);
    v = static_cast<double>(static_cast<float>(v));
  }
  return v;
}

void ToBool(const Literal& lit, const Column& column, Value& out) {
  switch (lit.kind) {
    case Literal::Kind::kNull:
    case Literal::Kind::kFalse:
      out = false;
      return;
    case Literal::Kind::kTrue:
      out = true;
      return;
    case Literal::Kind::kNumber:
    case Literal::Kind::kText: {
      const std::string_view s = Trim(lit.text);
      for (const char* word : {"TRUE", "YES", "ON"})
        if (EqualsFold(s, word)) {
          out = true;
          return;
        }
      for (const char* word : {"FALSE", "NO", "OFF"})
        if (EqualsFold(s, word)) {
          out = false;
          return;
        }
      Decimal d;
      if (!ParseDecimal(s, d)) Mismatch(lit, column);
      out = !IsZero(d);
      return;
    }
    default:
      Mismatch(lit, column);
  }
}

void ToDateTime(const Literal& lit, const Column& column, Value& out) {
  Decimal number;
  const bool is_number = lit.kind == Literal::Kind::kNumber || lit.kind == Literal::Kind::kTrue ||
                         lit.kind == Literal::Kind::kFalse ||
                         (lit.kind == Literal::Kind::kText && ParseDecimal(lit.text, number));
  if (!is_number) {
    if (lit.kind != Literal::Kind::kText && lit.kind != Literal::Kind::kDate) Mismatch(lit, column);
    out = OleDate{OleDays(ReadMoment(lit, column, 100, kTicksPerMs))};
    return;
  }
  // A number is a count of days, as Jet takes it.
  const double days = ToReal(lit, column, false);
  if (!(days > static_cast<double>(kOleFirst - kOleEpoch - 1) &&
        days < static_cast<double>(kOleLast - kOleEpoch + 1)))
    OutOfRange(lit, column, "dates must lie in the years 100 to 9999");
  out = OleDate{days};
}

void ToExtDateTime(const Literal& lit, const Column& column, Value& out) {
  if (lit.kind != Literal::Kind::kText && lit.kind != Literal::Kind::kDate) Mismatch(lit, column);
  const Moment m = ReadMoment(lit, column, 1, 1);
  out = ExtDateTime{m.day - kExtEpoch, m.ticks};
}

void ToText(const Literal& lit, const Column& column, Value& out, unsigned unit_bytes) {
  std::string_view text;
  switch (lit.kind) {
    case Literal::Kind::kText:
    case Literal::Kind::kNumber:
      text = lit.text;
      break;
    case Literal::Kind::kDate:
      text = Trim(lit.text);
      break;
    case Literal::Kind::kTrue:
      text = "-1";
      break;
    case Literal::Kind::kFalse:
      text = "0";
      break;
    default:
      Mismatch(lit, column);
  }
  const int64_t units = Utf16Length(text);
  if (units < 0) Mismatch(lit, column, "it is not valid UTF-8 text");
  const uint64_t most = column.type == kMemo ? kLongValueMaxBytes / 2
                                             : column.length / (unit_bytes == 0 ? 1 : unit_bytes);
  if (static_cast<uint64_t>(units) > most)
    TooLong(lit, column, static_cast<uint64_t>(units), most, "characters");
  TextSlot(out).assign(text);
}

void ToBinary(const Literal& lit, const Column& column, Value& out) {
  std::string_view text = lit.text;
  const bool hex = lit.kind == Literal::Kind::kText && text.size() >= 2 && text[0] == '0' &&
                   (text[1] == 'x' || text[1] == 'X');
  if (lit.kind == Literal::Kind::kText && !hex && Utf16Length(text) < 0)
    Mismatch(lit, column, "it is not valid UTF-8 text");
  if (lit.kind != Literal::Kind::kBytes && lit.kind != Literal::Kind::kText) Mismatch(lit, column);
  if (hex && text.size() % 2 != 0)
    Mismatch(lit, column, "hexadecimal needs an even number of digits");
  const uint64_t most = column.type == kOle ? kLongValueMaxBytes : column.length;
  uint64_t size = lit.kind == Literal::Kind::kBytes ? text.size()
                  : hex                             ? (text.size() - 2) / 2
                                                    : 2 * static_cast<uint64_t>(Utf16Length(text));
  if (size > most) TooLong(lit, column, size, most, "bytes");
  Binary& bytes = BinarySlot(out);
  bytes.clear();
  if (lit.kind == Literal::Kind::kBytes) {
    bytes.assign(text.begin(), text.end());
  } else if (hex) {
    bytes.reserve(size);
    for (size_t i = 2; i < text.size(); i += 2) {
      const int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
      if (hi < 0 || lo < 0) Mismatch(lit, column, "it is not valid hexadecimal");
      bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
  } else {
    // Text put into a binary column is kept as its UTF-16LE bytes.
    bytes.reserve(size);
    AppendUtf16Le(text, bytes);
  }
}

void ToGuid(const Literal& lit, const Column& column, Value& out) {
  Guid g;
  if (lit.kind == Literal::Kind::kBytes && lit.text.size() == 16) {
    for (size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(lit.text[i]);
    out = g;
    return;
  }
  if (lit.kind != Literal::Kind::kText) Mismatch(lit, column);
  std::string_view s = Trim(lit.text);
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36) Mismatch(lit, column, "it is not a GUID");
  size_t b = 0;
  for (size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (s[i] != '-') Mismatch(lit, column, "it is not a GUID");
      ++i;
      continue;
    }
    const int hi = HexValue(s[i]), lo = HexValue(s[i + 1]);
    if (hi < 0 || lo < 0) Mismatch(lit, column, "it is not a GUID");
    g.bytes[b++] = static_cast<uint8_t>(hi * 16 + lo);
    i += 2;
  }
  out = g;
}

}  // namespace

JetError NullInRequiredColumnError(std::string_view column_name) {
  return JetError(error_numbers::kIntegrityViolation,
                  "The column '" + std::string(column_name) +
                      "' requires a value; NULL cannot be stored in it.");
}

void ConvertLiteral(const Literal& lit, const Column& column, Value& out,
                    unsigned text_unit_bytes) {
  if (lit.kind == Literal::Kind::kNull && column.type != kBool) {
    out = std::monostate{};
    return;
  }
  switch (column.type) {
    case kBool:
      return ToBool(lit, column, out);
    case kByte:
      return ToInteger(lit, column, out, 0, 255);
    case kInt:
      return ToInteger(lit, column, out, INT16_MIN, INT16_MAX);
    case kLong:
      return ToInteger(lit, column, out, INT32_MIN, INT32_MAX);
    case kBigInt:
      return ToInteger(lit, column, out, INT64_MIN, INT64_MAX);
    case kMoney:
      return ToMoney(lit, column, out);
    case kNumeric:
      return ToNumeric(lit, column, out);
    case kFloat:
      out = ToReal(lit, column, true);
      return;
    case kDouble:
      out = ToReal(lit, column, false);
      return;
    case kDateTime:
      return ToDateTime(lit, column, out);
    case kExtDateTime:
      return ToExtDateTime(lit, column, out);
    case kText:
    case kMemo:
      return ToText(lit, column, out, text_unit_bytes);
    case kBinary:
    case kOle:
      return ToBinary(lit, column, out);
    case kGuid:
      return ToGuid(lit, column, out);
    case kComplex:
      throw JetError(error_numbers::kNotSupported,
                     "The column '" + column.name +
                         "' holds attachments or a list of values, which an INSERT cannot give: "
                         "leave it out of the statement, and the new row starts with none.");
    default:
      throw JetError(error_numbers::kNotSupported,
                     "Values for " + Where(column) + " cannot be given by this engine.");
  }
}

}  // namespace jet
