#include "transfer/row_sender.h"

#include <algorithm>
#include <utility>

#include "dataaccess/error.h"

namespace vq {
namespace {

// Past this many bytes of statements or of fetched values a batch goes at
// once, so that tables of long texts do not hold many of them in memory.
constexpr size_t kBatchBytes = size_t{1} << 20;

size_t SizeOf(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return sizeof(Value) + s->size();
  if (const auto* b = std::get_if<Bytes>(&v)) return sizeof(Value) + b->data.size();
  return sizeof(Value);
}

}  // namespace

RowSender::RowSender(Steps& steps, YieldingWorker& worker, std::string& statement,
                     StepNumbers numbers, size_t batch_rows, bool combine)
    : steps_(steps),
      worker_(worker),
      statement_(statement),
      numbers_(numbers),
      batch_rows_(std::max<size_t>(1, batch_rows)),
      combine_(combine) {
  steps_.HoldBack(this);
}

RowSender::~RowSender() {
  // The batch under way names this object's texts.
  if (in_flight_) worker_.Wait();
  steps_.HoldBack(nullptr);
}

void RowSender::Begin(RecordSet& source, DatabaseSession& target, int64_t rows,
                      const std::function<bool()>& go_on) {
  go_on_ = &go_on;
  run_length_ = 0;
  asked_ = stopped_ = false;
  source_ = &source;
  target_ = &target;
  rows_total_ = rows;
  next_fetch_ = 0;
  source_done_ = false;
  filled_ = current_ = 0;
  pending_count_ = pending_bytes_ = 0;
  sent_.Clear();
  target_unwritable_ = false;
  worker_.Run([&] { Fetch(); });
}

void RowSender::CheckRow(int64_t k) const {
  // Fewer rows than counted: the rest cannot be read, and no row may be sent twice.
  if (current_ >= filled_ || rows_[current_].end) {
    throw DatabaseError(errors::kEndOfRecordSet, "The table ended after " + std::to_string(k) +
                                                     " of its " + std::to_string(rows_total_) +
                                                     " rows.");
  }
}

void RowSender::Queue(int64_t k) {
  if (pending_.size() <= pending_count_) pending_.emplace_back();
  if (pending_rows_.size() <= pending_count_) pending_rows_.emplace_back();
  pending_rows_[pending_count_] = k;
  // assign keeps each slot's storage from batch to batch.
  pending_[pending_count_++].assign(statement_);
  pending_bytes_ += statement_.size();
  if (pending_bytes_ >= kBatchBytes) {
    Land();
    Launch();
  }
}

void RowSender::Advance() {
  if (++current_ == filled_ && !source_done_) {
    // The worker is one thread: the batch under way ends before the fetch,
    // and the batch built from the rows just used goes while the UI thread
    // builds from the next ones.
    Land();
    worker_.Run([&] { Fetch(); });
    Launch();
  }
  // A row that cannot be fetched ends the table: the report shows the
  // statement of the row before it.
  if (current_ < filled_ && rows_[current_].fetch_failure) {
    std::rethrow_exception(rows_[current_].fetch_failure);
  }
}

void RowSender::Launch() {
  if (target_unwritable_) pending_count_ = pending_bytes_ = 0;
  if (pending_count_ == 0 || stopped_) return;
  std::swap(pending_, flight_);
  std::swap(pending_rows_, flight_rows_);
  flight_count_ = pending_count_;
  pending_count_ = pending_bytes_ = 0;
  flight_sent_ = flight_landed_ = single_from_ = 0;
  refusals_.assign(flight_count_, nullptr);
  in_flight_ = true;
  worker_.Start(flight_call_);
}

void RowSender::Land() {
  if (!in_flight_) return;
  landing_ = true;
  for (;;) {
    worker_.Wait();
    in_flight_ = false;
    for (; flight_landed_ < flight_sent_ && !stopped_ && !target_unwritable_; ++flight_landed_) {
      const size_t at = flight_landed_;
      if (!refusals_[at]) {
        run_length_ = 0;
        continue;
      }
      // The report shows the refused statement; the buffer is the caller's again after it.
      std::swap(statement_, flight_[at]);
      steps_.Do(numbers_.insert, [&] {
        try {
          std::rethrow_exception(refusals_[at]);
        } catch (const DatabaseNotWritable& e) {
          // Nothing more goes to this target; say which rows the save lost.
          target_unwritable_ = true;
          std::string text = e.Description();
          if (e.LostStatements() > 0) {
            SentRows lost = sent_;
            lost.Add(flight_rows_[at]);
            std::string rows = lost.Last(e.LostStatements());
            rows[0] = static_cast<char>(rows[0] - 'a' + 'A');
            text += " " + rows + " of this table " + (e.LostStatements() == 1 ? "was" : "were") +
                    " not saved.";
          }
          text += " Nothing more is sent to this database.";
          throw DatabaseNotWritable(e.Number(), text, e.LostStatements());
        }
      });
      std::swap(statement_, flight_[at]);
      if (!target_unwritable_) CountFailure(refusals_[at]);
      refusals_[at] = nullptr;
    }
    // Statements already carried out with the one that made the user stop are
    // not reported one by one: the user asked for no more of this table.
    if (stopped_ || target_unwritable_ || flight_sent_ == flight_count_) break;
    in_flight_ = true;
    worker_.Start(flight_call_);
  }
  flight_count_ = 0;
  landing_ = false;
}

void RowSender::CountFailure(const std::exception_ptr& failure) {
  std::pair<int32_t, int32_t> error{0, 0};
  try {
    std::rethrow_exception(failure);
  } catch (const DatabaseError& e) {
    error = {e.Number(), e.NativeNumber()};
  } catch (...) {
    error = {errors::kUnspecified, 0};
  }
  if (run_length_ == 0 || error != run_error_) {
    run_error_ = error;
    run_length_ = 0;
  }
  if (++run_length_ < kFailureRun || asked_) return;
  asked_ = true;
  if (go_on_ != nullptr && *go_on_ && !(*go_on_)()) stopped_ = true;
}

void RowSender::SendFlight() {
  while (flight_sent_ < flight_count_) {
    if (combine_ && flight_sent_ >= single_from_ && flight_count_ - flight_sent_ > 1) {
      if (!SendCombined()) return;
      continue;
    }
    try {
      target_->Execute(flight_[flight_sent_]);
      sent_.Add(flight_rows_[flight_sent_]);
    } catch (...) {
      refusals_[flight_sent_++] = std::current_exception();
      return;
    }
    ++flight_sent_;
  }
}

bool RowSender::SendCombined() {
  combined_.assign(flight_.begin() + static_cast<std::ptrdiff_t>(flight_sent_),
                   flight_.begin() + static_cast<std::ptrdiff_t>(flight_count_));
  size_t known = 0;
  try {
    known = target_->ExecuteBatch(combined_, outcomes_);
  } catch (...) {
    // Not sent as one command: each statement goes on its own and answers for itself.
    known = 0;
  }
  bool refused = false;
  for (size_t i = 0; i < known && i < outcomes_.size(); ++i) {
    if (outcomes_[i]) {
      refusals_[flight_sent_ + i] = std::move(outcomes_[i]);
      refused = true;
    } else {
      sent_.Add(flight_rows_[flight_sent_ + i]);
    }
  }
  flight_sent_ += std::min(known, combined_.size());
  // The statements the command left undone go one at a time, so that each
  // one's outcome is its own.
  if (flight_sent_ < flight_count_) single_from_ = flight_count_;
  return !refused;
}

void RowSender::Fetch() {
  filled_ = current_ = 0;
  size_t bytes = 0;
  while (filled_ < batch_rows_ && bytes < kBatchBytes && !source_done_) {
    if (rows_.size() <= filled_) rows_.emplace_back();
    Row& row = rows_[filled_++];
    row.unreadable = row.fetch_failure = nullptr;
    row.end = false;
    const int64_t k = next_fetch_++;
    try {
      // The first row was made current when the source was opened.
      if (k > 0) source_->MoveNext();
      // After the last counted row only the fetch's failure matters.
      if (k == rows_total_) {
        source_done_ = true;
        row.values.clear();
        break;
      }
      if (source_->Eof()) {
        row.end = true;
        source_done_ = true;
        row.values.clear();
        break;
      }
      bytes += Capture(row);
    } catch (...) {
      row.fetch_failure = std::current_exception();
      source_done_ = true;
      row.values.clear();
      break;
    }
  }
}

size_t RowSender::Capture(Row& row) {
  const int columns = source_->Fields().Count();
  row.values.resize(static_cast<size_t>(columns));
  size_t bytes = 0;
  for (int j = 0; j < columns; ++j) {
    try {
      // Assigning in place keeps each value's storage from batch to batch.
      row.values[j] = source_->Fields().Item(j).Value();
    } catch (...) {
      row.unreadable = std::current_exception();
      row.values.resize(static_cast<size_t>(j));
      break;
    }
    bytes += SizeOf(row.values[j]);
  }
  return bytes;
}

void RowSender::Release() {
  // Reports of refused INSERTs come while landing, in their order already.
  if (landing_) return;
  Land();
  Launch();
  Land();
  // Rows built but never sent, once the user chose to stop, are dropped.
  pending_count_ = pending_bytes_ = 0;
}

}  // namespace vq
