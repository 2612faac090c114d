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
#include <functional>
#include <map>
#include <string>
#include <type_traits>

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
class StepTrap {
 public:
  StepTrap(UserDialogs& dialogs, std::string window, std::string handler);
  StepTrap(const StepTrap&) = delete;
  StepTrap& operator=(const StepTrap&) = delete;

  // Switches to the transfer variant: each report ends with the text that
  // `*statement` holds at the moment of the failure.
  void TrackStatement(const std::string* statement) { statement_ = statement; }

  // Runs one step. On failure shows the report and returns false.
  bool Step(int number, const std::function<void()>& body);

  // Tests a condition. On failure shows the report and answers true, so the
  // block the test governs runs.
  bool Test(int number, const std::function<bool()>& condition);

  // Evaluates the head of a while loop: `while (trap.Loop(n, cond)) { ... }`.
  // On failure shows the report and answers true so the body runs; should the
  // same head fail again at its next evaluation, it answers false instead, so a
  // head that can never be read cannot loop forever. Each head keeps its own
  // record, so nested loops whose heads all fail still end.
  bool Loop(int number, const std::function<bool()>& condition);

  // A counted loop, `for counter = first to last step by`, whose head is step
  // `head`: the bounds are read once, before the first pass, and body() runs
  // with `counter` at each value in turn (downwards when `by` is negative).
  // When the bounds cannot be read the report is shown and the body runs once
  // with `counter` as it stood, then the loop ends. After a complete loop
  // `counter` holds the first value past the bound. `by` must not be 0 (a
  // 0 is reported as the head's failure).
  void For(int head, int& counter, const std::function<int()>& first,
           const std::function<int()>& last, const std::function<void()>& body, int by = 1);

  // Reads a value (a count, a bound). On failure shows the report and gives `fallback`.
  template <typename T>
  T Read(int number, const std::function<std::type_identity_t<T>()>& read, T fallback) {
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
  UserDialogs& dialogs_;
  std::string location_;
  const std::string* statement_ = nullptr;
  int failures_ = 0;
  std::map<int, bool> loop_failed_last_time_;  // by loop head number
};

}  // namespace vq
