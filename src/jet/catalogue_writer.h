// Keeping the catalogue's own tables when a table is created or dropped.
//
// A local table is one MSysObjects row (Id = its definition page, ParentId =
// the "Tables" container, Name, Type 1, Flags 0, creation and update dates,
// Owner = the owner of the MSysDb row) with an entry in each of MSysObjects'
// two indexes (ParentId + Name, and Id), and one MSysACEs row per permission
// the "Tables" container grants (same SID, ACM 0xFFEFF as Access writes,
// FInheritable false) with its entry in MSysACEs' index. Every index entry
// also counts in its index's entry count in the definition. Dropping removes
// exactly these rows and entries.
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

// Calls `visit` with the place and values of every live row of `table`;
// `visit` returns false to stop.
void ForEachRow(PageSource& source, const Header& header, const TableDefinition& table,
                const std::function<bool(RowPointer, std::vector<Value>&)>& visit);

// Adds the row `values` to the table `def` (a catalogue or other system
// table) with an entry in each of its indexes, counted in the definition.
// `def` must be read afresh after each call: the counts in it have moved.
RowPointer InsertIndexedRow(PageStore& store, const Header& header, const TableDefinition& def,
                            std::vector<Value>& values);

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

  // The names of tables that take part in a relationship with `name`, if any.
  std::vector<std::string> RelationshipsOf(const std::string& name);

 private:
  // Gives back the LVAL rows of the long value whose row field is `field`,
  // and the pages it leaves empty (to the column's `maps`, where known).
  void RemoveLongValue(ByteView field, const LongValueMaps* maps);
  void GiveBackIfEmpty(uint32_t page, const LongValueMaps* maps);
  RowPointer InsertRow(const TableDefinition& def, std::vector<Value>& values);
  void DeleteRow(const TableDefinition& def, RowPointer where, const std::vector<Value>& values);
  void AddToIndexCount(const TableDefinition& def, size_t index, int delta);

  PageStore& store_;
  const Header& header_;
  const std::vector<CatalogueEntry>& catalogue_;
  int32_t tables_container_ = 0;
  uint32_t aces_page_ = 0;
  uint32_t relationships_page_ = 0;
  uint32_t nav_objects_page_ = 0;
  uint32_t nav_groups_page_ = 0;
};

}  // namespace jet
