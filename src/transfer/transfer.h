// The two table transfers of the tables window: "Send Table/s To Sybase ASE"
// (PushButton3_Click) and "Send Table/s To Access" (PushButton4_Click).
//
// Each walks its side's list from the bottom, asks before it overwrites a
// table the other list shows, creates the table afresh on the other side from
// the source's columns, sends one INSERT per row while the progress bar moves,
// and keeps the other list in step. A failing step shows the transfer error
// report, with the statement being built after "sql: ", and the command goes
// on with its next step. Blocking calls run on a worker thread while the
// window keeps being served; the rows go to it several at a time, with the
// reports still those of one row at a time (see row_sender.h).
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "dataaccess/command_env.h"
#include "dataaccess/interaction.h"

namespace vq {

// What a transfer touches in the tables window. Everything outlives the call.
struct TablesWindow {
  TableList& list1;  // the Access tables
  TableList& list2;  // the Sybase ASE tables
  ProgressBar& progress_bar1;
  WindowPointer& pointer;
};

// How a transfer yields.
struct TransferOptions {
  // The event loop is served at most this often at the per-row and per-value
  // yields; 0 serves every one.
  std::chrono::microseconds yield_interval = std::chrono::milliseconds(5);
  // While a database call runs on the worker, the window is served this often.
  std::chrono::microseconds call_poll = std::chrono::milliseconds(5);
  // How many rows' INSERTs (and the fetches of the rows after them) go to the
  // worker in one call; 1 sends each row on its own.
  size_t batch_rows = 64;
  // Whether the rows the worker has go to the target as one command where the
  // target takes that (ASE); false sends one statement a round trip.
  bool combine_statements = true;
  // "Keep column types": each column becomes the target type that holds its
  // values as they are (see typed_columns.h), with NOT NULL and the primary
  // key; false makes the text columns of the default statements.
  bool keep_column_types = false;
};

// The title of the question asked when many rows of a table fail alike.
inline constexpr const char* kFailureRunTitle = "Rows failing";

// The question asked when a run of rows of `table` failed with the same error.
std::string FailureRunQuestion(const std::string& table);

// Sends the tables selected in `window.list1` from Access to Sybase ASE.
// Returns the number of failure reports shown.
int SendTablesToAse(const CommandEnv& env, const TablesWindow& window,
                    const TransferOptions& options = {});

// Sends the tables selected in `window.list2` from Sybase ASE to Access.
// Returns the number of failure reports shown.
int SendTablesToAccess(const CommandEnv& env, const TablesWindow& window,
                       const TransferOptions& options = {});

}  // namespace vq
