#include "transfer/statement_text.h"

#include <algorithm>
#include <cmath>

#include "dataaccess/access_catalogue.h"
#include "dataaccess/error.h"

namespace vq {
namespace {

bool Holds(const std::string& text, const char* piece) {
  return text.find(piece) != std::string::npos;
}

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// The name as a message shows it: control characters become '?'.
std::string Printable(const std::string& name) {
  std::string out = name;
  std::replace_if(out.begin(), out.end(), IsControl, '?');
  return out;
}

[[noreturn]] void Refuse(const std::string& name, const char* what, const char* target,
                         const std::string& why) {
  throw DatabaseError(errors::kInvalidArgument, "'" + Printable(name) + "' cannot be used as a " +
                                                    what + " name in " + target + ": " + why + ".");
}

// Access's widest decimal.
constexpr int kAccessMaxPrecision = 28;
// The widest text Access keeps in a VARCHAR column; longer ones need MEMO.
constexpr int64_t kAccessMaxVarChar = 255;
// ASE's limit on identifiers, in bytes.
constexpr size_t kAseMaxName = 255;

}  // namespace

AseColumn AseColumnFor(const std::string& type_name) {
  if (Holds(type_name, "varwchar")) return {" TEXT NULL,", AseColumnKind::kText};
  if (Holds(type_name, "longvar")) return {" TEXT NULL,", AseColumnKind::kText};
  if (Holds(type_name, "int")) {
    // A 64-bit integer would overflow INTEGER.
    if (Holds(type_name, "bigint")) return {" BIGINT NULL,", AseColumnKind::kNumber};
    return {" INTEGER NULL,", AseColumnKind::kNumber};
  }
  // MONEY keeps the cents that an INTEGER column would refuse.
  if (Holds(type_name, "currency")) return {" MONEY NULL,", AseColumnKind::kNumber};
  if (Holds(type_name, "date")) return {" TEXT NULL,", AseColumnKind::kText};
  // ASE cannot declare a bit column NULL.
  if (Holds(type_name, "bool")) return {" BIT,", AseColumnKind::kBit};
  return {" TEXT NULL,", AseColumnKind::kText};
}

std::string LowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

int RowPercent(int64_t k, int64_t rows) {
  if (rows <= 0) return 0;
  const double percent = static_cast<double>(k + 1) / static_cast<double>(rows) * 100.0;
  return static_cast<int>(std::clamp(std::nearbyint(percent), 0.0, 100.0));
}

std::string QuotedText(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

std::string AseQuotedText(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    out += c;
    if (c == '\'') {
      out += '\'';
    } else if (c == '\\') {
      const bool lf = i + 1 < text.size() && text[i + 1] == '\n';
      const bool crlf = i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n';
      if (lf || crlf) {
        // The second backslash and the first line break make the
        // continuation ASE drops; the first backslash and the second line
        // break are what arrives.
        const char* line_break = lf ? "\n" : "\r\n";
        out.append("\\").append(line_break).append(line_break);
        i += lf ? 1 : 2;
      }
    }
  }
  out += '\'';
  return out;
}

std::string AseLiteral(AseColumnKind kind, const Value& value) {
  if (IsNull(value)) return kind == AseColumnKind::kBit ? "0" : "NULL";
  if (const bool* b = std::get_if<bool>(&value)) return *b ? "1" : "0";
  // Only a number goes bare: any other value in a number column is quoted,
  // so that no text can ever stand in the statement unquoted.
  if (kind == AseColumnKind::kNumber &&
      (std::holds_alternative<int64_t>(value) || std::holds_alternative<Currency>(value) ||
       std::holds_alternative<Decimal>(value) || std::holds_alternative<double>(value))) {
    return ToText(value);
  }
  if (const std::string* s = std::get_if<std::string>(&value)) return AseQuotedText(*s);
  return AseQuotedText(ToText(value));
}

AccessColumn AccessColumnFor(const std::string& type_name, const FieldInfo& info,
                             bool takes_bigint) {
  if (Holds(type_name, "adlongvarbinary")) return {"` OLEOBJECT,", AccessColumnKind::kBinary};
  if (Holds(type_name, "longvar")) return {"` MEMO,", AccessColumnKind::kText};
  if (Holds(type_name, "char")) {
    // The size of a wide-character column counts two bytes a character.
    const int64_t characters =
        Holds(type_name, "wchar") ? info.defined_size / 2 : info.defined_size;
    if (characters > kAccessMaxVarChar) return {"` MEMO,", AccessColumnKind::kText};
    return {"` VARCHAR,", AccessColumnKind::kText};
  }
  if (Holds(type_name, "decimal") || Holds(type_name, "numeric")) {
    if (info.precision == 0) return {"` DECIMAL,", AccessColumnKind::kText};
    // Beyond Access's 28 digits the widest decimal stands in; a value that
    // does not fit it is refused with its row, never cut.
    const int precision = std::min<int>(info.precision, kAccessMaxPrecision);
    const int scale = std::min<int>(info.scale, precision);
    return {"` DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + "),",
            AccessColumnKind::kText};
  }
  if (Holds(type_name, "single")) return {"` REAL,", AccessColumnKind::kText};
  if (Holds(type_name, "bigint")) {
    // A 64-bit integer in a Long column loses everything beyond 2^31. Files
    // without Large Number columns keep it whole as a 19-digit decimal; an
    // unsigned one needs 20 digits, more than BIGINT holds.
    if (Holds(type_name, "unsigned")) return {"` DECIMAL(20,0),", AccessColumnKind::kText};
    if (takes_bigint) return {"` BIGINT,", AccessColumnKind::kText};
    return {"` DECIMAL(19,0),", AccessColumnKind::kText};
  }
  if (Holds(type_name, "int")) return {"` INT,", AccessColumnKind::kText};
  if (Holds(type_name, "date")) return {"` DATETIME,", AccessColumnKind::kText};
  if (Holds(type_name, "timestamp")) return {"` DATETIME,", AccessColumnKind::kText};
  if (Holds(type_name, "double")) return {"` FLOAT,", AccessColumnKind::kText};
  return {"` VARCHAR,", AccessColumnKind::kText};
}

