// A result whose rows are already in memory.
#pragma once

#include <cstddef>
#include <vector>

#include "dataaccess/backend.h"

namespace vq {

// Hands out rows held in a vector, each once, in order: catalogues, small
// results and test doubles.
class MemoryCursor : public Cursor {
 public:
  // Takes the columns and the rows it will hand out.
  MemoryCursor(std::vector<FieldInfo> columns, std::vector<std::vector<Value>> rows);

  // The columns given at construction.
  const std::vector<FieldInfo>& Columns() const override;
  // Moves the next row into `row`; a row is handed out only once.
  bool Fetch(std::vector<Value>& row) override;
  // All rows held, fetched or not.
  int64_t RowCount() override;

 private:
  std::vector<FieldInfo> columns_;
  std::vector<std::vector<Value>> rows_;
  size_t next_ = 0;
};

}  // namespace vq
