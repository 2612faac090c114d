// The catalogue: the rows of MSysObjects, the table whose definition is on page 2.
//
// Each row names one object: Id (for a local table its definition page),
// ParentId, Name, Type (low 7 bits: 1 local table, 4 linked ODBC table,
// 5 query, 6 linked Access table; 3 containers, 2 database objects, 8
// relationships; Access's own UI objects carry 0x8000), Flags (0x80000000 or
// 0x2: system; 0x8: hidden; for queries bits 4..7 give the query kind, 0 being
// a select query), for linked tables Database, Connect and ForeignName, and
// LvProp, the object's property blob.
// Local tables hang under the container named "Tables", found by name rather
// than by a fixed id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/header.h"
#include "jet/page_file.h"

namespace jet {

// What a catalogue object is, as far as listing tables is concerned.
enum class ObjectKind { kUserTable, kSystemTable, kLinkedTable, kQuery, kOther };

// One object of the catalogue.
struct CatalogueEntry {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::string name;
  int32_t type = 0;
  uint32_t flags = 0;
  ObjectKind kind = ObjectKind::kOther;
  bool select_query = false;  // queries: a plain select query
  std::string linked_database;
  std::string foreign_name;
  std::string connect;
  // Local tables: the LvProp field as the row stores it, a long-value
  // reference whose blob is read only when the table's definition needs it.
  std::vector<uint8_t> properties_field;

  // The page of a local table's definition.
  uint32_t DefinitionPage() const { return static_cast<uint32_t>(id) & 0x00FFFFFF; }
};

// Reads every object of the catalogue, in row order.
std::vector<CatalogueEntry> ReadCatalogue(PageSource& file, const Header& header);

}  // namespace jet
