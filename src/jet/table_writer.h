// Adding rows to a table: the one writer every table uses, the catalogue's
// own tables included.
//
// A row is encoded (row_encoder.h), its long values written to the LVAL
// pages of their columns, and placed on the table's current data page: the
// last page of its free-space map while it has room, else a new page that
// joins both of the table's maps. A page that is full leaves the free-space
// map. The definition's row count, autonumber and (ACE) the reference counter
// of attachment and multi-value columns are kept on its first page.
// Index entries are the caller's: the writer says where the row went.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "jet/header.h"
#include "jet/index_maintenance.h"
#include "jet/long_value_writer.h"
#include "jet/page_store.h"
#include "jet/row_encoder.h"
#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// Adds rows to one table within the statements of one store.
class TableWriter {
 public:
  // `store` must outlive the writer.
  TableWriter(PageStore& store, TableDefinition def);

  const TableDefinition& Definition() const { return def_; }

  // Raises the autonumber counter to at least `value` (a copied table keeps
  // its source's counter).
  void RaiseAutonumber(uint32_t value);

  // From now on adds every row's entries to the table's indexes (and checks
  // `parents`, the table's enforced relationships as a child); first checks
  // the indexes against the rows. `name` is the table's, for messages.
  void KeepIndexes(const Header& header, const std::string& name,
                   std::vector<ParentLink> parents = {});

  // Adds a row of `values` (one per column, in column order) and returns
  // where it went. A null in an autonumber column gets the next number; the
  // attachment and multi-value columns take null only, and get the row's new
  // reference (their lists start empty). A row an index or relationship
  // refuses is not written (see TableIndexes).
  RowPointer Insert(std::vector<Value>& values);

  // Adds an already encoded row whose long values are written (copying
  // within a file keeps nothing shared, so callers re-encode instead).
  RowPointer InsertEncoded(const std::vector<uint8_t>& row);

 private:
  RowPointer WriteRow(const std::vector<uint8_t>& row);
  uint32_t PageWithRoom(size_t length);
  uint32_t NewDataPage();
  void SaveCounts();

  PageStore& store_;
  const Layout& layout_;
  TableDefinition def_;
  RowEncoder encoder_;
  std::vector<std::unique_ptr<LongValueWriter>> long_values_;
  std::vector<LongValueWriter*> writers_;  // per column; null for other columns
  std::vector<uint8_t> row_;
  uint32_t current_page_ = 0;
  bool looked_for_page_ = false;
  std::unique_ptr<TableIndexes> indexes_;
};

}  // namespace jet
