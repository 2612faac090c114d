#include "column_type.h"

#include <array>
#include <utility>

#include "common/ascii.h"

namespace vq::ase_server {
namespace {

// TDS 5.0 type bytes.
constexpr std::uint8_t kInt1 = 0x30, kInt2 = 0x34, kInt4 = 0x38, kInt8 = 0xBF, kIntN = 0x26;
constexpr std::uint8_t kFlt8 = 0x3E, kReal4 = 0x3B, kFltN = 0x6D;
constexpr std::uint8_t kMoney8 = 0x3C, kMoney4 = 0x7A, kMoneyN = 0x6E;
constexpr std::uint8_t kDateTime8 = 0x3D, kDateTime4 = 0x3A, kDateTimeN = 0x6F;
constexpr std::uint8_t kDate4 = 0x31, kDateN = 0x7B, kTime4 = 0x33, kTimeN = 0x93;
constexpr std::uint8_t kNumN = 0x6C, kDecN = 0x6A;
constexpr std::uint8_t kCharFixed = 0x2F, kVarChar = 0x27, kLongChar = 0xAF;
constexpr std::uint8_t kBinaryFixed = 0x2D, kVarBinary = 0x25, kLongBinary = 0xE1;
constexpr std::uint8_t kTextType = 0x23, kImageType = 0x22;
constexpr std::uint8_t kBitType = 0x32;
constexpr std::uint8_t kBigDateTimeN = 0xBB;

struct NamedKind {
  std::string_view name;
  TypeKind kind;
};

constexpr std::array kNames{
    NamedKind{"tinyint", TypeKind::kTinyInt},
    NamedKind{"smallint", TypeKind::kSmallInt},
    NamedKind{"int", TypeKind::kInt},
    NamedKind{"integer", TypeKind::kInt},
    NamedKind{"bigint", TypeKind::kBigInt},
    NamedKind{"numeric", TypeKind::kNumeric},
    NamedKind{"decimal", TypeKind::kDecimal},
    NamedKind{"dec", TypeKind::kDecimal},
    NamedKind{"money", TypeKind::kMoney},
    NamedKind{"smallmoney", TypeKind::kSmallMoney},
    NamedKind{"float", TypeKind::kFloat},
    NamedKind{"double precision", TypeKind::kFloat},
    NamedKind{"real", TypeKind::kReal},
    NamedKind{"datetime", TypeKind::kDateTime},
    NamedKind{"smalldatetime", TypeKind::kSmallDateTime},
    NamedKind{"date", TypeKind::kDate},
    NamedKind{"time", TypeKind::kTime},
    NamedKind{"char", TypeKind::kChar},
    NamedKind{"character", TypeKind::kChar},
    NamedKind{"varchar", TypeKind::kVarChar},
    NamedKind{"text", TypeKind::kText},
    NamedKind{"unichar", TypeKind::kUniChar},
    NamedKind{"univarchar", TypeKind::kUniVarChar},
    NamedKind{"unitext", TypeKind::kUniText},
    NamedKind{"binary", TypeKind::kBinary},
    NamedKind{"varbinary", TypeKind::kVarBinary},
    NamedKind{"image", TypeKind::kImage},
    NamedKind{"bit", TypeKind::kBit},
    NamedKind{"bigdatetime", TypeKind::kBigDateTime},
};

}  // namespace

std::optional<TypeKind> TypeKindFromName(std::string_view lower_name) {
  for (const auto& entry : kNames) {
    if (entry.name == lower_name) return entry.kind;
  }
  return std::nullopt;
}

std::string_view TypeMessageName(TypeKind kind) {
  switch (kind) {
    case TypeKind::kTinyInt:
      return "TINYINT";
    case TypeKind::kSmallInt:
      return "SMALLINT";
    case TypeKind::kInt:
      return "INT";
    case TypeKind::kBigInt:
      return "BIGINT";
    case TypeKind::kNumeric:
      return "NUMERIC";
    case TypeKind::kDecimal:
      return "DECIMAL";
    case TypeKind::kMoney:
      return "MONEY";
    case TypeKind::kSmallMoney:
      return "SMALLMONEY";
    case TypeKind::kFloat:
      return "FLOAT";
    case TypeKind::kReal:
      return "REAL";
    case TypeKind::kDateTime:
      return "DATETIME";
    case TypeKind::kSmallDateTime:
      return "SMALLDATETIME";
    case TypeKind::kDate:
      return "DATE";
    case TypeKind::kTime:
      return "TIME";
    case TypeKind::kChar:
      return "CHAR";
    case TypeKind::kVarChar:
      return "VARCHAR";
    case TypeKind::kText:
      return "TEXT";
    case TypeKind::kUniChar:
      return "UNICHAR";
    case TypeKind::kUniVarChar:
      return "UNIVARCHAR";
    case TypeKind::kUniText:
      return "UNITEXT";
    case TypeKind::kBinary:
      return "BINARY";
    case TypeKind::kVarBinary:
      return "VARBINARY";
    case TypeKind::kImage:
      return "IMAGE";
    case TypeKind::kBit:
      return "BIT";
    case TypeKind::kBigDateTime:
      return "BIGDATETIME";
  }
  return "UNKNOWN";
}

std::string TypeDeclaration(const ColumnType& type) {
  const std::string name = ascii::Lowered(TypeMessageName(type.kind));
  if (TakesLength(type.kind)) return name + "(" + std::to_string(type.length) + ")";
  if (TakesPrecision(type.kind)) {
    return name + "(" + std::to_string(type.precision) + "," + std::to_string(type.scale) + ")";
  }
  return name;
}

bool TakesLength(TypeKind kind) {
  switch (kind) {
    case TypeKind::kChar:
    case TypeKind::kVarChar:
    case TypeKind::kUniChar:
    case TypeKind::kUniVarChar:
    case TypeKind::kBinary:
    case TypeKind::kVarBinary:
      return true;
    default:
      return false;
  }
}

bool TakesPrecision(TypeKind kind) {
  return kind == TypeKind::kNumeric || kind == TypeKind::kDecimal;
}

bool IsCharacterType(TypeKind kind) {
  switch (kind) {
    case TypeKind::kChar:
    case TypeKind::kVarChar:
    case TypeKind::kText:
    case TypeKind::kUniChar:
    case TypeKind::kUniVarChar:
    case TypeKind::kUniText:
      return true;
    default:
      return false;
  }
}

bool IsUnicodeType(TypeKind kind) {
  return kind == TypeKind::kUniChar || kind == TypeKind::kUniVarChar || kind == TypeKind::kUniText;
}

bool IsBinaryType(TypeKind kind) {
  return kind == TypeKind::kBinary || kind == TypeKind::kVarBinary || kind == TypeKind::kImage;
}

bool IsLargeObject(TypeKind kind) {
  return kind == TypeKind::kText || kind == TypeKind::kUniText || kind == TypeKind::kImage;
}

int NumericByteCount(int precision) {
  // Sign byte plus the magnitude bytes FreeTDS reserves for each precision.
  static constexpr std::array<int, 39> kBytes{0,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,
                                              7,  7,  8,  8,  9,  9,  9,  10, 10, 11, 11, 11, 12,
                                              12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17};
  if (precision < 1) precision = 1;
  if (precision > 38) precision = 38;
  return kBytes[static_cast<std::size_t>(precision)];
}

WireFormat WireFormatFor(const ColumnType& type, bool nullable) {
  auto fixed_or_n = [&](std::uint8_t fixed, std::uint8_t n, std::uint32_t user,
                        std::uint32_t user_n, int size) {
    return nullable ? WireFormat{n, user_n, size} : WireFormat{fixed, user, size};
  };
  switch (type.kind) {
    case TypeKind::kTinyInt:
      return fixed_or_n(kInt1, kIntN, 5, 5, 1);
    case TypeKind::kSmallInt:
      return fixed_or_n(kInt2, kIntN, 6, 6, 2);
    case TypeKind::kInt:
      return fixed_or_n(kInt4, kIntN, 7, 7, 4);
    case TypeKind::kBigInt:
      return fixed_or_n(kInt8, kIntN, 43, 43, 8);
    case TypeKind::kNumeric:
      return WireFormat{kNumN, nullable ? 28u : 10u, NumericByteCount(type.precision)};
    case TypeKind::kDecimal:
      return WireFormat{kDecN, nullable ? 27u : 26u, NumericByteCount(type.precision)};
    case TypeKind::kMoney:
      return fixed_or_n(kMoney8, kMoneyN, 11, 17, 8);
    case TypeKind::kSmallMoney:
      return fixed_or_n(kMoney4, kMoneyN, 21, 21, 4);
    case TypeKind::kFloat:
      return fixed_or_n(kFlt8, kFltN, 8, 14, 8);
    case TypeKind::kReal:
      return fixed_or_n(kReal4, kFltN, 23, 23, 4);
    case TypeKind::kDateTime:
      return fixed_or_n(kDateTime8, kDateTimeN, 12, 15, 8);
    case TypeKind::kSmallDateTime:
      return fixed_or_n(kDateTime4, kDateTimeN, 22, 22, 4);
    case TypeKind::kDate:
      return fixed_or_n(kDate4, kDateN, 37, 39, 4);
    case TypeKind::kTime:
      return fixed_or_n(kTime4, kTimeN, 38, 40, 4);
    case TypeKind::kChar:
    case TypeKind::kVarChar: {
      const std::uint32_t user = type.kind == TypeKind::kChar ? 1 : 2;
      if (type.length > 255) return WireFormat{kLongChar, user, type.length};
      const bool fixed = type.kind == TypeKind::kChar && !nullable;
      return WireFormat{fixed ? kCharFixed : kVarChar, user, type.length};
    }
    case TypeKind::kUniChar:
      return WireFormat{kLongBinary, 34, type.length * 2};
    case TypeKind::kUniVarChar:
      return WireFormat{kLongBinary, 35, type.length * 2};
    case TypeKind::kBinary:
    case TypeKind::kVarBinary: {
      const std::uint32_t user = type.kind == TypeKind::kBinary ? 3 : 4;
      if (type.length > 255) return WireFormat{kLongBinary, user, type.length};
      const bool fixed = type.kind == TypeKind::kBinary && !nullable;
      return WireFormat{fixed ? kBinaryFixed : kVarBinary, user, type.length};
    }
    case TypeKind::kText:
      return WireFormat{kTextType, 19, 0x7FFFFFFF};
    case TypeKind::kUniText:
      return WireFormat{kTextType, 36, 0x7FFFFFFF};
    case TypeKind::kImage:
      return WireFormat{kImageType, 20, 0x7FFFFFFF};
    case TypeKind::kBit:
      return WireFormat{kBitType, 16, 1};
    case TypeKind::kBigDateTime:
      // One wire type, null or not; its usertype is not one we could check.
      return WireFormat{kBigDateTimeN, 0, 8};
  }
  return WireFormat{};
}

}  // namespace vq::ase_server
