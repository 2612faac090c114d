// Small helpers the catalogues and the commands share.
#pragma once

#include <string>

#include "dataaccess/interaction.h"
#include "dataaccess/value.h"

namespace vq {

// True when the file system can tell the last-modification time of `path`;
// any failure (no such path, empty path, no access) is false, never an error.
bool FileExists(const std::string& path);

// True when some entry equals `name` ignoring case.
bool ListHasItem(const TableList& list, const std::string& name);

// Removes every entry that equals `name` exactly, including neighbours that
// move up into a removed entry's place.
void RemoveListItem(TableList& list, const std::string& name);

// `value`, or `fallback` when the value is null.
Value NullToDefault(const Value& value, const Value& fallback);

}  // namespace vq
