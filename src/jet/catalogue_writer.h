// Keeping the catalogue's own tables when a table is created or dropped.
//
// A local table is one MSysObjects row (Id = its definition page, ParentId =
// the "Tables" container, Name, Type 1, Flags 0, creation and update dates,
// Owner = the owner of the MSysDb row) with an entry in each of MSysObjects'
// two indexes (ParentId + Name, and Id), and one MSysACEs row per permission
// the "Tables" container grants (same SID, ACM 0xFFEFF as Access writes,
// FInheritable false) with its entry in MSysACEs' index. Every index entry
// also counts in its index's entry count in the definition. Dropping removes
// exactly these rows and entries; for a table with attachment or multi-value
// columns also the MSysComplexColumns rows naming it, and (the caller's part)
// the hidden tables those rows name, each as a table of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/catalogue.h"
#include "jet/header.h"
#include "jet/page_store.h"
#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// Refuses a name Access would not take for a table or a column (`what`
// says which): a JetError kBadName saying why. `code_page`, when not 0, is
// the code page an Access 97 file keeps names in: the name must fit it.
void CheckName(const std::string& name, const char* what, uint16_t code_page = 0);

// One row of MSysRelationships: one column pair of a relationship between a
// child table (`child`) and the table it refers to (`parent`).
struct RelationshipColumn {
  std::string name;
  std::string child, child_column;
  std::string parent, parent_column;
  int64_t flags = 0;     // 0x02: not enforced
  int64_t position = 0;  // the pair's place within the relationship
};

// Calls `visit` with the place and values of every live row of `table`;
// `visit` returns false to stop.
void ForEachRow(PageSource& source, const Header& header, const TableDefinition& table,
                const std::function<bool(RowPointer, std::vector<Value>&)>& visit);

// Adds the row `values` to the table `def` (a catalogue or other system
// table) with an entry in each of its indexes, counted in the definition.
// `def` must be read afresh after each call: the counts in it have moved.
RowPointer InsertIndexedRow(PageStore& store, const Header& header, const TableDefinition& def,
                            std::vector<Value>& values);

// One row of MSysComplexColumns: an attachment or multi-value column of a
// table, whose values are rows of the hidden table `flat_table_id` shaped
// after the shared template table `type_table_id`.
struct ComplexColumnRow {
  std::string column;
  int32_t flat_table_id = 0;
  int32_t type_table_id = 0;
};

// Changes the catalogue tables within one statement.
class CatalogueWriter {
 public:
  CatalogueWriter(PageStore& store, const Header& header,
                  const std::vector<CatalogueEntry>& catalogue);

  // The id of the "Tables" container.
  int32_t TablesContainer() const { return tables_container_; }

  // Adds the rows of the new local table `name` whose definition is on `page`;
  // `properties` is its LvProp blob (empty: none).
  void AddTable(const std::string& name, uint32_t page, const Binary& properties);
  // Removes the rows of the object with `id`.
  void RemoveTable(int32_t id);

  // Removes what the navigation pane of ACE files keeps about the table
  // `name` (its MSysNavPaneObjectIDs row and the group entries that name
  // it), so no entry is left for a table that is gone.
  void RemoveNavigationEntries(const std::string& name);

  // The MSysComplexColumns rows of the table with `id` (none when the file
  // has no such table).
  std::vector<ComplexColumnRow> ComplexColumnsOf(int32_t id);
  // Removes the MSysComplexColumns rows of the table with `id`, with their
  // index entries; the hidden tables they name are the caller's to remove.
  void RemoveComplexColumns(int32_t id);

  // The names of tables that take part in a relationship with `name`, if any.
  std::vector<std::string> RelationshipsOf(const std::string& name);

  // Every row of MSysRelationships (none when the file has no such table).
  std::vector<RelationshipColumn> Relationships();

  // Gives the local table with `id`, now called `old_name`, the name
  // `new_name`: its MSysObjects row and that row's index entries, the
  // MSysRelationships rows that name it, and its navigation pane entry. Its
  // definition, rows, indexes, permissions and properties stay where they are.
  void RenameTable(int32_t id, const std::string& old_name, const std::string& new_name);

 private:
  // Gives back the LVAL rows of the long value whose row field is `field`,
  // and the pages it leaves empty (to the column's `maps`, where known).
  void RemoveLongValue(ByteView field, const LongValueMaps* maps);
  void GiveBackIfEmpty(uint32_t page, const LongValueMaps* maps);
  RowPointer InsertRow(const TableDefinition& def, std::vector<Value>& values);
  void DeleteRow(const TableDefinition& def, RowPointer where, const std::vector<Value>& values);
  // Deletes every row of the system table on `table_page` (called `table`, for
  // messages) whose Long column `column` holds `id`.
  void DeleteRowsNaming(uint32_t table_page, const char* table, const char* column, int32_t id);
  void AddToIndexCount(const TableDefinition& def, size_t index, int delta);
  // Replaces the row at `where` of the table on `def_page` by one whose text
  // column `column` is `text` (`raw` the row as RawFields reads it); long
  // values are carried over as they are stored.
  void RewriteText(uint32_t def_page, RowPointer where, const std::vector<Value>& raw,
                   size_t column, const std::string& text);

  PageStore& store_;
  const Header& header_;
  const std::vector<CatalogueEntry>& catalogue_;
  int32_t tables_container_ = 0;
  uint32_t aces_page_ = 0;
  uint32_t relationships_page_ = 0;
  uint32_t nav_objects_page_ = 0;
  uint32_t nav_groups_page_ = 0;
  uint32_t complex_columns_page_ = 0;
};

}  // namespace jet
