// An open Access database: the file, its header and its catalogue.
//
// Opening reads page 0 only until the password has been checked, so a refused
// open reads nothing else. Then the page decoder is fixed and the catalogue is
// read once; tables are opened from it by name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jet/catalogue.h"
#include "jet/header.h"
#include "jet/page_file.h"
#include "jet/table_reader.h"

namespace jet {

// One open database file. Not thread-safe.
class Database {
 public:
  // Opens `path` read-only, checking `password` as Access does.
  static std::shared_ptr<Database> Open(const std::string& path, const std::string& password);

  // The parsed file header: format, page size, code page.
  const Header& FileHeader() const { return header_; }
  // The paged file underneath, for readers of this database.
  PageFile& File() { return *file_; }
  // Every object the catalogue lists, read once at open.
  const std::vector<CatalogueEntry>& Catalogue() const { return catalogue_; }

  // The catalogue entry of the table called `name`, compared without regard to
  // case (an exact match wins). Missing: JetError kNoSuchTable.
  const CatalogueEntry& FindTable(const std::string& name) const;

  // The definition of the local table `name`.
  TableDefinition Definition(const std::string& name);

  // A reader over the rows of the local table `name`. The database must outlive it.
  std::unique_ptr<TableReader> OpenTable(const std::string& name);

 private:
  Database() = default;

  std::unique_ptr<PageFile> file_;
  Header header_;
  std::vector<CatalogueEntry> catalogue_;
};

// Equality without regard to case, the way Jet compares object names.
bool NamesEqual(const std::string& a, const std::string& b);

}  // namespace jet
