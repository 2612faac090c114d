// Streaming the rows of one table.
//
// The table's owned-pages usage map names its data pages; each is read in
// turn and its row slots decoded in slot order. Deleted slots are skipped. An
// overflow slot holds a pointer to the row's real place, which is followed
// (through further overflow pointers if need be); the target slot itself is
// marked deleted, so the scan never sees it twice. Pages that the map names
// but that belong to another table, or hold long values, are stale entries
// and are passed over. Only one data page is held at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "jet/row_codec.h"
#include "jet/usage_map.h"

namespace jet {

// The rows of one table, read forward once.
class TableReader {
 public:
  // `file` and `header` must outlive the reader.
  TableReader(PageSource& file, const Header& header, TableDefinition table);

  // The definition the rows are decoded with.
  const TableDefinition& Definition() const { return table_; }

  // Restricts decoding to the columns marked true (all by default).
  void SetWantedColumns(std::vector<bool> wanted) { wanted_ = std::move(wanted); }

  // Replaces `row` with the next row's values; false past the last row.
  bool Next(std::vector<Value>& row);

  // The number of live rows, counted from the slot tables of the data pages
  // without decoding a row. Independent of the reading position.
  uint64_t CountRows();

 private:
  bool NextPage();
  // The bytes of the row behind an overflow slot; `hold` keeps them alive.
  ByteView FollowOverflow(ByteView pointer_bytes, PageBuffer& hold);

  PageSource& file_;
  const Header& header_;
  TableDefinition table_;
  RowDecoder decoder_;
  UsageMap pages_;
  PageBuffer page_;
  std::optional<DataPage> data_;
  uint32_t page_number_ = 0;
  int slot_ = 0;
  std::vector<bool> wanted_;
  PageBuffer overflow_page_;
};

}  // namespace jet
