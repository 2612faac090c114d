// The Access side of the tables catalogue: listing, existence and rename.
#include "dataaccess/access_catalogue.h"

#include <set>

#include "dataaccess/connection_settings.h"
#include "dataaccess/error_report.h"
#include "dataaccess/helpers.h"
#include "dataaccess/session.h"
#include "jet/text_codec.h"

namespace vq {
namespace {

// Access's own limit on object names, in the UTF-16 units the file stores.
constexpr size_t kMaxNameUnits = 64;

// Counts the UTF-16 units of the UTF-8 text `name`; false when it is not UTF-8.
bool CountUtf16Units(const std::string& name, size_t& units) {
  units = 0;
  for (size_t i = 0; i < name.size();) {
    const auto lead = static_cast<unsigned char>(name[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > name.size()) return false;
    // The second byte's range also rules out overlong forms and surrogates.
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    for (size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(name[i + k]);
      if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
    }
    units += length == 4 ? 2 : 1;
    i += length;
  }
  return true;
}

// The name as a message may show it: control characters become '?'.
std::string Printable(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

[[noreturn]] void RefuseName(const std::string& name, const std::string& why) {
  throw DatabaseError(errors::kInvalidArgument,
                      "'" + Printable(name) + "' is not a valid table name: " + why + ".");
}

// "`name`" for a statement. REQUIRES: CheckAccessTableName(name) passed.
std::string Quoted(const std::string& name) {
  return "`" + name + "`";
}

// A name no catalogue entry of any kind has (tables, queries and system
// objects share one namespace), for holding a table during a rename.
std::string UnusedTableName(DatabaseSession& db) {
  std::set<std::string> taken;
  RecordSet rs = db.OpenSchema(kAdSchemaTables);
  while (!rs.Eof()) {
    taken.insert(jet::UpperCaseName(ToText(rs.Fields().Item("TABLE_NAME").Value())));
    rs.MoveNext();
  }
  rs.Close();
  for (int n = 1;; ++n) {
    std::string candidate = "VqRenaming" + std::to_string(n);
    if (!taken.count(jet::UpperCaseName(candidate))) return candidate;
  }
}

// `error` with `note` added to its description, the number kept.
DatabaseError WithNote(const DatabaseError& error, const std::string& note) {
  return DatabaseError(error.Number(), error.Description() + " " + note);
}

// Renames `old_name` to `new_name` when the two differ only in case. Access
// compares names without case, so copying straight to the new name would meet
// the old table; the rows go through a table of an unused name instead, and at
// every step at least one complete copy of the table exists.
void RenameCaseOnly(DatabaseSession& db, const std::string& old_name, const std::string& new_name) {
  const std::string held = UnusedTableName(db);
  db.Execute("SELECT a1.* INTO " + Quoted(held) + " FROM " + Quoted(old_name) + " AS a1;");
  try {
    db.Execute("DROP TABLE " + Quoted(old_name));
  } catch (const DatabaseError& e) {
    // The old table is still whole; take the spare copy away again if we can.
    try {
      db.Execute("DROP TABLE " + Quoted(held));
    } catch (...) {
      throw WithNote(e, "A copy of the table remains as '" + held + "'.");
    }
    throw;
  }
  try {
    db.Execute("SELECT a1.* INTO " + Quoted(new_name) + " FROM " + Quoted(held) + " AS a1;");
  } catch (const DatabaseError& e) {
    // The only copy is the held one now: it must stay, and the user must learn its name.
    throw WithNote(e, "The table's rows are kept in the table '" + held + "'.");
  }
  try {
    db.Execute("DROP TABLE " + Quoted(held));
  } catch (const DatabaseError& e) {
    throw WithNote(e, "The table was renamed, but its copy '" + held + "' remains.");
  }
}

}  // namespace

std::optional<std::vector<std::string>> ListAccessTables(const CommandEnv& env,
                                                         const std::string& path) {
  try {
    if (!FileExists(path)) return std::nullopt;
    DatabaseSession db;
    db.Open(BuildAccessConnectionString(env.settings, "", ""));
    RecordSet rs = db.OpenSchema(kAdSchemaTables);
    std::vector<std::string> tables;
    while (!rs.Eof()) {
      if (ToText(rs.Fields().Item("TABLE_TYPE").Value()) == "TABLE")
        tables.push_back(ToText(rs.Fields().Item("TABLE_NAME").Value()));
      rs.MoveNext();
    }
    rs.Close();
    db.Close();
    return tables;
  } catch (...) {
    int32_t number = 0;
    std::string description;
    DescribeCurrentException(number, description);
    env.dialogs.MsgBox(ComposeListerReport(description, number), kMsgOkOnly, "");
    return std::nullopt;
  }
}

void FillAccessTableList(const CommandEnv& env, TableList& list, const std::string& path) {
  list.Clear();
  if (auto tables = ListAccessTables(env, path)) {
    for (const std::string& name : *tables) {
      env.yielder.DoEvents();
      list.AddItem(name);
    }
  }
  if (list.ListCount() > 0) list.SetListIndex(0);
}

bool AccessTableExists(const CommandEnv& env, const std::string& path, const std::string& password,
                       const std::string& name) {
  bool found = false;
  if (!FileExists(path)) return found;
  DatabaseSession db;
  db.Open(BuildAccessConnectionString(env.settings, path, password));
  RecordSet rs = db.OpenSchema(kAdSchemaTables);
  // Names compare in upper case, non-ASCII letters included, as Access does.
  const std::string wanted = jet::UpperCaseName(name);
  while (!rs.Eof()) {
    if (ToText(rs.Fields().Item("TABLE_TYPE").Value()) == "TABLE" &&
        jet::UpperCaseName(ToText(rs.Fields().Item("TABLE_NAME").Value())) == wanted)
      found = true;
    rs.MoveNext();
  }
  rs.Close();
  db.Close();
  return found;
}

void CheckAccessTableName(const std::string& name) {
  if (name.empty()) RefuseName(name, "it is empty");
  size_t units = 0;
  if (!CountUtf16Units(name, units)) RefuseName(name, "it is not valid UTF-8 text");
  if (units > kMaxNameUnits) RefuseName(name, "it is longer than 64 characters");
  if (name[0] == ' ') RefuseName(name, "it begins with a blank");
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      RefuseName(name, "it holds a control character");
    if (c == '`') RefuseName(name, "it holds a grave accent (`)");
    if (c == '.' || c == '!' || c == '[' || c == ']')
      RefuseName(name, std::string("it holds the character '") + c + "'");
  }
}

bool RenameAccessTable(const CommandEnv& env, const std::string& old_name,
                       const std::string& new_name, const std::string& path,
                       const std::string& password) {
  CheckAccessTableName(old_name);
  CheckAccessTableName(new_name);
  if (old_name == new_name) return true;
  DatabaseSession db;
  db.Open(BuildAccessConnectionString(env.settings, path, password));
  if (jet::UpperCaseName(old_name) == jet::UpperCaseName(new_name)) {
    // The existing table "named" new_name is this very table: no question.
    RenameCaseOnly(db, old_name, new_name);
    db.Close();
    return true;
  }
  bool result = true;
  if (AccessTableExists(env, path, password, new_name)) {
    if (env.dialogs.MsgBox("Would you like to overwrite " + new_name + "?", kMsgYesNo,
                           "Overwrite?") == kAnswerYes) {
      db.Execute("DROP TABLE " + Quoted(new_name));
    } else {
      result = false;
    }
  }
  if (result) {
    // The old table is dropped only once its copy has been made.
    db.Execute("SELECT a1.* INTO " + Quoted(new_name) + " FROM " + Quoted(old_name) + " AS a1;");
    try {
      db.Execute("DROP TABLE " + Quoted(old_name));
    } catch (const DatabaseError& e) {
      // The old table stays (a relationship holds it, say): take the copy
      // away again, so the failed rename leaves no second table behind.
      try {
        db.Execute("DROP TABLE " + Quoted(new_name));
      } catch (...) {
        throw WithNote(e, "A copy of the table remains as '" + new_name + "'.");
      }
      throw;
    }
  }
  db.Close();
  return result;
}

}  // namespace vq
