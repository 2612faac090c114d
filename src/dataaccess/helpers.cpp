#include "dataaccess/helpers.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "common/ascii.h"

namespace vq {

bool FileExists(const std::string& path) {
  // A NUL would cut the path short at the system call and ask about another file.
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  std::error_code ec;
  (void)std::filesystem::last_write_time(std::filesystem::path(path), ec);
  return !ec;
}

bool ListHasItem(const TableList& list, const std::string& name) {
  const std::string wanted = ascii::Lowered(name);
  bool found = false;
  for (int i = 0; i < list.ListCount(); ++i) {
    if (ascii::Lowered(list.List(i)) == wanted) found = true;
  }
  return found;
}

void RemoveListItem(TableList& list, const std::string& name) {
  int i = 0;
  while (i < list.ListCount()) {
    if (list.List(i) == name) {
      list.RemoveItem(i);  // the next entry moves into place i and is examined next
    } else {
      ++i;
    }
  }
}

Value NullToDefault(const Value& value, const Value& fallback) {
  return IsNull(value) ? fallback : value;
}

}  // namespace vq
