#include "transfer/typed_columns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "dataaccess/error.h"
#include "transfer/statement_text.h"

namespace vq {
namespace {

// ADO type codes the choices are made on.
constexpr int kAdSmallInt = 2, kAdInteger = 3, kAdSingle = 4, kAdDouble = 5, kAdCurrency = 6,
              kAdDate = 7, kAdBoolean = 11, kAdDecimal = 14, kAdUnsignedTinyInt = 17,
              kAdUnsignedSmallInt = 18, kAdUnsignedInt = 19, kAdBigInt = 20, kAdUnsignedBigInt = 21,
              kAdGuid = 72, kAdBinary = 128, kAdChar = 129, kAdWChar = 130, kAdNumeric = 131,
              kAdDBDate = 133, kAdDBTime = 134, kAdDBTimeStamp = 135, kAdVarChar = 200,
              kAdLongVarChar = 201, kAdVarWChar = 202, kAdLongVarWChar = 203, kAdVarBinary = 204,
              kAdLongVarBinary = 205;

// ADO's "data value out of range" (DB_E_DATAOVERFLOW).
constexpr int32_t kValueOutOfRange = -2147217833;

// The widest text Access keeps in a Text column; longer ones need Memo.
constexpr int64_t kAccessMaxText = 255;
// The widest Access Binary column, in bytes.
constexpr int64_t kAccessMaxBinary = 255;
// Access's widest decimal.
constexpr int kAccessMaxPrecision = 28;

[[noreturn]] void CannotHold(const Value& value, const std::string& why) {
  throw DatabaseError(kValueOutOfRange, "The value " + ToText(value) +
                                            " cannot be stored in Sybase ASE as it is: " + why +
                                            ". The row was not sent.");
}

std::string Sized(const char* type, int64_t size, int64_t fallback) {
  return std::string(type) + "(" + std::to_string(size > 0 ? size : fallback) + ")";
}

// "YYYY-MM-DD hh:mm:ss" of `value`, the year written with four digits.
std::string DateText(const DateTime& value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", static_cast<int>(value.year),
                value.month, value.day, value.hour, value.minute, value.second);
  return buf;
}

// The shortest text that reads back as `d`, always with an exponent, so that
// ASE reads it as an approximate number rather than as an exact one.
std::string FloatText(double d) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  return std::string(buf, r.ptr);
}

