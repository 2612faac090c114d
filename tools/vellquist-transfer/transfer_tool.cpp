#include "transfer_tool.h"

#include <optional>
#include <stdexcept>

#include "console_interaction.h"
#include "dataaccess/access_catalogue.h"
#include "dataaccess/ase_catalogue.h"
#include "dataaccess/error_report.h"
#include "dataaccess/helpers.h"
#include "dataaccess/memory_interaction.h"
#include "dataaccess/session.h"
#include "dataaccess/settings_file.h"
#include "transfer/statement_text.h"
#include "transfer/table_commands.h"
#include "transfer/transfer.h"

namespace vq::tools {
namespace {

constexpr const char* kUsage =
    "usage: vellquist-transfer [--settings FILE] [--overwrite yes|no]\n"
    "                          [--column-types keep|text] ACTION...\n"
    "  --send-to-ase T...      send Access tables to Sybase ASE\n"
    "  --send-to-access T...   send Sybase ASE tables to Access\n"
    "  --delete-access T...    drop Access tables\n"
    "  --delete-ase T...       drop Sybase ASE tables\n"
    "  --rename-access OLD NEW rename an Access table\n"
    "  --settings FILE         the connection fields from FILE's [Vellquist] section\n"
    "                          (default: the program's own settings, Zelvora.conf)\n"
    "  --overwrite yes|no      the answer to every overwrite question (default no:\n"
    "                          an existing table is left alone)\n"
    "  --column-types keep|text  keep: tables are created with the source's column\n"
    "                          types, NOT NULL and primary key (the tables window's\n"
    "                          \"Keep column types\"); text (default): as the window\n"
    "                          makes them with the box unchecked\n"
    "T... is one or more table names, each its own argument (quote names with\n"
    "spaces). Actions run in the order given. Exit status 0 when every step\n"
    "succeeded, 1 when a step failed, a database could not be reached or a named\n"
    "table is not listed, 2 for bad options.\n";

enum class Action { kSendToAse, kSendToAccess, kDeleteAccess, kDeleteAse, kRenameAccess };

struct Request {
  Action action;
  std::vector<std::string> tables;  // for a rename: the old name, then the new
};

struct Options {
  std::optional<std::string> settings_file;
  std::optional<bool> overwrite;
  bool keep_column_types = false;
  std::vector<Request> requests;
};

bool UsesAccess(Action a) {
  return a != Action::kDeleteAse;
}
bool UsesAse(Action a) {
  return a != Action::kDeleteAccess && a != Action::kRenameAccess;
}
// The list an action selects its tables in: the Access list or the ASE list.
bool OnAccessList(Action a) {
  return a == Action::kSendToAse || a == Action::kDeleteAccess || a == Action::kRenameAccess;
}

Options Parse(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    // The table names after an action: every argument up to the next option.
    auto names = [&]() {
      std::vector<std::string> out;
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
        out.push_back(args[++i]);
        if (out.back().empty()) throw std::invalid_argument(a + " names an empty table");
      }
      if (out.empty()) throw std::invalid_argument(a + " needs at least one table name");
      return out;
    };
    if (a == "--settings") {
      o.settings_file = value();
    } else if (a == "--overwrite") {
      const std::string& v = value();
      if (v != "yes" && v != "no") throw std::invalid_argument("--overwrite takes yes or no");
      o.overwrite = v == "yes";
    } else if (a == "--column-types") {
      const std::string& v = value();
      if (v != "keep" && v != "text") {
        throw std::invalid_argument("--column-types takes keep or text");
      }
      o.keep_column_types = v == "keep";
    } else if (a == "--send-to-ase") {
      o.requests.push_back({Action::kSendToAse, names()});
    } else if (a == "--send-to-access") {
      o.requests.push_back({Action::kSendToAccess, names()});
    } else if (a == "--delete-access") {
      o.requests.push_back({Action::kDeleteAccess, names()});
    } else if (a == "--delete-ase") {
      o.requests.push_back({Action::kDeleteAse, names()});
    } else if (a == "--rename-access") {
      std::vector<std::string> pair = names();
      if (pair.size() != 2) throw std::invalid_argument("--rename-access takes OLD NEW");
      o.requests.push_back({Action::kRenameAccess, std::move(pair)});
    } else {
      throw std::invalid_argument("unknown option " + a);
    }
  }
  if (o.requests.empty()) throw std::invalid_argument("no action given");
  return o;
}

// Opens and closes a session, so that an unreachable database stops the tool
// before any command runs.
void CheckConnects(const std::string& connection_string) {
  DatabaseSession db;
  db.Open(connection_string);
  db.Close();
}

