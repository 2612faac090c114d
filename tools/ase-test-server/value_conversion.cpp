#include "value_conversion.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "date_time.h"
#include "server_charset.h"
#include "server_message.h"

namespace vq::ase_server {
namespace {

// An exact decimal read from a numeric literal: unscaled digits and their scale.
struct ExactNumber {
  Int128 unscaled = 0;
  int scale = 0;
};

// Reads "-12.340" exactly; false when it has more than 38 digits.
bool ReadExact(const std::string& text, ExactNumber& out) {
  std::string digits;
  int scale = 0;
  bool seen_point = false;
  bool negative = false;
  for (char c : text) {
    if (c == '-')
      negative = true;
    else if (c == '+')
      continue;
    else if (c == '.')
      seen_point = true;
    else {
      digits += c;
      if (seen_point) ++scale;
    }
  }
  const auto first = digits.find_first_not_of('0');
  digits = first == std::string::npos ? "0" : digits.substr(first);
  if (digits.size() > 38) return false;
  Int128 v = 0;
  if (!ParseInt128(digits, v)) return false;
  out.unscaled = negative ? -v : v;
  out.scale = scale;
  return true;
}

Int128 Pow10(int n) {
  Int128 v = 1;
  for (int i = 0; i < n; ++i) v *= 10;
  return v;
}

// Rescales to `scale` digits; `exact` tells whether no non-zero digit was
// dropped. nullopt when the result would pass 38 digits.
std::optional<Int128> Rescale(const ExactNumber& n, int scale, bool round, bool& exact) {
  exact = true;
  if (n.scale <= scale) {
    const int grow = scale - n.scale;
    if (grow > 38) return n.unscaled == 0 ? std::optional<Int128>(0) : std::nullopt;
    const Int128 factor = Pow10(grow);
    const Int128 limit = Pow10(38) / factor;
    if (n.unscaled >= limit || n.unscaled <= -limit) return std::nullopt;
    return n.unscaled * factor;
  }
  const int shrink = n.scale - scale;
  if (shrink > 38) {
    exact = n.unscaled == 0;
    return 0;
  }
  const Int128 div = Pow10(shrink);
  Int128 q = n.unscaled / div;
  const Int128 r = n.unscaled % div;
  if (r != 0) {
    exact = false;
    const Int128 rest = r < 0 ? -r : r;
    if (round && rest >= div - rest) q += n.unscaled < 0 ? -1 : 1;
  }
  return q;
}

// Unscaled value of a float at `scale` decimals, rounded; false when out of range.
bool FloatToScaled(double v, int scale, int max_digits, Int128& out) {
  const double scaled = std::round(v * std::pow(10.0, scale));
  if (!std::isfinite(scaled) || std::fabs(scaled) >= std::pow(10.0, max_digits)) return false;
  out = static_cast<Int128>(scaled);
  return true;
}

[[noreturn]] void Refuse(const Literal& literal, const ColumnDefinition& column) {
  throw ServerError(
      messages::ImplicitConversion(LiteralTypeName(literal), TypeMessageName(column.type.kind)));
}

[[noreturn]] void Overflow(const Literal& literal, const ColumnDefinition& column) {
  throw ServerError(messages::ArithmeticOverflow(LiteralTypeName(literal), literal.text,
                                                 TypeMessageName(column.type.kind)));
}

bool IsNumberLiteral(const Literal& l) {
  return l.kind == Literal::Kind::kInteger || l.kind == Literal::Kind::kDecimal ||
         l.kind == Literal::Kind::kFloat;
}

CellValue ToInteger(const Literal& literal, const ColumnDefinition& column) {
  std::int64_t lo = 0, hi = 0;
  switch (column.type.kind) {
    case TypeKind::kTinyInt:
      lo = 0, hi = 255;
      break;
    case TypeKind::kSmallInt:
      lo = -32768, hi = 32767;
      break;
    case TypeKind::kInt:
      lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
      break;
    default:
      lo = std::numeric_limits<std::int64_t>::min(), hi = std::numeric_limits<std::int64_t>::max();
      break;
  }
  Int128 value = 0;
  if (literal.kind == Literal::Kind::kFloat) {
    const double d = std::strtod(literal.text.c_str(), nullptr);
    if (!std::isfinite(d) || d < static_cast<double>(lo) || d >= static_cast<double>(hi) + 1.0) {
      Overflow(literal, column);
    }
    value = static_cast<Int128>(std::trunc(d));
  } else {
    ExactNumber n;
    if (!ReadExact(literal.text, n)) Overflow(literal, column);
    bool exact = true;
    const auto scaled = Rescale(n, 0, false, exact);
    if (!scaled) Overflow(literal, column);
    value = *scaled;
    if (!exact) {
      throw ServerError(messages::ScaleError(LiteralTypeName(literal), literal.text,
                                             TypeMessageName(column.type.kind)));
    }
  }
  if (value < lo || value > hi) Overflow(literal, column);
  return static_cast<std::int64_t>(value);
}

CellValue ToNumeric(const Literal& literal, const ColumnDefinition& column) {
  const int p = column.type.precision, s = column.type.scale;
  Int128 unscaled = 0;
  if (literal.kind == Literal::Kind::kFloat) {
    if (!FloatToScaled(std::strtod(literal.text.c_str(), nullptr), s, p, unscaled)) {
      Overflow(literal, column);
    }
  } else {
    ExactNumber n;
    if (!ReadExact(literal.text, n)) Overflow(literal, column);
    bool exact = true;
    const auto scaled = Rescale(n, s, false, exact);
    if (!scaled) Overflow(literal, column);
    unscaled = *scaled;
    if (!exact) {
      throw ServerError(messages::ScaleError(LiteralTypeName(literal), literal.text,
                                             TypeMessageName(column.type.kind)));
    }
  }
  const Int128 limit = Pow10(p);
  if (unscaled >= limit || unscaled <= -limit) Overflow(literal, column);
  return Numeric{unscaled};
}

CellValue ToMoney(const Literal& literal, const ColumnDefinition& column) {
  const bool small = column.type.kind == TypeKind::kSmallMoney;
  const Int128 hi = small ? Int128{std::numeric_limits<std::int32_t>::max()}
                          : Int128{std::numeric_limits<std::int64_t>::max()};
  const Int128 lo = small ? Int128{std::numeric_limits<std::int32_t>::min()}
                          : Int128{std::numeric_limits<std::int64_t>::min()};
  Int128 units = 0;
  if (literal.kind == Literal::Kind::kFloat) {
    if (!FloatToScaled(std::strtod(literal.text.c_str(), nullptr), 4, 20, units)) {
      Overflow(literal, column);
    }
  } else {
    ExactNumber n;
    if (!ReadExact(literal.text, n)) Overflow(literal, column);
    bool exact = true;
    const auto scaled = Rescale(n, 4, true, exact);  // money rounds to four decimals
    if (!scaled) Overflow(literal, column);
    units = *scaled;
  }
  if (units < lo || units > hi) Overflow(literal, column);
  return static_cast<std::int64_t>(units);
}

CellValue ToFloat(const Literal& literal, const ColumnDefinition& column) {
  const double d = std::strtod(literal.text.c_str(), nullptr);
  if (!std::isfinite(d)) Overflow(literal, column);
  if (column.type.kind == TypeKind::kReal) {
    if (std::fabs(d) > std::numeric_limits<float>::max()) Overflow(literal, column);
    return static_cast<double>(static_cast<float>(d));
  }
  return d;
}

CellValue ToDateTime(const Literal& literal, const ColumnDefinition& column) {
  const TypeKind kind = column.type.kind;
  auto parts = ParseDateTimeText(literal.text);
  auto bad = [&] {
    return ServerError(messages::ConversionSyntax("VARCHAR", literal.text, TypeMessageName(kind)));
  };
  if (!parts) throw bad();
  const std::int64_t days = DaysFrom1900(parts->year, parts->month, parts->day);
  const std::int64_t micro =
      ((parts->hour * 60LL + parts->minute) * 60 + parts->second) * 1000000 + parts->microsecond;
  switch (kind) {
    case TypeKind::kDateTime: {
      std::int64_t ticks = TicksFromMicroseconds(micro);
      std::int64_t d = days;
      if (ticks >= 25920000) {  // rounding reached midnight
        ticks -= 25920000;
        ++d;
      }
      if (parts->year < 1753 || d > DaysFrom1900(9999, 12, 31)) throw bad();
      return d * 25920000 + ticks;
    }
    case TypeKind::kSmallDateTime: {
      // Rounded to the minute: 29.998 s or less rounds down.
      std::int64_t minutes = (micro + 29999000) / 60000000;
      std::int64_t d = days;
      if (minutes >= 1440) {
        minutes -= 1440;
        ++d;
      }
      if (d < 0 || d > DaysFrom1900(2079, 6, 6)) throw bad();
      return d * 1440 + minutes;
    }
    case TypeKind::kDate:
      return days;
    case TypeKind::kBigDateTime: {
      // Microseconds since 0000-01-01, years 1 to 9999 (ASE 15.5 "Date and
      // time datatypes").
      if (parts->year < 1 || parts->year > 9999) throw bad();
      static const std::int64_t kDaysFromYear0 = -DaysFrom1900(0, 1, 1);
      return (days + kDaysFromYear0) * 86400000000LL + micro;
    }
    default: {
      std::int64_t ticks = TicksFromMicroseconds(micro);
      if (ticks >= 25920000) ticks = 25920000 - 1;
      return ticks;
    }
  }
}

// Cuts UTF-8 text to at most `max_bytes` bytes without splitting a character.
void CutUtf8Bytes(std::string& s, std::size_t max_bytes) {
  if (s.size() <= max_bytes) return;
  std::size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  s.resize(end);
}

// Cuts UTF-8 text to at most `max_units` UTF-16 code units.
void CutUtf16Units(std::string& s, std::size_t max_units) {
  std::size_t units = 0, i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    const std::size_t need = len == 4 ? 2 : 1;
    if (units + need > max_units) break;
    units += need;
    i += len;
  }
  if (i < s.size()) s.resize(i);
}

// Cuts text to the `max_bytes` a char or varchar column holds in the
// server's character set, without splitting a character.
void CutStoredBytes(std::string& s, std::size_t max_bytes) {
  if (WireCharset() == ServerCharset::kUtf8) return CutUtf8Bytes(s, max_bytes);
  std::size_t characters = 0, i = 0;
  while (i < s.size() && characters < max_bytes) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    ++characters;
  }
  s.resize(i);
}