// Decodes one UTF-8 character at `i`, moving past it; U+FFFD for a broken one.
uint32_t NextCodePoint(const std::string& s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  auto cont = [&](size_t k) { return i + k < s.size() && (byte(i + k) & 0xC0) == 0x80; };
  if (c < 0x80) {
    ++i;
    return c;
  }
  if ((c & 0xE0) == 0xC0 && cont(1)) {
    const uint32_t cp = ((c & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu);
    i += 2;
    return cp;
  }
  if ((c & 0xF0) == 0xE0 && cont(1) && cont(2)) {
    const uint32_t cp = ((c & 0x0Fu) << 12) | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
    i += 3;
    return cp;
  }
  if ((c & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
    const uint32_t cp = ((c & 0x07u) << 18) | ((byte(i + 1) & 0x3Fu) << 12) |
                        ((byte(i + 2) & 0x3Fu) << 6) | (byte(i + 3) & 0x3Fu);
    i += 4;
    return cp;
  }
  ++i;
  return 0xFFFD;
}

}  // namespace

TypedAseColumn TypedAseColumnFor(const FieldInfo& field, const AseServerTypes& server,
                                 bool big_dates) {
  TypedAseColumn c;
  // A key column holds a value in every row, whatever the column says.
  c.not_null = !field.nullable || field.key_position > 0;
  switch (field.type) {
    case kAdUnsignedTinyInt:
      c.type = "tinyint";
      c.kind = TypedAseKind::kInteger;
      break;
    case kAdSmallInt:
      c.type = "smallint";
      c.kind = TypedAseKind::kInteger;
      break;
    case kAdInteger:
    case kAdUnsignedSmallInt:
      c.type = "int";
      c.kind = TypedAseKind::kInteger;
      break;
    case kAdBigInt:
    case kAdUnsignedInt:
      // Before 15.0 a 19-digit numeric holds every 64-bit integer.
      c.type = server.bigint ? "bigint" : "numeric(19,0)";
      c.kind = TypedAseKind::kInteger;
      break;
    case kAdUnsignedBigInt:
      c.type = "numeric(20,0)";
      c.kind = TypedAseKind::kInteger;
      break;
    case kAdCurrency:
      c.type = "money";
      c.kind = TypedAseKind::kExact;
      break;
    case kAdSingle:
      c.type = "real";
      c.kind = TypedAseKind::kReal;
      break;
    case kAdDouble:
      c.type = "float";
      c.kind = TypedAseKind::kFloat;
      break;
    case kAdNumeric:
    case kAdDecimal: {
      const int precision = field.precision > 0 ? field.precision : 18;
      const int scale = std::min<int>(field.scale, precision);
      c.type = "numeric(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
      c.kind = TypedAseKind::kExact;
      break;
    }
    case kAdDate:
    case kAdDBDate:
    case kAdDBTime:
    case kAdDBTimeStamp:
      if (big_dates && server.bigdatetime) {
        c.type = "bigdatetime";
        c.kind = TypedAseKind::kBigDateTime;
      } else {
        c.type = "datetime";
        c.kind = TypedAseKind::kDateTime;
      }
      break;
    case kAdBoolean:
      // ASE's bit holds no null: the column is NOT NULL, as Access's Yes/No
      // holds no null either.
      c.type = "bit";
      c.kind = TypedAseKind::kBit;
      c.not_null = true;
      c.indexable = false;
      break;
    case kAdChar:
    case kAdWChar:
    case kAdVarChar:
    case kAdVarWChar:
      // univarchar counts UTF-16 units, as Access counts the characters of
      // a Text column, and holds every script whatever the server's own
      // character set.
      c.type = Sized("univarchar", field.defined_size, kAccessMaxText);
      c.kind = TypedAseKind::kUnicode;
      break;
    case kAdLongVarChar:
    case kAdLongVarWChar:
      c.type = server.unitext ? "unitext" : "text";
      c.kind = server.unitext ? TypedAseKind::kUnicode : TypedAseKind::kText;
      c.indexable = false;
      break;
    case kAdBinary:
    case kAdVarBinary:
      c.type = Sized("varbinary", field.defined_size, kAccessMaxText);
      c.kind = TypedAseKind::kBinary;
      break;
    case kAdLongVarBinary:
      c.type = "image";
      c.kind = TypedAseKind::kBinary;
      c.indexable = false;
      break;
    case kAdGuid:
      // ASE has no GUID type: the 38 characters "{XXXXXXXX-...}".
      c.type = "char(38)";
      c.kind = TypedAseKind::kText;
      break;
    default:
      // A type Access does not report: its text, whole.
      c.type = server.unitext ? "unitext" : "text";
      c.kind = server.unitext ? TypedAseKind::kUnicode : TypedAseKind::kText;
      c.indexable = false;
      break;
  }
  return c;
}

bool DateTimeHolds(const DateTime& value) {
  if (value.year < 1753 || value.year > 9999) return false;
  if (value.nanosecond % 1000000 != 0) return false;
  // A tick is 10/3 ms; the milliseconds must be those a tick reads back as.
  const int64_t ms = value.nanosecond / 1000000;
  const int64_t ticks = (ms * 3 + 5) / 10;
  return (ticks * 10 + 1) / 3 == ms;
}

std::string TypedAseDefinition(const std::string& name, const TypedAseColumn& column) {
  return "[" + name + "] " + column.type + (column.not_null ? " NOT NULL" : " NULL");
}

std::string AsePrimaryKey(const std::vector<std::string>& key_columns) {
  if (key_columns.empty()) return "";
  std::string out = "PRIMARY KEY (";
  for (size_t k = 0; k < key_columns.size(); ++k) {
    if (k > 0) out += ",";
    out += "[" + key_columns[k] + "]";
  }
  return out + ")";
}

std::string TypedAseLiteral(TypedAseKind kind, const Value& value) {
  if (IsNull(value)) return kind == TypedAseKind::kBit ? "0" : "NULL";
  switch (kind) {
    case TypedAseKind::kBit:
      if (const bool* b = std::get_if<bool>(&value)) return *b ? "1" : "0";
      break;
    case TypedAseKind::kInteger:
    case TypedAseKind::kExact:
      if (std::holds_alternative<int64_t>(value) || std::holds_alternative<Currency>(value) ||
          std::holds_alternative<Decimal>(value)) {
        return ToText(value);
      }
      if (const bool* b = std::get_if<bool>(&value)) return *b ? "1" : "0";
      break;
    case TypedAseKind::kFloat:
      if (const double* d = std::get_if<double>(&value)) {
        if (!std::isfinite(*d)) CannotHold(value, "ASE's float holds finite numbers only");
        return FloatText(*d);
      }
      if (std::holds_alternative<int64_t>(value)) return ToText(value);
      break;
    case TypedAseKind::kReal:
      if (const double* d = std::get_if<double>(&value)) {
        // Access reads a single as the shortest decimal that names it, which
        // for the largest ones lies just above the largest single: the
        // single's own value is what the server is to keep.
        const float f = static_cast<float>(*d);
        if (!std::isfinite(f))
          CannotHold(value, "ASE's real holds finite single-precision numbers only");
        return FloatText(static_cast<double>(f));
      }
      if (std::holds_alternative<int64_t>(value)) return ToText(value);
      break;
    case TypedAseKind::kDateTime:
      if (const DateTime* t = std::get_if<DateTime>(&value)) {
        if (t->year < 1753 || t->year > 9999) {
          CannotHold(value,
                     "its datetime holds the years 1753 to 9999, and this server has no "
                     "bigdatetime");
        }
        if (!DateTimeHolds(*t)) {
          CannotHold(value,
                     "its datetime keeps time to 1/300 second, and this server has no "
                     "bigdatetime");
        }
        char ms[8];
        std::snprintf(ms, sizeof ms, ".%03u", t->nanosecond / 1000000u);
        return "'" + DateText(*t) + ms + "'";
      }
      break;
    case TypedAseKind::kBigDateTime:
      if (const DateTime* t = std::get_if<DateTime>(&value)) {
        if (t->year < 1 || t->year > 9999) {
          CannotHold(value, "its bigdatetime holds the years 1 to 9999");
        }
        if (t->nanosecond % 1000 != 0) {
          CannotHold(value, "its bigdatetime keeps time to the microsecond");
        }
        char us[12];
        std::snprintf(us, sizeof us, ".%06u", t->nanosecond / 1000u);
        return "'" + DateText(*t) + us + "'";
      }
      break;
    case TypedAseKind::kUnicode:
      if (const std::string* s = std::get_if<std::string>(&value)) return AseUnicodeLiteral(*s);
      return AseUnicodeLiteral(ToText(value));
    case TypedAseKind::kText:
      if (const std::string* s = std::get_if<std::string>(&value)) return AseQuotedText(*s);
      return AseQuotedText(ToText(value));
    case TypedAseKind::kBinary:
      if (const Bytes* b = std::get_if<Bytes>(&value)) return BytesToHex(b->data);
      break;
  }
  // A value of another kind than its column's: its text, quoted, for the
  // server to convert or refuse.
  return AseQuotedText(ToText(value));
}

std::string AseUnicodeLiteral(const std::string& text) {
  bool plain = true;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E || c == '\\') {
      plain = false;
      break;
    }
  }
  if (plain) return QuotedText(text);
  std::string out = "U&'";
  out.reserve(text.size() * 2 + 4);
  char buf[16];
  for (size_t i = 0; i < text.size();) {
    const uint32_t cp = NextCodePoint(text, i);
    if (cp == '\\') {
      out += "\\\\";
    } else if (cp == '\'') {
      out += "''";
    } else if (cp >= 0x20 && cp <= 0x7E) {
      out += static_cast<char>(cp);
    } else if (cp <= 0xFFFF) {
      std::snprintf(buf, sizeof buf, "\\%04X", cp);
      out += buf;
    } else {
      std::snprintf(buf, sizeof buf, "\\+%06X", cp);
      out += buf;
    }
  }
  out += '\'';
  return out;
}

