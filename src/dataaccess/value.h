// The values that travel between a database and the program.
//
// A field value is one of: null, truth value, 64-bit integer, double, currency,
// exact decimal, date-time, text (UTF-8), bytes or GUID. Every backend turns its
// own wire or disk form into one of these, and the transfers turn them back into
// SQL literals. ToText() gives the one text form everything agrees on; it never
// looks at the locale, so a file written in Berlin reads the same in Boston.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vq {

// Money as a count of ten-thousandths, the way Access and ASE both store it.
struct Currency {
  int64_t ten_thousandths = 0;
  auto operator<=>(const Currency&) const = default;
};

// An exact decimal of up to 38 digits: magnitude * 10^-scale, with a sign.
struct Decimal {
  unsigned __int128 magnitude = 0;
  uint8_t scale = 0;  // digits after the point, 0..38
  bool negative = false;
  bool operator==(const Decimal&) const = default;
};

// A calendar date and time of day, with no time zone. Fractions are kept to
// 100 ns, which covers Access's Date/Time Extended and ASE's datetime.
struct DateTime {
  int32_t year = 1899;  // proleptic Gregorian; may be below 1 for very old Jet dates
  uint8_t month = 12;
  uint8_t day = 30;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint32_t nanosecond = 0;
  auto operator<=>(const DateTime&) const = default;
};

// A GUID held in its printed byte order: bytes[0] is the first two hex digits of
// "{XXXXXXXX-...}". Backends that store the first three groups little-endian
// swap them on the way in.
struct Guid {
  std::array<uint8_t, 16> bytes{};
  auto operator<=>(const Guid&) const = default;
};

// Raw binary data, kept apart from text so that bytes are never read as characters.
struct Bytes {
  std::vector<uint8_t> data;
  bool operator==(const Bytes&) const = default;
};

// One field value. std::monostate is null.
using Value = std::variant<std::monostate, bool, int64_t, double, Currency, Decimal, DateTime,
                           std::string, Bytes, Guid>;

// True when the value is null.
inline bool IsNull(const Value& v) {
  return std::holds_alternative<std::monostate>(v);
}

// The default, locale-independent text of a value: "True"/"False", decimal
// integers, the shortest round-tripping double with ".", exact currency and
// decimals without exponent or trailing zeros, "YYYY-MM-DD hh:mm:ss" (with
// ".fffffff" trimmed only when a fraction is present), "{GUID}", "0x" + upper-case
// hex for bytes. Null gives the empty text.
std::string ToText(const Value& v);

// Appends ToText(v) to `out`, without a text of its own per value: for callers
// that print many values into one buffer.
void AppendText(std::string& out, const Value& v);

// Text forms of the individual kinds, for callers that already know the kind.
std::string CurrencyToText(Currency c);
std::string DecimalToText(const Decimal& d);
std::string DateTimeToText(const DateTime& dt);
std::string GuidToText(const Guid& g);
std::string BytesToHex(const std::vector<uint8_t>& data);  // "0x" + upper-case hex
std::string DoubleToText(double d);

// Days since 1899-12-30 (the OLE Automation date epoch) to a calendar date and
// time, and back. Jet and ACE store dates this way; fractions below the epoch
// count towards midnight of the day, as Access does.
DateTime DateTimeFromOleDays(double days);
double OleDaysFromDateTime(const DateTime& dt);

// Days from 0001-01-01 for the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
void CivilFromDays(int64_t days, int32_t& year, uint8_t& month, uint8_t& day);

}  // namespace vq
