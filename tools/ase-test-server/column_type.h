// The ASE datatypes a column can be declared with, and what each one looks like
// on the wire. SQLite stores values without types, so the server keeps the
// declared type of every column in its own catalogue and derives from it the
// TDS type byte, the usertype ASE reports and the storage form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vq::ase_server {

// Declared ASE datatype families.
enum class TypeKind {
  kTinyInt,
  kSmallInt,
  kInt,
  kBigInt,
  kNumeric,
  kDecimal,
  kMoney,
  kSmallMoney,
  kFloat,
  kReal,
  kDateTime,
  kSmallDateTime,
  kDate,
  kTime,
  kChar,
  kVarChar,
  kText,
  kUniChar,
  kUniVarChar,
  kUniText,
  kBinary,
  kVarBinary,
  kImage,
  kBit,
  kBigDateTime,  // 15.5 and later: microseconds, years 1 to 9999
};

// A declared column type with its length or precision and scale.
struct ColumnType {
  TypeKind kind = TypeKind::kInt;
  int length = 0;     // characters for char types, bytes for binary types
  int precision = 0;  // numeric and decimal
  int scale = 0;
};

// A column as the catalogue keeps it.
struct ColumnDefinition {
  std::string name;
  ColumnType type;
  bool nullable = false;
  int key_position = 0;  // place (from 1) in the table's primary key; 0 if none
};

// How a column is described in ROWFMT.
struct WireFormat {
  std::uint8_t type = 0;       // TDS type byte
  std::uint32_t usertype = 0;  // systypes.usertype of the declared type
  int max_length = 0;          // byte count in the type info, where the type has one
};

// Looks up a type name as written in CREATE TABLE ("int", "double precision",
// "univarchar"...); the length arguments are applied separately.
std::optional<TypeKind> TypeKindFromName(std::string_view lower_name);

// The name ASE uses for a type in its messages ("INT", "VARCHAR", ...).
std::string_view TypeMessageName(TypeKind kind);

// The type as it would be written in CREATE TABLE, e.g. "numeric(10,2)".
std::string TypeDeclaration(const ColumnType& type);

// True for the types that take a (length) argument.
bool TakesLength(TypeKind kind);
// True for numeric and decimal.
bool TakesPrecision(TypeKind kind);
// True for character types (single-byte or Unicode) and text LOBs.
bool IsCharacterType(TypeKind kind);
// True for unichar, univarchar and unitext, whose values travel as UTF-16.
bool IsUnicodeType(TypeKind kind);
// True for binary, varbinary and image.
bool IsBinaryType(TypeKind kind);
// True for text, unitext and image.
bool IsLargeObject(TypeKind kind);

// The ROWFMT description of a column of this type.
WireFormat WireFormatFor(const ColumnType& type, bool nullable);

// Bytes FreeTDS expects for a numeric of the given precision (sign byte included).
int NumericByteCount(int precision);

}  // namespace vq::ase_server