void CheckAseName(const std::string& name, const char* what) {
  if (name.empty()) Refuse(name, what, "Sybase ASE", "it is empty");
  if (name.size() > kAseMaxName) Refuse(name, what, "Sybase ASE", "it is longer than 255 bytes");
  for (char c : name) {
    if (c == ']') Refuse(name, what, "Sybase ASE", "it holds a closing bracket (])");
    if (IsControl(c)) Refuse(name, what, "Sybase ASE", "it holds a control character");
  }
}

void CheckAseTableName(const std::string& name) {
  CheckAseName(name, "table");
  if (name[0] == '#') {
    Refuse(name, "table", "Sybase ASE",
           "a name beginning with # makes a temporary table, which the server drops when the "
           "connection closes");
  }
}

void CheckAccessName(const std::string& name, const char* what) {
  try {
    CheckAccessTableName(name);
  } catch (const DatabaseError& e) {
    // Access has one rule for the names of tables and of columns.
    std::string why = e.Description();
    const size_t at = why.rfind("table name: ");
    if (at != std::string::npos) why = why.substr(at + 12);
    // The reason alone: the report says in its own words what to do.
    const std::string advice = " Choose another name.";
    if (why.ends_with(advice)) why.resize(why.size() - advice.size());
    if (!why.empty() && why.back() == '.') why.pop_back();
    Refuse(name, what, "Access", why);
  }
}

void CheckAccessSourceName(const std::string& name) {
  for (char c : name) {
    if (c == '`') Refuse(name, "table", "Access", "it holds a grave accent (`)");
    if (IsControl(c)) Refuse(name, "table", "Access", "it holds a control character");
  }
}

}  // namespace vq
