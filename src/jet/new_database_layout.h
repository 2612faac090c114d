// What a new, empty database holds: its system tables (columns and indexes),
// the objects of its catalogue, their permissions, and the database's own
// properties. database_create.cpp writes these into a file; this file only
// describes them.
//
// System tables, in the order their definitions are allocated (so the
// catalogue lands on page 2 and MSysACEs on page 3, where every reader looks):
//
//   MSysObjects        the catalogue, 17 columns, indexes ParentIdName, Id
//   MSysACEs           permissions, index ObjectId
//   MSysQueries        saved queries, index ObjectIdAttribute (primary key)
//   MSysRelationships  relationships, indexes szRelationship, szObject,
//                      szReferencedObject
//   ACE only:
//   MSysComplexColumns          attachment and multi-value columns
//   MSysComplexType_<kind>      one table per value kind of such columns
//
// Column descriptors are listed in column-number order; a definition holds
// them sorted by name, as Access stores them. Fixed columns take the fixed
// area in column-number order, variable ones their slots in the same order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/value.h"

namespace jet {

// The formats a new database can be made in.
enum class NewFormat {
  kAccess2000,  // Jet4, AccessVersion 08.50
  kAccess2003,  // Jet4, AccessVersion 09.50 (Access 2002-2003)
  kAccess2007,  // ACE 12 .accdb (Access 2007-2016)
  kAccess97,    // Jet3 .mdb, 2 KB pages, text in code page 1252, AccessVersion 07.53
};

// One column of a system table.
struct SystemColumn {
  const char* name;
  uint8_t type;     // a ColumnType
  uint16_t length;  // stored bytes: TEXT 2 per character, fixed types their size
  uint8_t flags;    // descriptor flags (0x01 fixed, 0x02 updatable, 0x04 autonumber, ...)
  uint8_t extra_flags = 0;
  uint8_t precision = 0, scale = 0;
};

// One index of a system table: a real index and the logical index over it.
struct SystemIndex {
  const char* name;
  std::vector<uint16_t> columns;  // column numbers, all ascending
  uint8_t flags;  // real-index flags (0x01 unique, 0x02 ignore nulls, 0x08 required)
  uint8_t kind;   // logical kind: 0 plain, 1 primary key
};

// One system table of a new database.
struct SystemTable {
  const char* name;
  uint8_t table_type;        // 0x53 engine system table, 0x4E otherwise
  uint32_t catalogue_flags;  // its MSysObjects Flags
  std::vector<SystemColumn> columns;
  std::vector<SystemIndex> indexes;
};

// The system tables of a new database of `format`, MSysObjects first.
std::vector<SystemTable> SystemTablesFor(NewFormat format);

// One object of the catalogue other than a table.
struct CatalogueObject {
  int32_t id;
  int32_t parent_id;
  const char* name;
  int16_t type;
  uint32_t flags;
};

// The containers and the database object of a new database, in the order
// Access lists them (the tables come between MSysDb and the UI containers).
std::vector<CatalogueObject> FixedObjectsBefore();
std::vector<CatalogueObject> FixedObjectsAfter();

// One permission: object, holder, access mask, inherited by new children.
struct Permission {
  int32_t object_id;
  Binary sid;
  int32_t access_mask;
  bool inheritable;
};

// The permissions of a new database whose system tables (SystemTablesFor's
// order) have their definitions on `table_pages`.
std::vector<Permission> PermissionsFor(const std::vector<uint32_t>& table_pages);

// The owner of the database object, the UI containers and new tables.
Binary DatabaseOwner();
// The owner of the engine's own containers and tables.
Binary EngineOwner();

// The database's property blob (the LvProp of MSysDb): AccessVersion and Build.
std::vector<uint8_t> DatabaseProperties(NewFormat format);

}  // namespace jet
