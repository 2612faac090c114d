#include "result_rows.h"

#include <algorithm>

#include "server_message.h"
#include "tokens.h"
#include "value_conversion.h"

namespace vq::ase_server {

ResultColumn Column(std::string name, TypeKind kind, bool nullable, int length) {
  ResultColumn c;
  c.name = std::move(name);
  c.type.kind = kind;
  c.type.length = length;
  c.nullable = nullable;
  return c;
}

int CompareCells(const CellValue& a, const CellValue& b) {
  if (IsNull(a) || IsNull(b)) return IsNull(a) == IsNull(b) ? 0 : IsNull(a) ? -1 : 1;
  if (const auto* x = std::get_if<Text>(&a)) {
    if (const auto* y = std::get_if<Text>(&b)) {
      std::string_view l = x->utf8, r = y->utf8;
      while (!l.empty() && l.back() == ' ') l.remove_suffix(1);
      while (!r.empty() && r.back() == ' ') r.remove_suffix(1);
      return l.compare(r) < 0 ? -1 : l == r ? 0 : 1;
    }
  }
  if (const auto* x = std::get_if<std::int64_t>(&a)) {
    if (const auto* y = std::get_if<std::int64_t>(&b)) return *x < *y ? -1 : *x > *y ? 1 : 0;
  }
  return a < b ? -1 : b < a ? 1 : 0;
}

bool Holds(const StoredCondition& c, const CellValue& v) {
  using Op = StoredCondition::Op;
  switch (c.op) {
    case Op::kIsNull:
      return IsNull(v);
    case Op::kIsNotNull:
      return !IsNull(v);
    case Op::kIn:
      return !IsNull(v) && std::any_of(c.values.begin(), c.values.end(),
                                       [&](const CellValue& x) { return CompareCells(v, x) == 0; });
    default:
      break;
  }
  if (IsNull(v)) return false;
  const int r = CompareCells(v, c.values.at(0));
  switch (c.op) {
    case Op::kEq:
      return r == 0;
    case Op::kNe:
      return r != 0;
    case Op::kLt:
      return r < 0;
    case Op::kLe:
      return r <= 0;
    case Op::kGt:
      return r > 0;
    default:
      return r >= 0;
  }
}

// Converts WHERE terms against a table's columns; `= NULL` means IS NULL, as
// ASE reads it with ansinull off.
std::vector<StoredCondition> ConvertConditions(const std::vector<Condition>& where,
                                               const std::vector<ColumnDefinition>& columns,
                                               const std::string& table) {
  std::vector<StoredCondition> out;
  for (const Condition& c : where) {
    const auto it = std::find_if(columns.begin(), columns.end(),
                                 [&](const ColumnDefinition& d) { return d.name == c.column; });
    if (it == columns.end()) throw ServerError(messages::InvalidColumn(c.column));
    ColumnDefinition lenient = *it;
    lenient.nullable = true;
    if (lenient.type.kind == TypeKind::kChar || lenient.type.kind == TypeKind::kUniChar) {
      // Comparisons ignore trailing blanks; skip the padding.
      lenient.type.kind =
          lenient.type.kind == TypeKind::kChar ? TypeKind::kVarChar : TypeKind::kUniVarChar;
    }
    if (lenient.type.kind == TypeKind::kBit) lenient.type.kind = TypeKind::kTinyInt;
    StoredCondition sc;
    sc.column = static_cast<int>(it - columns.begin());
    sc.op = static_cast<StoredCondition::Op>(static_cast<int>(c.op));
    for (const Literal& l : c.values) {
      if (l.kind == Literal::Kind::kNull && c.op == Condition::Op::kEq) {
        sc.op = StoredCondition::Op::kIsNull;
      } else if (l.kind == Literal::Kind::kNull && c.op == Condition::Op::kNe) {
        sc.op = StoredCondition::Op::kIsNotNull;
      } else {
        sc.values.push_back(ConvertLiteral(l, lenient, table));
      }
    }
    // text, unitext and image compare with nothing but IS [NOT] NULL.
    if (IsLargeObject(it->type.kind) && sc.op != StoredCondition::Op::kIsNull &&
        sc.op != StoredCondition::Op::kIsNotNull) {
      throw ServerError(messages::LargeObjectInWhere());
    }
    if (sc.op == StoredCondition::Op::kIn && sc.values.empty()) continue;
    out.push_back(std::move(sc));
  }
  return out;
}

void SendRows(PacketChannel& out, const std::vector<ResultColumn>& columns,
              const std::vector<std::vector<CellValue>>& rows, std::uint16_t more,
              std::size_t text_size) {
  Bytes b;
  WriteRowFormat(b, columns);
  for (const auto& row : rows) WriteRow(b, columns, row, text_size);
  WriteDone(b, static_cast<std::uint16_t>(kDoneCount | more),
            static_cast<std::uint32_t>(rows.size()));
  out.Append(b);
}

}  // namespace vq::ase_server
