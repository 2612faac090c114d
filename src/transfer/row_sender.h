// The row walk both transfers share: each row of the source becomes one INSERT
// into the target, and the rows travel to the worker thread several at a time.
//
// Every call to the worker wakes a thread, which costs more than building a
// row. So the worker fetches the next rows of the source several at once,
// copying each into a slot the UI thread builds INSERTs from, and is handed
// the INSERTs built from them as one batch, which it carries out in order
// while the UI thread builds the next batch. It stops at the first INSERT the
// target refuses and at the first fetch that fails.
//
// Where the target takes several statements in one command (ASE), a batch
// goes to it as one command, one round trip instead of one a row, and each
// statement's own outcome comes back. A command the target abandons part way
// (a statement that does not compile stops the whole of it) leaves the
// statements it did not carry out to be sent again one at a time.
//
// The reports are those of one row at a time, in the same order and each with
// its own statement after "sql: ": a refused INSERT shows its own text, a
// failed fetch the INSERT of the row before it, and any other failure first
// lets the queued INSERTs be carried out and report (see HeldReports). After a
// refused INSERT the rest of the batch is sent as before, unless the target
// cannot be written any more (DatabaseNotWritable: a failed save, a damaged
// file): then that report names the rows the failed save lost, and the walk
// ends without sending another row. When the same error refuses kFailureRun
// rows in a row, the sender asks once whether to go on with the table;
// without a yes it sends nothing more of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dataaccess/run_while_yielding.h"
#include "dataaccess/session.h"
#include "dataaccess/value.h"
#include "transfer/sent_rows.h"
#include "transfer/steps.h"

namespace vq {

// Sends tables' rows for one command run.
class RowSender : private HeldReports {
 public:
  // The handler's numbers of the row walk's own steps.
  struct StepNumbers {
    int row_check;  // the row counted is there (the table may have ended early)
    int insert;     // the row's INSERT
    int fetch;      // the fetch of the row after it
  };

  // How many rows refused in a row with the same error make the sender ask.
  static constexpr int kFailureRun = 10;

  // `statement` is the buffer the report shows; `batch_rows` how many rows go
  // to the worker in one call (1: each row on its own, one call per row);
  // `combine` lets a batch go to the target as one command where it takes that.
  RowSender(Steps& steps, YieldingWorker& worker, std::string& statement, StepNumbers numbers,
            size_t batch_rows, bool combine = true);
  ~RowSender();
  RowSender(const RowSender&) = delete;
  RowSender& operator=(const RowSender&) = delete;

  // Walks the first `rows` rows of `source` (opened, its first row current):
  // `build(k)` fills the statement buffer with row k's INSERT, reading the
  // values through Column, and answers false when the row must not be sent
  // (a value could not be read; its failure is reported). A row that is not
  // there or cannot be fetched ends the walk. When kFailureRun rows in a row
  // are refused with the same error, `go_on()` is asked once; false ends the
  // walk there. Returns once every INSERT sent has been carried out and
  // reported; true unless the walk was ended that way.
  template <typename BuildRow>
  bool Send(RecordSet& source, DatabaseSession& target, int64_t rows, BuildRow&& build,
            const std::function<bool()>& go_on) {
    if (rows <= 0) return true;
    Begin(source, target, rows, go_on);
    for (int64_t k = 0; k < rows && !stopped_ && !target_unwritable_; ++k) {
      if (!steps_.Do(numbers_.row_check, [&] { CheckRow(k); })) break;
      if (build(k)) Queue(k);
      if (stopped_ || target_unwritable_) break;
      if (!steps_.Do(numbers_.fetch, [&] { Advance(); })) break;
    }
    Release();
    go_on_ = nullptr;
    return !stopped_;
  }

  // Counts a row whose INSERT could not be built because of `failure` (a
  // value the target cannot hold, already reported) toward a run of rows
  // failing alike, as a refused INSERT counts: many such rows ask once.
  // Call it from `build` before it answers false.
  void CountUnsent(const std::exception_ptr& failure) {
    if (failure) CountFailure(failure);
  }

  // True once the target said it cannot be written: nothing more should be
  // sent to it.
  bool TargetUnwritable() const { return target_unwritable_; }
  // The last `count` rows of the latest table that the target took, in the
  // words of a report (see SentRows::Last).
  std::string LastSentRows(int64_t count) const { return sent_.Last(count); }