CellValue ToText(const Literal& literal, const ColumnDefinition& column) {
  std::string s = literal.text;
  const TypeKind kind = column.type.kind;
  const auto length = static_cast<std::size_t>(column.type.length);
  // char, varchar and text hold the server's character set.
  if (kind == TypeKind::kChar || kind == TypeKind::kVarChar || kind == TypeKind::kText) {
    s = AsStored(std::move(s));
  }
  if (kind == TypeKind::kChar || kind == TypeKind::kVarChar) CutStoredBytes(s, length);
  if (kind == TypeKind::kUniChar || kind == TypeKind::kUniVarChar) CutUtf16Units(s, length);
  const bool fixed_padded =
      (kind == TypeKind::kChar || kind == TypeKind::kUniChar) && !column.nullable;
  if (fixed_padded) {
    // Fixed-length NOT NULL columns are blank-padded to their length.
    const std::size_t have = kind == TypeKind::kChar ? StoredBytes(s) : Utf16Length(s);
    if (have < length) s.append(length - have, ' ');
  } else if (kind != TypeKind::kText && kind != TypeKind::kUniText) {
    // Variable-length (and nullable fixed) columns lose trailing blanks.
    while (!s.empty() && s.back() == ' ') s.pop_back();
  }
  // ASE never stores an empty string: '' becomes one space.
  if (s.empty()) s.push_back(' ');
  return Text{std::move(s)};
}

