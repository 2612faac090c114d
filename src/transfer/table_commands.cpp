// "Delete Table/s" and "Rename Table" of both lists. The numbers given to the
// trap are the handlers' statement numbers that the error report names.
#include "transfer/table_commands.h"

#include <string>

#include "dataaccess/access_catalogue.h"
#include "dataaccess/connection_settings.h"
#include "dataaccess/error.h"
#include "dataaccess/error_report.h"
#include "dataaccess/session.h"
#include "transfer/statement_text.h"

namespace vq {
namespace {

// What differs between the two delete commands.
struct DeleteSide {
  const char* handler;
  // The step that tests for a current entry; the walk and the closing steps
  // follow it at fixed distances in both handlers.
  int test_step;
  // Opens `db` on this side, setting what the side sets first.
  void (*open)(DatabaseSession& db, const ConnectionSettings& settings, StepTrap& trap);
  // The drop statement for `name`, or a throw when the name cannot stand in it.
  std::string (*drop)(const std::string& name);
};

void OpenAccess(DatabaseSession& db, const ConnectionSettings& settings, StepTrap& trap) {
  trap.Step(104, [&] { db.SetCursorLocation(kAdUseServer); });
  trap.Step(106, [&] { db.SetMode(kAdModeReadWrite); });
  trap.Step(108, [&] { db.Open(BuildAccessConnectionString(settings, "", "")); });
}

void OpenAse(DatabaseSession& db, const ConnectionSettings& settings, StepTrap& trap) {
  trap.Step(104, [&] { db.Open(BuildSybaseConnectionString(settings)); });
}

std::string AccessDrop(const std::string& name) {
  CheckAccessSourceName(name);
  return "DROP TABLE `" + name + "`;";
}

std::string AseDrop(const std::string& name) {
  CheckAseName(name, "table");
  return "DROP TABLE [" + name + "]";
}

constexpr DeleteSide kAccessSide{"PushButton1_Click", 110, OpenAccess, AccessDrop};
constexpr DeleteSide kAseSide{"PushButton5_Click", 106, OpenAse, AseDrop};

int DeleteTables(const DeleteSide& side, const CommandEnv& env, TableList& list,
                 WindowPointer& pointer) {
  StepTrap trap(env.dialogs, "Form2", side.handler);
  const int t = side.test_step;
  // 100: the connection, unopened; it is released when the command ends.
  DatabaseSession db;
  trap.Step(102, [&] { pointer.SetPointer(kPointerHourglass); });
  side.open(db, env.settings, trap);
  if (trap.Test(t, [&] { return list.ListIndex() == -1; })) {
    trap.Step(t + 12, [&] { env.dialogs.MsgBox(kSelectATable, kMsgOkOnly, ""); });
  } else {
    // From the bottom up, so a removal never moves an entry still to be visited.
    int i = -1;
    trap.For(
        t + 2, i, [&] { return list.ListCount() - 1; }, [] { return 0; },
        [&] {
          if (!trap.Test(t + 4, [&] { return list.Selected(i); })) return;
          // The entry goes only with its table. A table the database still
          // has (refused, or never reached because the connection failed)
          // keeps its entry, so the list goes on showing it; one that has
          // gone meanwhile loses it.
          bool gone = false;
          trap.Step(t + 6, [&] {
            try {
              db.Execute(side.drop(list.List(i)));
              gone = true;
            } catch (const DatabaseError& e) {
              gone = e.Number() == errors::kNoSuchTable;
              throw;
            }
          });
          if (gone) trap.Step(t + 8, [&] { list.RemoveItem(i); });
          // t + 10: the end of the walk.
        },
        -1);
  }
  trap.Step(t + 14, [&] { pointer.SetPointer(kPointerDefault); });
  return trap.Failures();
}

// Removes every entry of `list` that names `name` when case is ignored, as
// Access compares table names.
void RemoveEntriesNaming(TableList& list, const std::string& name) {
  const std::string wanted = LowerCase(name);
  for (int i = list.ListCount() - 1; i >= 0; --i) {
    if (LowerCase(list.List(i)) == wanted) list.RemoveItem(i);
  }
}

}  // namespace

int DeleteAccessTables(const CommandEnv& env, const TablesWindow& window) {
  return DeleteTables(kAccessSide, env, window.list1, window.pointer);
}

int DeleteAseTables(const CommandEnv& env, const TablesWindow& window) {
  return DeleteTables(kAseSide, env, window.list2, window.pointer);
}

int RenameAccessTableCommand(const CommandEnv& env, const TablesWindow& window) {
  StepTrap trap(env.dialogs, "Form2", "PushButton6_Click");
  TableList& list = window.list1;
  if (trap.Test(100, [&] { return list.SelCount() != 1; })) {
    trap.Step(130, [&] { env.dialogs.MsgBox(kSelectJustOneToRename, kMsgOkOnly, ""); });
    return trap.Failures();
  }
  if (trap.Test(102, [&] { return list.ListIndex() == -1; })) {
    trap.Step(128, [&] { env.dialogs.MsgBox(kSelectATableToRename, kMsgOkOnly, ""); });
    return trap.Failures();
  }
  trap.Step(104, [&] { window.pointer.SetPointer(kPointerHourglass); });
  std::string old_name;
  int index = -1;
  int i = 0;
  trap.For(
      106, i, [] { return 0; }, [&] { return list.ListCount() - 1; },
      [&] {
        if (!trap.Test(108, [&] { return list.Selected(i); })) return;
        trap.Step(110, [&] { old_name = list.List(i); });
        trap.Step(112, [&] { index = i; });
        // 114: the end of the walk.
      });
  // The prompt names the table being renamed. The current entry usually is
  // that table, but after a Ctrl-click it may be another, unselected one.
  std::string new_name;
  trap.Step(116, [&] {
    new_name =
        env.dialogs.InputBox("Enter new name of " + old_name + ":", kApplicationTitle, old_name);
  });
  if (!trap.Test(118, [&] { return new_name.empty(); })) {
    bool renamed = false;
    trap.Step(120, [&] {
      renamed = RenameAccessTable(env, old_name, new_name, env.settings.Get(Setting::kAccessFile),
                                  env.settings.Get(Setting::kAccessPassword));
    });
    if (renamed) {
      trap.Step(122, [&] {
        list.RemoveItem(index);
        // A table that was overwritten has gone under the new name; its
        // entry must not stay beside the renamed one.
        RemoveEntriesNaming(list, new_name);
      });
      trap.Step(124, [&] { list.AddItem(new_name); });
    }
  }
  trap.Step(126, [&] { window.pointer.SetPointer(kPointerDefault); });
  return trap.Failures();
}

int RenameAseTableCommand(const CommandEnv& env) {
  StepTrap trap(env.dialogs, "Form2", "PushButton7_Click");
  trap.Step(100, [&] { env.dialogs.MsgBox(kAseRenameNotAvailable, kMsgOkOnly, ""); });
  return trap.Failures();
}

}  // namespace vq
