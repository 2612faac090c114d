// The report a command handler shows when one of its steps fails, and the trap
// that numbers the steps and keeps the handler going after a failure.
//
// A handler arms one StepTrap and runs every step through it:
//
//   StepTrap trap(dialogs, "Form2", "PushButton10_Click");
//   int i = 0;
//   trap.For(100, i, [] { return 0; }, [&] { return list.ListCount() - 1; }, [&] {
//     trap.Step(102, [&] { list.SetSelected(i, true); });
//   });
//   if (trap.Test(104, [&] { return list.SelCount() == 0; })) {
//     trap.Step(106, [&] { dialogs.MsgBox("Nothing selected", kMsgOkOnly, ""); });
//   }
//
// A failing step shows the report (description, the handler's location, the
// step number, the support address) and the handler carries on with the next
// step. A failing condition counts as passed, so the block it governs runs; a
// failing loop head runs the loop body.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "dataaccess/interaction.h"

namespace vq {

// "in Quellmark7/29/2014.<window>.<handler> ": where a handler's report says it failed.
std::string LocationLiteral(const std::string& window, const std::string& handler);

// The support address the report asks screenshots to be sent to (set at build time).
const char* SupportEmail();

// The text of the uniform report: description CR LF location "at line " step
// CR CR "Please email screenshot of this message to " address.
std::string ComposeErrorReport(const std::string& description, const std::string& location,
                               int step);

// The transfer variant: the uniform text, CR CR "sql: " and the statement.
std::string ComposeTransferErrorReport(const std::string& description, const std::string& location,
                                       int step, const std::string& statement);

// The lister variant: description " (Error Number = " number ")".
std::string ComposeListerReport(const std::string& description, int32_t number);

// The title of the uniform and transfer report boxes.
inline constexpr const char* kErrorReportTitle = "Application Error";

// Number and description of whatever the current exception is. Call only from
// inside a catch block.
void DescribeCurrentException(int32_t& number, std::string& description);

// The failure trap of one command handler. Not copyable; lives for one handler run.
//
// Steps, conditions and loop bounds are taken as any callable and run in
// place: a step that succeeds costs a call and nothing else (no allocation, no
// lookup), so the trap can wrap every value of every row of a transfer.
class StepTrap {
 public:
  StepTrap(UserDialogs& dialogs, std::string window, std::string handler);
  StepTrap(const StepTrap&) = delete;
  StepTrap& operator=(const StepTrap&) = delete;

  // Switches to the transfer variant: each report ends with the text that
  // `*statement` holds at the moment of the failure.
  void TrackStatement(const std::string* statement) { statement_ = statement; }

  // Runs one step, `body()`. On failure shows the report and returns false.
  template <typename Body>
  bool Step(int number, Body&& body) {
    try {
      body();
      return true;
    } catch (...) {
      ReportCurrentException(number);
      return false;
    }
  }

  // Tests a condition, `condition()`. On failure shows the report and answers
  // true, so the block the test governs runs.
  template <typename Condition>
  bool Test(int number, Condition&& condition) {
    bool result = true;
    Step(number, [&] { result = condition(); });
    return result;
  }

  // Evaluates the head of a while loop: `while (trap.Loop(n, cond)) { ... }`.
  // On failure shows the report and answers true so the body runs; should the
  // same head fail again at its next evaluation, it answers false instead, so a
  // head that can never be read cannot loop forever. Each head keeps its own
  // record, so nested loops whose heads all fail still end.
  template <typename Condition>
  bool Loop(int number, Condition&& condition) {
    bool result = true;
    if (Step(number, [&] { result = condition(); })) {
      if (!failed_heads_.empty()) ForgetFailedHead(number);
      return result;
    }
    return HeadFailed(number);
  }

  // A counted loop, `for counter = first to last step by`, whose head is step
  // `head`: the bounds are read once, before the first pass, and body() runs
  // with `counter` at each value in turn (downwards when `by` is negative).
  // The counter may be any integer type; loops over rows use a 64-bit one,
  // as RecordCount is 64-bit. When the bounds cannot be read, or a bound does
  // not fit the counter, the report is shown and the body runs once with
  // `counter` as it stood, then the loop ends. After a complete loop `counter`
  // holds the first value past the bound where that fits. `by` must not be 0
  // (a 0 is reported as the head's failure).
  template <typename Counter, typename First, typename Last, typename Body>
  void For(int head, Counter& counter, First&& first, Last&& last, Body&& body, int64_t by = 1) {
    static_assert(std::is_integral_v<Counter> && sizeof(Counter) <= sizeof(int64_t),
                  "a counted loop needs an integer counter of at most 64 bits");
    int64_t from = 0, to = 0;
    const bool bounds_read = Step(head, [&] {
      if (by == 0) ThrowZeroStep();
      from = CheckedBound<Counter>(first());
      to = CheckedBound<Counter>(last());
    });
    if (!bounds_read) {
      body();
      return;
    }
    int64_t value = from;
    while (by > 0 ? value <= to : value >= to) {
      counter = static_cast<Counter>(value);
      body();
      // The body may move the counter, as a handler's own code may. A step
      // past the end of int64_t ends the loop with the counter where it is.
      if (__builtin_add_overflow(static_cast<int64_t>(counter), by, &value)) return;
    }
    if (std::in_range<Counter>(value)) counter = static_cast<Counter>(value);
  }

  // Reads a value (a count, a bound), `read()`. On failure shows the report
  // and gives `fallback`.
  template <typename T, typename Reader>
  T Read(int number, Reader&& read, T fallback) {
    T out = fallback;
    Step(number, [&] { out = read(); });
    return out;
  }

  // Shows the report for step `number` with `description`, as a failure would.
  void Report(int number, const std::string& description);

  // How many reports this trap has shown.
  int Failures() const { return failures_; }
  // The location literal of this handler.
  const std::string& Location() const { return location_; }

 private:
  // Shows the report for the exception being handled. Call only from a catch block.
  void ReportCurrentException(int number);
  // The head `number` failed: true when it had not failed at its previous evaluation.
  bool HeadFailed(int number);
  // The head `number` was read: its next failure is a first one again.
  void ForgetFailedHead(int number);
  [[noreturn]] static void ThrowZeroStep();
  [[noreturn]] static void ThrowBoundTooWide(const std::string& bound);

  // A loop bound as int64_t, refused when the counter cannot hold it.
  template <typename Counter, typename Bound>
  static int64_t CheckedBound(Bound bound) {
    static_assert(std::is_integral_v<Bound>, "a loop bound must be an integer");
    if (!std::in_range<Counter>(bound)) ThrowBoundTooWide(std::to_string(bound));
    return static_cast<int64_t>(bound);
  }

  UserDialogs& dialogs_;
  std::string location_;
  const std::string* statement_ = nullptr;
  int failures_ = 0;
  std::vector<int> failed_heads_;  // loop heads whose last evaluation failed
};

}  // namespace vq