  // Column `j` of the current row; throws what reading it from the source
  // threw (a row shorter than its columns, a row that could not be read).
  const Value& Column(int j) const {
    const Row& row = rows_[current_];
    if (static_cast<size_t>(j) < row.values.size()) return row.values[j];
    std::rethrow_exception(row.unreadable);
  }

 private:
  // One row of the source as a fetch left it.
  struct Row {
    std::vector<Value> values;         // its readable columns, from the first
    std::exception_ptr unreadable;     // why the columns past `values` could not be read
    std::exception_ptr fetch_failure;  // the fetch that was to make it current failed
    bool end = false;                  // the source had ended
  };

  void Begin(RecordSet& source, DatabaseSession& target, int64_t rows,
             const std::function<bool()>& go_on);
  // Counts a refused INSERT toward a run of the same error, and asks once
  // the run is long enough.
  void CountFailure(const std::exception_ptr& failure);
  void CheckRow(int64_t k) const;
  // Queues the statement buffer as row `k`'s INSERT.
  void Queue(int64_t k);
  // Makes the next row current; throws when its fetch failed.
  void Advance();
  // Hands the queued INSERTs to the worker, which carries them out while the
  // UI thread goes on. None must be under way.
  void Launch();
  // Waits for the INSERTs under way and reports each refused one, sending
  // the rest of the batch after it.
  void Land();
  // On the worker: carries out the batch from `flight_sent_` on, stopping
  // after the first command in which the target refused an INSERT.
  void SendFlight();
  // On the worker: sends the statements from `flight_sent_` on as one command;
  // false when any was refused.
  bool SendCombined();
  // On the worker: fetches rows into the slots until they are full, the
  // source ends, or a fetch fails.
  void Fetch();
  // On the worker: copies the source's current row into `row`; the bytes it took.
  size_t Capture(Row& row);
  void Release() override;

  Steps& steps_;
  YieldingWorker& worker_;
  std::string& statement_;
  StepNumbers numbers_;
  size_t batch_rows_;
  bool combine_;
  const std::function<bool()>* go_on_ = nullptr;
  std::pair<int32_t, int32_t> run_error_{0, 0};  // the error of the current run of refusals
  int run_length_ = 0;
  bool asked_ = false;    // the question was asked for this table
  bool stopped_ = false;  // the table is not to be sent further

  RecordSet* source_ = nullptr;
  DatabaseSession* target_ = nullptr;
  int64_t rows_total_ = 0;
  int64_t next_fetch_ = 0;  // the row the next fetch makes current (0: the first, already current)
  bool source_done_ = false;  // no fetch is to follow: the source ended, failed, or all rows are in
  std::vector<Row> rows_;     // fetched rows; only the first filled_ are in use
  size_t filled_ = 0;
  size_t current_ = 0;                 // the slot of the current row
  std::vector<std::string> pending_;   // queued INSERTs; only the first pending_count_ are in use
  std::vector<int64_t> pending_rows_;  // the row of each queued INSERT
  std::vector<int64_t> flight_rows_;
  SentRows sent_;                   // the rows the target took
  bool target_unwritable_ = false;  // the target can take no more rows
  size_t pending_count_ = 0;
  size_t pending_bytes_ = 0;
  std::vector<std::string> flight_;  // the batch handed to the worker, its first flight_count_
  size_t flight_count_ = 0;
  size_t flight_sent_ = 0;    // how far the worker got: the statements carried out or refused
  size_t flight_landed_ = 0;  // how many of those were reported
  size_t single_from_ = 0;    // from here on the batch goes one statement at a time
  std::vector<std::exception_ptr> refusals_;  // why each statement of the batch failed, if it did
  std::vector<std::string_view> combined_;    // the statements of one command
  std::vector<std::exception_ptr> outcomes_;  // what one command gave
  bool in_flight_ = false;                    // the worker has the batch and was not waited for
  bool landing_ = false;                      // refused INSERTs are being reported
  // What Start hands the worker; lives as long as the batches it sends.
  struct FlightCall {
    RowSender* sender;
    void operator()() const { sender->SendFlight(); }
  } flight_call_{this};
};

}  // namespace vq
