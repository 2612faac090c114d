#include "jet/index_maintenance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

#include "common/civil_days.h"
#include "jet/catalogue_writer.h"
#include "jet/database.h"
#include "jet/index_key.h"
#include "jet/table_definition_writer.h"
#include "jet/usage_map_writer.h"

namespace jet {
namespace {

constexpr uint8_t kUniqueFlag = 0x01;
constexpr uint8_t kIgnoreNullsFlag = 0x02;
constexpr uint8_t kRequiredFlag = 0x08;

bool IsNull(const Value& v) {
  return std::holds_alternative<std::monostate>(v);
}

size_t ColumnPosition(const TableDefinition& def, uint16_t number) {
  for (size_t k = 0; k < def.columns.size(); ++k)
    if (def.columns[k].number == number) return k;
  ThrowCorrupt("an index of the table at page " + std::to_string(def.page) + " names column " +
               std::to_string(number) + ", which it lacks");
}

bool IsPrimaryKey(const TableDefinition& def, size_t index) {
  for (const LogicalIndex& l : def.logical_indexes)
    if (l.real_index == index && l.kind == 1) return true;
  return false;
}

// Every indexed column of the row is null (Yes/No columns never are).
bool AllNull(const TableDefinition& def, const RealIndex& index, const std::vector<Value>& row) {
  for (const IndexColumn& c : index.columns) {
    size_t k = ColumnPosition(def, c.column_number);
    if (!IsNull(row[k]) || def.columns[k].type == kBool) return false;
  }
  return true;
}

std::string Hex(const uint8_t* data, size_t size) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (size_t k = 0; k < size; ++k) {
    out += kDigits[data[k] >> 4];
    out += kDigits[data[k] & 15];
  }
  return out;
}

}  // namespace

std::string DescribeValue(const Value& v) {
  if (IsNull(v)) return "Null";
  if (const bool* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  if (const int64_t* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (const double* d = std::get_if<double>(&v)) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, *d);
    return std::string(buf, r.ptr);
  }
  if (const Money* m = std::get_if<Money>(&v)) {
    const int64_t t = m->ten_thousandths;
    const uint64_t a = t < 0 ? 0 - static_cast<uint64_t>(t) : static_cast<uint64_t>(t);
    std::string out = (t < 0 ? "-" : "") + std::to_string(a / 10000);
    std::string frac = std::to_string(10000 + a % 10000).substr(1);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    return frac.empty() ? out : out + "." + frac;
  }
  if (const OleDate* date = std::get_if<OleDate>(&v)) {
    // The fraction is the time forward from midnight, also before 1899-12-30.
    const double day = std::trunc(date->days);
    int64_t seconds = std::llround(std::fabs(date->days - day) * 86400.0);
    const vq::civil::Date civil =
        vq::civil::DateFromDays(static_cast<int64_t>(day) - 25569 + seconds / 86400);
    seconds %= 86400;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld",
                  static_cast<long long>(civil.year), civil.month, civil.day,
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60));
    return buf;
  }
  if (const std::string* s = std::get_if<std::string>(&v)) return "'" + *s + "'";
  if (const Binary* b = std::get_if<Binary>(&v)) return "0x" + Hex(b->data(), b->size());
  if (const Guid* g = std::get_if<Guid>(&v)) {
    std::string h = Hex(g->bytes.data(), g->bytes.size());
    return "{" + h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" +
           h.substr(16, 4) + "-" + h.substr(20) + "}";
  }
  return "a value";
}

IndexPageListener IndexMapKeeper(PageStore& store, RowPointer map) {
  return [&store, map](uint32_t page, bool added) {
    if (map.IsNull()) return;
    UsageMapEditor editor(store, map);
    if (added) {
      editor.Add(page);
    } else {
      editor.Remove(page);
    }
  };
}

void ChangeIndexCount(PageStore& store, const TableDefinition& def, size_t index, int delta) {
  const Layout& l = store.FileLayout();
  size_t at = def.real_indexes[index].count_block_offset + l.real_index_count_field;
  std::vector<uint8_t> stream = ReadDefinitionStream(store, def.page);
  ByteView s(stream.data(), stream.size());
  uint32_t count = s.U32(at);
  count = delta < 0 ? (count > 0 ? count - 1 : 0) : count + 1;
  uint8_t bytes[4];
  for (int k = 0; k < 4; ++k) bytes[k] = static_cast<uint8_t>(count >> (8 * k));
  PatchDefinition(store, def, at, bytes, 4);
}

std::string IndexName(const TableDefinition& def, size_t index) {
  const LogicalIndex* named = nullptr;
  for (const LogicalIndex& l : def.logical_indexes) {
    if (l.real_index != index) continue;
    if (!named || l.kind == 1) named = &l;
  }
  return named ? named->name : "number " + std::to_string(index + 1);
}

