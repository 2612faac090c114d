// The Access side of the tables catalogue: listing, existence, rename.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dataaccess/command_env.h"
#include "dataaccess/interaction.h"

namespace vq {

// The user tables of the Access file named in the connection fields, in
// catalogue order; nothing when `path` names no file (no message), or when
// listing failed (after the short "(Error Number = ...)" message).
std::optional<std::vector<std::string>> ListAccessTables(const CommandEnv& env,
                                                         const std::string& path);

// Clears `list` and fills it with the Access user tables, yielding once per
// name; the first entry becomes current when there is one.
void FillAccessTableList(const CommandEnv& env, TableList& list, const std::string& path);

// True when the Access file at `path` has a user table called `name` (any case).
// A missing file is false. Failures pass to the caller.
bool AccessTableExists(const CommandEnv& env, const std::string& path,
                       const std::string& password, const std::string& name);

}  // namespace vq
