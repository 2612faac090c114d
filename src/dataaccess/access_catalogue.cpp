// The Access side of the tables catalogue: listing, existence and rename.
#include "dataaccess/access_catalogue.h"

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
  throw DatabaseError(errors::kInvalidArgument, "'" + Printable(name) +
                                                    "' cannot be an Access table name: " + why +
                                                    ". Choose another name.");
}

// "`name`" for a statement. REQUIRES: CheckAccessTableName(name) passed.
std::string Quoted(const std::string& name) {
  return "`" + name + "`";
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
  // A name differing only in case names this very table: no question then.
  if (jet::UpperCaseName(old_name) != jet::UpperCaseName(new_name) &&
      AccessTableExists(env, path, password, new_name)) {
    if (env.dialogs.MsgBox("Would you like to overwrite " + new_name + "?", kMsgYesNo,
                           "Overwrite?") != kAnswerYes) {
      db.Close();
      return false;
    }
    // A table the engine will not drop (one in a relationship) stops the
    // rename here, with both tables as they were.
    db.Execute("DROP TABLE " + Quoted(new_name));
  }
  db.Execute("ALTER TABLE " + Quoted(old_name) + " RENAME TO " + Quoted(new_name) + ";");
  db.Close();
  return true;
}

}  // namespace vq