std::string TypedAccessSuffix(const FieldInfo& field, bool takes_bigint, bool& binary) {
  binary = false;
  std::string type;
  switch (field.type) {
    case kAdUnsignedTinyInt:
      type = "BYTE";
      break;
    case kAdSmallInt:
      type = "SHORT";
      break;
    case kAdInteger:
    case kAdUnsignedSmallInt:
      type = "LONG";
      break;
    case kAdBigInt:
    case kAdUnsignedInt:
      // Files before Large Number columns keep a 64-bit integer whole as a
      // 19-digit decimal.
      type = takes_bigint ? "BIGINT" : "DECIMAL(19,0)";
      break;
    case kAdUnsignedBigInt:
      type = "DECIMAL(20,0)";
      break;
    case kAdCurrency:
      type = "CURRENCY";
      break;
    case kAdSingle:
      type = "REAL";
      break;
    case kAdDouble:
      type = "FLOAT";
      break;
    case kAdNumeric:
    case kAdDecimal: {
      // Beyond Access's 28 digits the widest decimal stands in; a value that
      // does not fit it is refused with its row, never cut.
      const int precision =
          std::min<int>(field.precision > 0 ? field.precision : 18, kAccessMaxPrecision);
      const int scale = std::min<int>(field.scale, precision);
      type = "DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
      break;
    }
    case kAdDate:
    case kAdDBDate:
    case kAdDBTime:
    case kAdDBTimeStamp:
      type = "DATETIME";
      break;
    case kAdBoolean:
      type = "BIT";
      break;
    case kAdChar:
    case kAdVarChar:
    case kAdWChar:
    case kAdVarWChar: {
      // The size of a Unicode column counts two bytes a character.
      const bool wide = field.type == kAdWChar || field.type == kAdVarWChar;
      const int64_t characters = wide ? field.defined_size / 2 : field.defined_size;
      type = characters > 0 && characters <= kAccessMaxText
                 ? "VARCHAR(" + std::to_string(characters) + ")"
                 : "MEMO";
      break;
    }
    case kAdLongVarChar:
    case kAdLongVarWChar:
      type = "MEMO";
      break;
    case kAdBinary:
    case kAdVarBinary:
      binary = true;
      type = field.defined_size > 0 && field.defined_size <= kAccessMaxBinary
                 ? "BINARY(" + std::to_string(field.defined_size) + ")"
                 : "OLEOBJECT";
      break;
    case kAdLongVarBinary:
      binary = true;
      type = "OLEOBJECT";
      break;
    case kAdGuid:
      type = "GUID";
      break;
    default:
      type = "MEMO";
      break;
  }
  // Yes/No columns hold no null anyway; NOT NULL would add a Required flag
  // the source never had.
  const bool not_null = !field.nullable && field.type != kAdBoolean;
  return "` " + type + (not_null ? " NOT NULL," : ",");
}

}  // namespace vq
