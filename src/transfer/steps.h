// Running a handler's numbered steps under its StepTrap without wrapping each
// step in a std::function: the transfers run several steps per value, and a
// step must cost no more than the call it guards.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "dataaccess/error_report.h"
#include "dataaccess/interaction.h"

namespace vq {

// Work whose failures, once known, must be reported before any report that
// comes after it: INSERTs built and queued but not yet carried out.
class HeldReports {
 public:
  // Carries out the held work and shows its reports. Must not throw.
  virtual void Release() = 0;

 protected:
  ~HeldReports() = default;
};

// The numbered steps of one handler run, reported through `trap`.
class Steps {
 public:
  explicit Steps(StepTrap& trap) : trap_(trap) {}

  // Has `held` released before every report, so that reports keep the order
  // of the statements; nullptr stops it.
  void HoldBack(HeldReports* held) { held_ = held; }

  // Runs step `number`. On failure shows the report and returns false.
  template <typename Body>
  bool Do(int number, Body&& body) {
    try {
      body();
      return true;
    } catch (...) {
      Fail(number);
      return false;
    }
  }

  // Tests a condition. On failure shows the report and answers true, so the
  // block the test governs runs.
  template <typename Condition>
  bool Test(int number, Condition&& condition) {
    bool result = true;
    Do(number, [&] { result = condition(); });
    return result;
  }

  // Reads a value. On failure shows the report and gives `fallback`.
  template <typename T, typename Reader>
  T Read(int number, Reader&& read, T fallback) {
    T out = std::move(fallback);
    Do(number, [&] { out = read(); });
    return out;
  }

  // Shows the report for step `number` with `description`, as a failure would.
  void Report(int number, const std::string& description) {
    if (held_ != nullptr) held_->Release();
    trap_.Report(number, description);
  }

  int Failures() const { return trap_.Failures(); }

 private:
  // Shows the report of the exception in flight.
  void Fail(int number) {
    int32_t code = 0;
    std::string description;
    DescribeCurrentException(code, description);
    if (held_ != nullptr) held_->Release();
    trap_.Report(number, description);
  }

  StepTrap& trap_;
  HeldReports* held_ = nullptr;
};

// Asks whether to go on sending `table` after a run of rows failed with the
// same error; a box that cannot be shown is reported under `step` and the
// table goes on, as it would have without the question.
bool AskToGoOn(Steps& steps, UserDialogs& dialogs, int step, const std::string& table);

}  // namespace vq
