#include "dataaccess/ase_catalogue.h"

#include "dataaccess/connection_settings.h"
#include "dataaccess/session.h"

namespace vq {

bool SybaseConnects(const CommandEnv& env) {
  DatabaseSession db;
  try {
    db.Open(BuildSybaseConnectionString(env.settings));
    return true;
  } catch (const std::exception&) {
    // Unreachable server, closed port, silent host, refused login, unknown
    // database, missing provider: all mean "does not connect", silently.
    return false;
  }
}

void FillSybaseTableList(const CommandEnv& env, TableList& list) {
  DatabaseSession db;
  db.Open(BuildSybaseConnectionString(env.settings));
  RecordSet rs = db.OpenSchema(kAdSchemaTables);
  // Only now that the catalogue is in hand does the list lose its old entries.
  list.Clear();
  while (!rs.Eof()) {
    if (ToText(rs.Fields().Item("TABLE_TYPE").Value()) == "TABLE") {
      env.yielder.DoEvents();
      // System tables are told apart by their catalogue type above, so a user
      // table whose name happens to hold "sys" is listed like any other.
      list.AddItem(ToText(rs.Fields().Item("TABLE_NAME").Value()));
    }
    rs.MoveNext();
  }
  rs.Close();
  db.Close();
}

}  // namespace vq