std::vector<ParentLink> ParentLinksOf(PageStore& store, const Header& header,
                                      const std::vector<CatalogueEntry>& catalogue,
                                      const TableDefinition& child, const std::string& name) {
  std::map<std::string, std::vector<RelationshipColumn>> groups;
  CatalogueWriter writer(store, header, catalogue);
  for (RelationshipColumn& r : writer.Relationships())
    if (!(r.flags & 0x02) && NamesEqual(r.child, name)) groups[r.name].push_back(std::move(r));

  std::vector<ParentLink> links;
  for (auto& group : groups) {
    // Named, not bound: the lambdas below capture them.
    const std::string& relationship = group.first;
    std::vector<RelationshipColumn>& columns = group.second;
    std::sort(columns.begin(), columns.end(),
              [](const RelationshipColumn& a, const RelationshipColumn& b) {
                return a.position < b.position;
              });
    auto cannot = [&](const std::string& why) {
      throw JetError(error_numbers::kNotSupported, "Rows cannot be added to '" + name +
                                                       "': its relationship '" + relationship +
                                                       "' cannot be checked, because " + why + ".");
    };
    ParentLink link;
    link.name = relationship;
    link.parent = columns.front().parent;
    const CatalogueEntry* parent = nullptr;
    for (const CatalogueEntry& e : catalogue)
      if ((e.type & 0x7F) == 1 && NamesEqual(e.name, link.parent)) parent = &e;
    if (!parent) cannot("its table '" + link.parent + "' is not in the database");
    link.parent = parent->name;
    link.parent_def = ReadTableDefinition(store, header, parent->DefinitionPage());
    auto position = [&](const TableDefinition& def, const std::string& column,
                        const std::string& table) {
      for (size_t k = 0; k < def.columns.size(); ++k)
        if (NamesEqual(def.columns[k].name, column)) return k;
      cannot("table '" + table + "' has no column '" + column + "'");
      return size_t{0};
    };
    for (const RelationshipColumn& c : columns) {
      link.child_columns.push_back(position(child, c.child_column, name));
      link.parent_columns.push_back(position(link.parent_def, c.parent_column, link.parent));
    }
    // The parent's index over exactly the referenced columns, unique ones first.
    std::vector<uint16_t> wanted;
    for (size_t p : link.parent_columns) wanted.push_back(link.parent_def.columns[p].number);
    std::sort(wanted.begin(), wanted.end());
    bool found = false;
    for (int pass = 0; pass < 2 && !found; ++pass) {
      for (size_t k = 0; k < link.parent_def.real_indexes.size() && !found; ++k) {
        const RealIndex& index = link.parent_def.real_indexes[k];
        if (pass == 0 && !(index.flags & kUniqueFlag)) continue;
        std::vector<uint16_t> have;
        for (const IndexColumn& c : index.columns) have.push_back(c.column_number);
        std::sort(have.begin(), have.end());
        if (have == wanted) {
          link.parent_index = k;
          found = true;
        }
      }
    }
    if (!found) cannot("table '" + link.parent + "' has no index over the columns it refers to");
    links.push_back(std::move(link));
  }
  return links;
}

TableIndexes::TableIndexes(PageStore& store, const Header& header, const TableDefinition& def,
                           std::string name, std::vector<ParentLink> parents)
    : store_(store),
      header_(header),
      def_(def),
      name_(std::move(name)),
      parents_(std::move(parents)),
      keys_(def.real_indexes.size()),
      wanted_(def.real_indexes.size(), false) {}

std::string TableIndexes::ValuesOf(const RealIndex& index, const std::vector<Value>& values) const {
  std::string out;
  for (const IndexColumn& c : index.columns) {
    size_t k = ColumnPosition(def_, c.column_number);
    if (!out.empty()) out += ", ";
    out += def_.columns[k].name + " = " + DescribeValue(values[k]);
  }
  return out;
}

void TableIndexes::Refuse(size_t index, const std::vector<Value>& values,
                          const std::string& why) const {
  throw JetError(kIndexRefusal, "The row was not added to '" + name_ + "': " + why + " (" +
                                    ValuesOf(def_.real_indexes[index], values) + ").");
}

void TableIndexes::CheckAgainstRows() {
  const size_t n = def_.real_indexes.size();
  if (n == 0) return;
  std::vector<std::vector<IndexEntry>> expected(n);
  ForEachRow(store_, header_, def_, [&](RowPointer where, std::vector<Value>& row) {
    for (size_t k = 0; k < n; ++k) {
      const RealIndex& index = def_.real_indexes[k];
      if ((index.flags & kIgnoreNullsFlag) && AllNull(def_, index, row)) continue;
      IndexEntry e;
      try {
        e.key = EncodeIndexKey(def_, index, row, header_.IsJet3());
      } catch (const JetError& error) {
        if (error.Number() != error_numbers::kNotSupported) throw;
        throw JetError(error_numbers::kNotSupported, "Rows cannot be added to '" + name_ +
                                                         "': this engine cannot keep its index '" +
                                                         IndexName(def_, k) + "' up to date (" +
                                                         error.what() + ").");
      }
      e.row = where;
      expected[k].push_back(std::move(e));
    }
    return true;
  });
  for (size_t k = 0; k < n; ++k) {
    std::sort(expected[k].begin(), expected[k].end(),
              [](const IndexEntry& a, const IndexEntry& b) { return CompareEntries(a, b) < 0; });
    IndexTree tree(store_, def_, def_.real_indexes[k]);
    const std::string damaged = "the index '" + IndexName(def_, k) + "' of table '" + name_ + "' ";
    const std::string advice =
        "; rows are not added to it. Compact and Repair the database in Access to rebuild it";
    try {
      tree.Verify();
    } catch (const JetError& e) {
      ThrowCorrupt(damaged + "is out of order (" + e.what() + ")" + advice);
    }
    std::vector<IndexEntry> stored = tree.ReadAll();
    bool same = stored.size() == expected[k].size();
    for (size_t i = 0; same && i < stored.size(); ++i) same = stored[i].SameEntry(expected[k][i]);
    if (!same) {
      ThrowCorrupt(damaged + "does not match the table's rows (" + std::to_string(stored.size()) +
                   " entries for " + std::to_string(expected[k].size()) + " rows)" + advice);
    }
  }
}