// Selects exactly the entries `names` in `list` and makes the first current.
// The Access list matches names as Access does, without case; the ASE list
// only as spelt. Returns the names that are not listed.
std::vector<std::string> SelectNames(TableList& list, const std::vector<std::string>& names,
                                     bool ignore_case) {
  for (int i = 0; i < list.ListCount(); ++i) list.SetSelected(i, false);
  list.SetListIndex(-1);
  std::vector<std::string> missing;
  for (const std::string& name : names) {
    int found = -1;
    for (int i = 0; i < list.ListCount() && found < 0; ++i) {
      if (list.List(i) == name) found = i;
    }
    for (int i = 0; i < list.ListCount() && found < 0 && ignore_case; ++i) {
      if (LowerCase(list.List(i)) == LowerCase(name)) found = i;
    }
    if (found < 0) {
      missing.push_back(name);
      continue;
    }
    list.SetSelected(found, true);
    if (list.ListIndex() < 0) list.SetListIndex(found);
  }
  return missing;
}

}  // namespace

int RunVellquistTransfer(const std::vector<std::string>& args, std::ostream& err, bool terminal) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    err << kUsage;
    return kTransferOk;
  }
  Options options;
  try {
    options = Parse(args);
  } catch (const std::invalid_argument& e) {
    err << "vellquist-transfer: " << e.what() << "\n" << kUsage;
    return kTransferCannotStart;
  }

  FixedConnectionSettings settings;
  try {
    settings =
        ReadConnectionSettingsFile(options.settings_file.value_or(DefaultSettingsFile("Zelvora")));
  } catch (const std::exception& e) {
    err << "vellquist-transfer: " << e.what() << "\n";
    return kTransferCannotStart;
  }

  ConsoleDialogs dialogs(err, options.overwrite);
  ConsoleYielder yielder;
  const CommandEnv env{settings, dialogs, yielder};
  MemoryTableList list1, list2;
  ConsoleProgressBar progress(err, terminal);
  ConsolePointer pointer;
  const TablesWindow window{list1, list2, progress, pointer};

  bool access = false, ase = false;
  for (const Request& r : options.requests) {
    access = access || UsesAccess(r.action);
    ase = ase || UsesAse(r.action);
  }
  // The lists are filled as "Next >" fills them, once; the commands keep them in step.
  const std::string file = settings.Get(Setting::kAccessFile);
  try {
    if (access) {
      if (!FileExists(file)) {
        err << "vellquist-transfer: the Access file '" << file << "' does not exist\n";
        return kTransferFailed;
      }
      CheckConnects(BuildAccessConnectionString(settings, "", ""));
      FillAccessTableList(env, list1, file);
      if (dialogs.Shown() > 0) return kTransferFailed;  // the lister's own report
    }
    if (ase) {
      CheckConnects(BuildSybaseConnectionString(settings));
      FillSybaseTableList(env, list2);
    }
  } catch (...) {
    int32_t number = 0;
    std::string description;
    DescribeCurrentException(number, description);
    err << "vellquist-transfer: cannot connect: error " << number << ": " << description << "\n";
    return kTransferFailed;
  }

  TransferOptions transfer;
  transfer.keep_column_types = options.keep_column_types;
  bool missing = false;
  for (const Request& r : options.requests) {
    const bool on_access = OnAccessList(r.action);
    const std::vector<std::string> names =
        r.action == Action::kRenameAccess ? std::vector<std::string>{r.tables[0]} : r.tables;
    TableList& list = on_access ? list1 : list2;
    for (const std::string& name : SelectNames(list, names, on_access)) {
      err << "vellquist-transfer: the " << (on_access ? "Access" : "Sybase ASE")
          << " database has no table '" << name << "'\n";
      missing = true;
    }
    if (list.SelCount() == 0) continue;
    switch (r.action) {
      case Action::kSendToAse:
        SendTablesToAse(env, window, transfer);
        break;
      case Action::kSendToAccess:
        SendTablesToAccess(env, window, transfer);
        break;
      case Action::kDeleteAccess:
        DeleteAccessTables(env, window);
        break;
      case Action::kDeleteAse:
        DeleteAseTables(env, window);
        break;
      case Action::kRenameAccess:
        dialogs.SetInputAnswer(r.tables[1]);
        RenameAccessTableCommand(env, window);
        break;
    }
  }
  return dialogs.Reports() > 0 || missing ? kTransferFailed : kTransferOk;
}

}  // namespace vq::tools
