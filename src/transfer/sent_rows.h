// The rows of one table whose INSERTs the target took, so that when the
// target then fails to save, the report can name the rows that save lost.
//
// A database that saves now and then loses, on a failed save, every statement
// since the last one it saved (it tells how many). Those are the rows most
// recently taken, which this list keeps as runs of consecutive row numbers:
// a refused or unsent row only breaks a run, so the list stays short.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace vq {

// Row numbers (from 0) the target has taken, oldest first, as runs.
class SentRows {
 public:
  // Forgets every row: a new table begins.
  void Clear() { runs_.clear(); }
  // Notes that row `row` was taken; rows come in ascending order.
  void Add(int64_t row);
  // The last `count` rows taken, as the user counts them (from 1): "row 7",
  // "rows 5,001 to 9,999", "rows 3 to 8 and 10 to 20"; with fewer rows known
  // than `count`, the rest are counted as "N earlier changes". Empty for 0.
  std::string Last(int64_t count) const;

 private:
  struct Run {
    int64_t first;
    int64_t last;
  };
  // Enough for any save window; the oldest runs go first.
  static constexpr size_t kMaxRuns = 4096;
  std::deque<Run> runs_;
};

// `n` with a comma between each group of three digits, as the reports count rows.
std::string GroupedNumber(int64_t n);

}  // namespace vq
