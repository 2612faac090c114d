// Opens a database and reads all of it: the catalogue, then every row of every
// local table. Shared by the bad-input tests and the fuzz target, which need
// each byte of a damaged file to be looked at.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"

namespace jet::testing {

// Rows read, over all tables. Failures propagate as JetError.
inline uint64_t ReadEverything(const std::string& path, const std::string& password = "") {
  auto db = Database::Open(path, password);
  uint64_t rows = 0;
  std::vector<Value> row;
  for (const CatalogueEntry& e : db->Catalogue()) {
    if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
    auto reader = db->OpenTable(e.name);
    while (reader->Next(row)) ++rows;
    reader->CountRows();
  }
  return rows;
}

}  // namespace jet::testing
