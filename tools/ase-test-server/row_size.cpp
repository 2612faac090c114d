#include "row_size.h"

#include <algorithm>

#include "value_conversion.h"

namespace vq::ase_server {
namespace {

constexpr int kRowHeader = 2;
constexpr int kRowLength = 2;
constexpr int kPageHeader = 32;
constexpr int kTextPointer = 16;

// Bytes a fixed-length column takes (bit columns are counted apart).
int FixedSize(const ColumnType& type) {
  switch (type.kind) {
    case TypeKind::kTinyInt:
      return 1;
    case TypeKind::kSmallInt:
      return 2;
    case TypeKind::kInt:
    case TypeKind::kSmallMoney:
    case TypeKind::kReal:
    case TypeKind::kSmallDateTime:
    case TypeKind::kDate:
    case TypeKind::kTime:
      return 4;
    case TypeKind::kBigInt:
    case TypeKind::kMoney:
    case TypeKind::kFloat:
    case TypeKind::kDateTime:
    case TypeKind::kBigDateTime:
      return 8;
    case TypeKind::kNumeric:
    case TypeKind::kDecimal:
      return NumericByteCount(type.precision);
    case TypeKind::kChar:
    case TypeKind::kBinary:
    case TypeKind::kVarChar:
    case TypeKind::kVarBinary:
      return type.length;
    case TypeKind::kUniChar:
    case TypeKind::kUniVarChar:
      return 2 * type.length;
    case TypeKind::kText:
    case TypeKind::kUniText:
    case TypeKind::kImage:
      return kTextPointer;
    case TypeKind::kBit:
      return 0;
  }
  return 0;
}

// Bytes a stored value takes in the variable-length part.
int VariableSize(const ColumnDefinition& column, const CellValue& value) {
  if (IsNull(value)) return 0;
  if (IsLargeObject(column.type.kind)) return kTextPointer;
  if (const auto* text = std::get_if<Text>(&value)) {
    return IsUnicodeType(column.type.kind) ? static_cast<int>(2 * Utf16Length(text->utf8))
                                           : static_cast<int>(text->utf8.size());
  }
  if (const auto* binary = std::get_if<Binary>(&value)) {
    return static_cast<int>(binary->bytes.size());
  }
  return FixedSize(column.type);
}

int BitBytes(const std::vector<ColumnDefinition>& columns) {
  int bits = 0;
  for (const auto& c : columns) bits += c.type.kind == TypeKind::kBit ? 1 : 0;
  return (bits + 7) / 8;
}

int FixedPart(const std::vector<ColumnDefinition>& columns) {
  int size = kRowHeader + BitBytes(columns);
  for (const auto& c : columns) {
    if (!IsVariableLength(c)) size += FixedSize(c.type);
  }
  return size;
}

// The whole row from its fixed part and the bytes of its variable data.
int WithVariablePart(const std::vector<ColumnDefinition>& columns, int variable_bytes) {
  const int variable_columns = VariableColumnCount(columns);
  int size = FixedPart(columns);
  if (variable_columns == 0) return size;
  size += kRowLength + variable_bytes + variable_columns + 1;
  return size + (size + 255) / 256;
}

}  // namespace

int MaxRowSize(int page_size) {
  // ASE Reference Manual, "create table", restrictions: allpages-locked tables.
  switch (page_size) {
    case 4096:
      return 4010;
    case 8192:
      return 8106;
    case 16384:
      return 16298;
    default:
      return 1962;
  }
}

bool IsVariableLength(const ColumnDefinition& column) {
  const TypeKind k = column.type.kind;
  if (k == TypeKind::kBit) return false;
  return column.nullable || k == TypeKind::kVarChar || k == TypeKind::kUniVarChar ||
         k == TypeKind::kVarBinary || IsLargeObject(k);
}

int VariableColumnCount(const std::vector<ColumnDefinition>& columns) {
  int n = 0;
  for (const auto& c : columns) n += IsVariableLength(c) ? 1 : 0;
  return n;
}

int NarrowestRowSize(const std::vector<ColumnDefinition>& columns) {
  return WithVariablePart(columns, 0);
}

int WidestRowSize(const std::vector<ColumnDefinition>& columns) {
  int variable = 0;
  for (const auto& c : columns) {
    if (IsVariableLength(c)) variable += FixedSize(c.type);
  }
  return WithVariablePart(columns, variable);
}

int RowSize(const std::vector<ColumnDefinition>& columns, const std::vector<CellValue>& row) {
  int variable = 0;
  for (std::size_t i = 0; i < columns.size() && i < row.size(); ++i) {
    if (IsVariableLength(columns[i])) variable += VariableSize(columns[i], row[i]);
  }
  return WithVariablePart(columns, variable);
}

int LargeObjectPages(const std::vector<ColumnDefinition>& columns,
                     const std::vector<CellValue>& row, int page_size) {
  const int per_page = page_size - 2 * kPageHeader;
  int pages = 0;
  for (std::size_t i = 0; i < columns.size() && i < row.size(); ++i) {
    if (!IsLargeObject(columns[i].type.kind) || IsNull(row[i])) continue;
    std::size_t bytes = 0;
    if (const auto* text = std::get_if<Text>(&row[i])) bytes = text->utf8.size();
    if (const auto* binary = std::get_if<Binary>(&row[i])) bytes = binary->bytes.size();
    pages += std::max(1, static_cast<int>((bytes + per_page - 1) / per_page));
  }
  return pages;
}

int UsableBytesPerPage(int page_size) {
  return page_size - kPageHeader;
}

}  // namespace vq::ase_server
