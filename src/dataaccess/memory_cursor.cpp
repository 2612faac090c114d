#include "dataaccess/memory_cursor.h"

#include <utility>

namespace vq {

MemoryCursor::MemoryCursor(std::vector<FieldInfo> columns, std::vector<std::vector<Value>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

const std::vector<FieldInfo>& MemoryCursor::Columns() const {
  return columns_;
}

bool MemoryCursor::Fetch(std::vector<Value>& row) {
  if (next_ >= rows_.size()) return false;
  row = std::move(rows_[next_++]);
  return true;
}

int64_t MemoryCursor::RowCount() {
  return static_cast<int64_t>(rows_.size());
}

}  // namespace vq