CellValue ToBinary(const Literal& literal, const ColumnDefinition& column) {
  std::string hex = literal.text;
  if (hex.size() % 2 != 0) hex.insert(hex.begin(), '0');
  Binary out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    out.bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  const auto length = static_cast<std::size_t>(column.type.length);
  if (column.type.kind != TypeKind::kImage) {
    if (out.bytes.size() > length) out.bytes.resize(length);
    if (column.type.kind == TypeKind::kBinary && !column.nullable) out.bytes.resize(length, 0);
    // Trailing zeros of varbinary are kept; an empty value is one zero byte.
  }
  if (out.bytes.empty()) out.bytes.push_back(0);
  return out;
}

}  // namespace

std::string LiteralTypeName(const Literal& literal) {
  switch (literal.kind) {
    case Literal::Kind::kInteger: {
      ExactNumber n;
      if (ReadExact(literal.text, n) && n.unscaled >= std::numeric_limits<std::int32_t>::min() &&
          n.unscaled <= std::numeric_limits<std::int32_t>::max()) {
        return "INT";
      }
      return "NUMERIC";
    }
    case Literal::Kind::kDecimal:
      return "NUMERIC";
    case Literal::Kind::kFloat:
      return "FLOAT";
    case Literal::Kind::kString:
      return "VARCHAR";
    case Literal::Kind::kBinary:
      return "VARBINARY";
    case Literal::Kind::kNull:
      return "NULL";
  }
  return "UNKNOWN";
}