void TableIndexes::Check(const std::vector<Value>& values) {
  const bool jet3 = header_.IsJet3();
  for (size_t k = 0; k < def_.real_indexes.size(); ++k) {
    const RealIndex& index = def_.real_indexes[k];
    wanted_[k] = false;
    const bool all_null = AllNull(def_, index, values);
    if ((index.flags & kRequiredFlag) || IsPrimaryKey(def_, k)) {
      for (const IndexColumn& c : index.columns) {
        size_t at = ColumnPosition(def_, c.column_number);
        if (IsNull(values[at]) && def_.columns[at].type != kBool)
          Refuse(k, values,
                 "the index '" + IndexName(def_, k) + "' needs a value in '" +
                     def_.columns[at].name + "', and the row has none");
      }
    }
    if ((index.flags & kIgnoreNullsFlag) && all_null) continue;
    try {
      keys_[k] = EncodeIndexKey(def_, index, values, jet3);
    } catch (const JetError& e) {
      if (e.Number() != error_numbers::kNotSupported) throw;
      Refuse(k, values,
             std::string("this engine cannot place it in the index '") + IndexName(def_, k) +
                 "' (" + e.what() + ")");
    }
    wanted_[k] = true;
    if ((index.flags & kUniqueFlag) && !all_null) {
      IndexTree tree(store_, def_, index);
      if (tree.HasKey(keys_[k]))
        Refuse(k, values,
               "another row already has this value in the index '" + IndexName(def_, k) +
                   "', which allows each value only once");
    }
  }
  for (const ParentLink& link : parents_) {
    std::vector<Value> parent_row(link.parent_def.columns.size());
    bool any_null = false;
    for (size_t i = 0; i < link.child_columns.size(); ++i) {
      const Value& v = values[link.child_columns[i]];
      if (IsNull(v)) any_null = true;
      parent_row[link.parent_columns[i]] = v;
    }
    if (any_null) continue;
    const RealIndex& index = link.parent_def.real_indexes[link.parent_index];
    std::vector<uint8_t> key;
    try {
      key = EncodeIndexKey(link.parent_def, index, parent_row, jet3);
    } catch (const JetError& e) {
      if (e.Number() != error_numbers::kNotSupported) throw;
      throw JetError(error_numbers::kNotSupported,
                     "The row was not added to '" + name_ +
                         "': this engine cannot look up its row in '" + link.parent +
                         "' for the relationship '" + link.name + "' (" + e.what() + ").");
    }
    if (!IndexTree(store_, link.parent_def, index).HasKey(key)) {
      std::string given;
      for (size_t c : link.child_columns) {
        if (!given.empty()) given += ", ";
        given += def_.columns[c].name + " = " + DescribeValue(values[c]);
      }
      throw JetError(kIndexRefusal, "The row was not added to '" + name_ + "': table '" +
                                        link.parent + "' has no row it refers to (" + given +
                                        "), and the relationship '" + link.name +
                                        "' requires one. Add that row to '" + link.parent +
                                        "' first.");
    }
  }
  last_values_ = values;
}

void TableIndexes::Add(RowPointer where) {
  for (size_t k = 0; k < def_.real_indexes.size(); ++k) {
    if (!wanted_[k]) continue;
    const RealIndex& index = def_.real_indexes[k];
    IndexTree tree(store_, def_, index, IndexMapKeeper(store_, index.usage_map));
    bool new_key;
    try {
      new_key = tree.Insert(keys_[k], where);
    } catch (const JetError& e) {
      if (e.Number() == error_numbers::kDuplicateKey) {
        Refuse(k, last_values_,
               "another row already has this value in the index '" + IndexName(def_, k) +
                   "', which allows each value only once");
      }
      if (e.Number() == error_numbers::kNotSupported) {
        Refuse(k, last_values_,
               std::string("this engine cannot place it in the index '") + IndexName(def_, k) +
                   "' (" + e.what() + ")");
      }
      throw;
    }
    if (new_key) ChangeIndexCount(store_, def_, k, +1);
  }
}

}  // namespace jet
