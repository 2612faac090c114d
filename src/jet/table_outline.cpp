// A table's shape as text, read from its definition and MSysRelationships.
#include "jet/table_outline.h"

#include <algorithm>
#include <map>

#include "jet/column_types.h"

namespace jet {
namespace {

constexpr uint8_t kAutoNumberFlag = 0x04;
constexpr uint8_t kAutoGuidFlag = 0x40;
constexpr uint8_t kHyperlinkFlag = 0x80;
// Real index flags.
constexpr uint8_t kUnique = 0x01;
constexpr uint8_t kIgnoreNulls = 0x02;
constexpr uint8_t kRequired = 0x08;
// MSysRelationships grbit.
constexpr int64_t kNotEnforced = 0x02;
constexpr int64_t kCascadeUpdates = 0x100;
constexpr int64_t kCascadeDeletes = 0x1000;

std::string Bracketed(const std::string& name) {
  return "[" + name + "]";
}

// One relationship's column pairs, in their order within it.
struct Relationship {
  std::string child, parent;
  int64_t flags = 0;
  std::vector<std::pair<int64_t, std::pair<std::string, std::string>>> pairs;
};

std::string Text(const Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  return s ? *s : std::string();
}

int64_t Integer(const Value& v) {
  const auto* i = std::get_if<int64_t>(&v);
  return i ? *i : 0;
}

// Every relationship that names `table` as child or parent, by name.
std::map<std::string, Relationship> RelationshipsOf(Database& db, const std::string& table) {
  std::map<std::string, Relationship> found;
  bool present = false;
  for (const CatalogueEntry& e : db.Catalogue()) present |= NamesEqual(e.name, "MSysRelationships");
  if (!present) return found;
  const TableDefinition def = db.Definition("MSysRelationships");
  std::map<std::string, size_t> at;
  for (size_t k = 0; k < def.columns.size(); ++k) at[def.columns[k].name] = k;
  for (const char* needed : {"szRelationship", "szObject", "szColumn", "szReferencedObject",
                             "szReferencedColumn", "grbit", "icolumn"}) {
    if (!at.count(needed)) return found;
  }
  auto reader = db.OpenTable("MSysRelationships");
  std::vector<Value> row;
  while (reader->Next(row)) {
    const std::string child = Text(row[at["szObject"]]),
                      parent = Text(row[at["szReferencedObject"]]);
    if (!NamesEqual(child, table) && !NamesEqual(parent, table)) continue;
    Relationship& r = found[Text(row[at["szRelationship"]])];
    r.child = child;
    r.parent = parent;
    r.flags = Integer(row[at["grbit"]]);
    r.pairs.push_back({Integer(row[at["icolumn"]]),
                       {Text(row[at["szColumn"]]), Text(row[at["szReferencedColumn"]])}});
  }
  for (auto& entry : found) std::sort(entry.second.pairs.begin(), entry.second.pairs.end());
  return found;
}

}  // namespace

std::string JetSqlTypeOf(const Column& column, bool jet3) {
  const uint8_t type =
      column.IsCalculated() && column.result_type ? column.result_type : column.type;
  std::string sql;
  switch (type) {
    case kBool:
      sql = "BIT";
      break;
    case kByte:
      sql = "BYTE";
      break;
    case kInt:
      sql = "SHORT";
      break;
    case kLong:
      sql = column.flags & kAutoNumberFlag ? "COUNTER" : "LONG";
      break;
    case kMoney:
      sql = "CURRENCY";
      break;
    case kFloat:
      sql = "SINGLE";
      break;
    case kDouble:
      sql = "DOUBLE";
      break;
    case kDateTime:
      sql = "DATETIME";
      break;
    case kBinary:
      sql = "BINARY(" + std::to_string(column.length) + ")";
      break;
    case kText:
      sql = "TEXT(" + std::to_string(jet3 ? column.length : column.length / 2) + ")";
      break;
    case kOle:
      sql = "LONGBINARY";
      break;
    case kMemo:
      sql = column.flags & kHyperlinkFlag ? "LONGTEXT HYPERLINK" : "LONGTEXT";
      break;
    case kGuid:
      sql = column.flags & kAutoGuidFlag ? "GUID AUTOINCREMENT" : "GUID";
      break;
    case kNumeric:
      sql =
          "DECIMAL(" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ")";
      break;
    case kComplex:
      sql = "COMPLEX";
      break;
    case kBigInt:
      sql = "BIGINT";
      break;
    case kExtDateTime:
      sql = "DATETIME2";
      break;
    default:
      sql = "TYPE" + std::to_string(type);
  }
  if (column.IsCalculated()) sql += " CALCULATED";
  return sql;
}

std::string OutlineTable(Database& db, const std::string& name) {
  const CatalogueEntry& entry = db.FindTable(name);
  const TableDefinition def = db.Definition(entry.name);
  const bool jet3 = db.FileHeader().IsJet3();
  std::string out = "TABLE " + Bracketed(entry.name) + "\n";
  std::vector<const Column*> columns;
  for (const Column& c : def.columns) columns.push_back(&c);
  std::sort(columns.begin(), columns.end(),
            [](const Column* a, const Column* b) { return a->number < b->number; });
  for (const Column* c : columns) {
    out += "COLUMN " + Bracketed(c->name) + " " + JetSqlTypeOf(*c, jet3);
    if (c->required) out += " NOT NULL";
    out += "\n";
  }

  std::map<std::string, std::string> indexes;
  for (const LogicalIndex& logical : def.logical_indexes) {
    if (logical.real_index >= def.real_indexes.size()) continue;
    const RealIndex& real = def.real_indexes[logical.real_index];
    std::string line = "INDEX " + Bracketed(logical.name);
    if (logical.kind == 1) line += " PRIMARY KEY";
    if (logical.kind == 2) line += " FOREIGN KEY";
    if (real.flags & kUnique) line += " UNIQUE";
    if (real.flags & kIgnoreNulls) line += " IGNORE NULLS";
    if (real.flags & kRequired) line += " REQUIRED";
    line += " (";
    for (size_t k = 0; k < real.columns.size(); ++k) {
      const Column* c = def.ColumnByNumber(real.columns[k].column_number);
      if (k > 0) line += ", ";
      line += Bracketed(c ? c->name : "#" + std::to_string(real.columns[k].column_number));
      line += real.columns[k].ascending ? " ASC" : " DESC";
    }
    indexes[logical.name] = line + ")\n";
  }
  for (const auto& index : indexes) out += index.second;

  for (const auto& [relationship, r] : RelationshipsOf(db, entry.name)) {
    std::string child_columns, parent_columns;
    for (const auto& pair : r.pairs) {
      if (!child_columns.empty()) child_columns += ", ";
      if (!parent_columns.empty()) parent_columns += ", ";
      child_columns += Bracketed(pair.second.first);
      parent_columns += Bracketed(pair.second.second);
    }
    out += "RELATIONSHIP " + Bracketed(relationship) + " " + Bracketed(r.child) + "(" +
           child_columns + ") REFERENCES " + Bracketed(r.parent) + "(" + parent_columns + ") " +
           (r.flags & kNotEnforced ? "NOT ENFORCED" : "ENFORCED");
    if (r.flags & kCascadeUpdates) out += " CASCADE UPDATES";
    if (r.flags & kCascadeDeletes) out += " CASCADE DELETES";
    out += "\n";
  }
  return out;
}

}  // namespace jet
