// The Access side of the tables catalogue: listing and existence.
#include "dataaccess/access_catalogue.h"

#include "dataaccess/connection_settings.h"
#include "dataaccess/error_report.h"
#include "dataaccess/helpers.h"
#include "dataaccess/session.h"
#include "jet/text_codec.h"

namespace vq {
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

}  // namespace vq
