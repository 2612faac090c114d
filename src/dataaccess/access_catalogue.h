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
bool AccessTableExists(const CommandEnv& env, const std::string& path, const std::string& password,
                       const std::string& name);

// Throws DatabaseError kInvalidArgument, naming `name`, unless Access would
// take it as a table name: 1 to 64 characters, no leading blank, none of
// . ! ` [ ] and no control character. Names pass this before they are put
// between grave accents in a statement, so a name can never end the quoting.
void CheckAccessTableName(const std::string& name);

// Renames the table `old_name` of the Access file at `path` to `new_name` in
// place (ALTER TABLE ... RENAME TO, the engine's own statement), so the table
// keeps its key, indexes, properties and relationships. When another table
// already has the new name the user is asked whether to overwrite it; "No"
// changes nothing and gives false, "Yes" drops that table first (refused, and
// nothing renamed, when it is in a relationship). A name differing only in
// case is renamed without a question, and the same name is left alone (true).
// Bad names and database failures throw.
bool RenameAccessTable(const CommandEnv& env, const std::string& old_name,
                       const std::string& new_name, const std::string& path,
                       const std::string& password);

}  // namespace vq
