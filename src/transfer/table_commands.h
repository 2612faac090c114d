// The table commands of the tables window: "Delete Table/s" under each list
// (PushButton1_Click for Access, PushButton5_Click for Sybase ASE) and
// "Rename Table" under each list (PushButton6_Click renames an Access table,
// PushButton7_Click only says that ASE tables are not renamed here).
//
// The statements they send:
//   Access delete:  DROP TABLE `N`;
//   ASE delete:     DROP TABLE [N]
//   Access rename:  through RenameAccessTable: ALTER TABLE `O` RENAME TO `N`;
//                   (after DROP TABLE `N`; when the user chose to overwrite N)
//
// They act at once, without a confirmation, and keep their own side's list in
// step by editing its entries; neither catalogue is read again. A failing step
// shows the error report and the command goes on with its next step. They do
// not yield: each runs to its end before the window is served again.
#pragma once

#include "dataaccess/command_env.h"
#include "transfer/transfer.h"

namespace vq {

// Drops every Access table selected in `window.list1` and removes its entry.
// An entry stays when its table could not be dropped and is still there (a
// table in a relationship, a connection that failed). Returns the number of
// failure reports shown.
int DeleteAccessTables(const CommandEnv& env, const TablesWindow& window);

// Drops every ASE table selected in `window.list2`, as DeleteAccessTables does.
int DeleteAseTables(const CommandEnv& env, const TablesWindow& window);

// Renames the one Access table selected in `window.list1` to the name the user
// types, and replaces its entry. Returns the number of failure reports shown.
int RenameAccessTableCommand(const CommandEnv& env, const TablesWindow& window);

// Tells the user that ASE tables are not renamed. Returns the reports shown.
int RenameAseTableCommand(const CommandEnv& env);

// The texts these commands show.
inline constexpr const char* kSelectATable = "Please select a table";
inline constexpr const char* kSelectJustOneToRename = "Please select just one table to rename.";
inline constexpr const char* kSelectATableToRename = "Please select a table to rename.";
inline constexpr const char* kAseRenameNotAvailable = "Rename not available for Sybase ASE";

}  // namespace vq