CellValue ConvertLiteral(const Literal& literal, const ColumnDefinition& column,
                         const std::string& table) {
  const TypeKind kind = column.type.kind;
  if (literal.kind == Literal::Kind::kNull) {
    // bit columns never hold NULL, whatever their declaration said.
    if (!column.nullable || kind == TypeKind::kBit) {
      throw ServerError(messages::NullNotAllowed(column.name, table));
    }
    return std::monostate{};
  }
  switch (kind) {
    case TypeKind::kTinyInt:
    case TypeKind::kSmallInt:
    case TypeKind::kInt:
    case TypeKind::kBigInt:
      if (!IsNumberLiteral(literal)) Refuse(literal, column);
      return ToInteger(literal, column);
    case TypeKind::kNumeric:
    case TypeKind::kDecimal:
      if (!IsNumberLiteral(literal)) Refuse(literal, column);
      return ToNumeric(literal, column);
    case TypeKind::kMoney:
    case TypeKind::kSmallMoney:
      if (!IsNumberLiteral(literal)) Refuse(literal, column);
      return ToMoney(literal, column);
    case TypeKind::kFloat:
    case TypeKind::kReal:
      if (!IsNumberLiteral(literal)) Refuse(literal, column);
      return ToFloat(literal, column);
    case TypeKind::kBit: {
      if (!IsNumberLiteral(literal)) Refuse(literal, column);
      const double d = std::strtod(literal.text.c_str(), nullptr);
      return static_cast<std::int64_t>(d != 0.0 ? 1 : 0);
    }
    case TypeKind::kDateTime:
    case TypeKind::kSmallDateTime:
    case TypeKind::kDate:
    case TypeKind::kTime:
    case TypeKind::kBigDateTime:
      if (literal.kind != Literal::Kind::kString) Refuse(literal, column);
      return ToDateTime(literal, column);
    case TypeKind::kChar:
    case TypeKind::kVarChar:
    case TypeKind::kText:
    case TypeKind::kUniChar:
    case TypeKind::kUniVarChar:
    case TypeKind::kUniText:
      if (literal.kind != Literal::Kind::kString) Refuse(literal, column);
      return ToText(literal, column);
    case TypeKind::kBinary:
    case TypeKind::kVarBinary:
    case TypeKind::kImage:
      if (literal.kind != Literal::Kind::kBinary) Refuse(literal, column);
      return ToBinary(literal, column);
  }
  Refuse(literal, column);
}

std::size_t Utf16Length(const std::string& utf8) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

std::string Utf8ToUtf16Le(const std::string& s) {
  std::string out;
  out.reserve(s.size() * 2);
  auto put = [&](std::uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t len = 1;
    auto cont = [&](std::size_t k) {
      return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && cont(1)) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && cont(1) && cont(2)) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
      len = 3;
    } else if ((c & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
      cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
      len = 4;
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp > 0x10FFFF ? 0xFFFD : cp);
    }
  }
  return out;
}

}  // namespace vq::ase_server
