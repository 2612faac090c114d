// Keeping a table's indexes in step with its rows.
//
// Every real index of a table holds one entry per row (a row whose indexed
// columns are all null is left out of an index that ignores nulls), keyed as
// index_key.h builds keys and pointing at the row's slot. A row is checked
// against all of them before anything is written: a key the engine cannot
// build, a null where the index requires a value (primary keys always do), a
// value a unique index already holds, and a child row whose parent is missing
// under an enforced relationship are each refused with the table, the index
// and the value named. The checks read only, so a refused row leaves every
// page as it was even before the statement rolls back.
//
// Before the first row goes into a table, its indexes are compared with its
// rows: an index that disagrees with them (a damaged file, or one changed by
// a program that left the index behind) is refused for writing, never
// "repaired" here; Access's Compact and Repair rebuilds it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/catalogue.h"
#include "jet/header.h"
#include "jet/index_tree.h"
#include "jet/page_store.h"
#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// The number Access gives a row refused by an index or a relationship.
inline constexpr int32_t kIndexRefusal = -2147467259;

// Keeps the usage map at `map` in step with the pages an index tree takes and gives up.
IndexPageListener IndexMapKeeper(PageStore& store, RowPointer map);

// Moves the count of distinct keys of `def`'s real index `index` by one, up
// (`delta` > 0) or down (never below 0).
void ChangeIndexCount(PageStore& store, const TableDefinition& def, size_t index, int delta);

// The name a user knows real index `index` of `def` by: its primary key's,
// else its first logical index's.
std::string IndexName(const TableDefinition& def, size_t index);

// An enforced relationship in which a table is the child: its rows' values in
// `child_columns` must name a row of `parent` (by its columns `parent_columns`,
// in the same order), unless one of them is null.
struct ParentLink {
  std::string name;    // the relationship's name
  std::string parent;  // the parent table's name
  TableDefinition parent_def;
  std::vector<size_t> child_columns;   // positions in the child's column order
  std::vector<size_t> parent_columns;  // positions in the parent's column order
  size_t parent_index = 0;             // the parent's real index over those columns
};

// The enforced relationships (MSysRelationships rows without the "not
// enforced" flag 0x02) in which `child`, called `name`, is the child. A
// parent that is missing or has no index over the referenced columns cannot
// be checked: a JetError kNotSupported.
std::vector<ParentLink> ParentLinksOf(PageStore& store, const Header& header,
                                      const std::vector<CatalogueEntry>& catalogue,
                                      const TableDefinition& child, const std::string& name);

// The indexes of one table and the relationships that bind its new rows.
class TableIndexes {
 public:
  // `name` is the table's name, for messages; `parents` its enforced
  // relationships as the child. Nothing is read yet.
  TableIndexes(PageStore& store, const Header& header, const TableDefinition& def, std::string name,
               std::vector<ParentLink> parents = {});

  // Compares every index with the table's rows (see above); a disagreement
  // is a JetError kCorrupt naming the index, a key that cannot be built
  // kNotSupported.
  void CheckAgainstRows();

  // Builds the keys of `values` (one per column, in column order) and checks
  // them against every index and relationship; throws when the row would
  // break one. The keys are kept for Add.
  void Check(const std::vector<Value>& values);

  // Adds the entries of the row last checked, now stored at `where`.
  void Add(RowPointer where);

 private:
  [[noreturn]] void Refuse(size_t index, const std::vector<Value>& values,
                           const std::string& why) const;
  std::string ValuesOf(const RealIndex& index, const std::vector<Value>& values) const;

  PageStore& store_;
  const Header& header_;
  const TableDefinition& def_;
  std::string name_;
  std::vector<ParentLink> parents_;
  // Per real index: the key of the row last checked, and whether it goes in.
  std::vector<std::vector<uint8_t>> keys_;
  std::vector<bool> wanted_;
  std::vector<Value> last_values_;
};

// Text of `v` as messages show it: text quoted, numbers plain.
std::string DescribeValue(const Value& v);

}  // namespace jet
