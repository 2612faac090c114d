// `step_trap_bench [rows]` times a transfer-shaped loop (one counted loop over
// rows, ten steps a row) bare, through the step trap, and with a std::function
// made for every step, and prints nanoseconds per step of each.
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "dataaccess/error_report.h"
#include "dataaccess/memory_interaction.h"

namespace {

constexpr int kStepsPerRow = 10;

// Keeps the work from being optimised away.
volatile int64_t sink = 0;

__attribute__((noinline)) void Work(int64_t row, int step) {
  sink = sink + row + step;
}

// Runs `body` for the run and gives nanoseconds per step.
template <typename Body>
double NsPerStep(int64_t rows, Body&& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  const auto ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  return ns / static_cast<double>(rows * kStepsPerRow);
}

// The shape of the former trap: every step held in a std::function.
__attribute__((noinline)) bool StepThroughFunction(int, const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t rows = argc > 1 ? std::atoll(argv[1]) : 2'000'000;
  vq::ScriptedDialogs dialogs;
  vq::StepTrap trap(dialogs, "Form2", "PushButton3_Click");

  const double bare = NsPerStep(rows, [&] {
    for (int64_t k = 0; k < rows; ++k)
      for (int j = 0; j < kStepsPerRow; ++j) Work(k, j);
  });
  const double trapped = NsPerStep(rows, [&] {
    int64_t k = 0;
    trap.For(
        214, k, [] { return int64_t{0}; }, [&] { return rows - 1; },
        [&] {
          for (int j = 0; j < kStepsPerRow; ++j) trap.Step(220 + j, [&] { Work(k, j); });
        });
  });
  const double function = NsPerStep(rows, [&] {
    for (int64_t k = 0; k < rows; ++k)
      for (int j = 0; j < kStepsPerRow; ++j) {
        // A capture too large for std::function's small buffer, as handlers' are.
        StepThroughFunction(220 + j, [&, k, j, pad = std::array<int64_t, 3>{}] {
          (void)pad;
          Work(k, j);
        });
      }
  });
  std::printf("steps: %lld rows x %d\n", static_cast<long long>(rows), kStepsPerRow);
  std::printf("bare loop:              %.2f ns per step\n", bare);
  std::printf("step trap:              %.2f ns per step\n", trapped);
  std::printf("std::function per step: %.2f ns per step\n", function);
  return trap.Failures() == 0 ? 0 : 1;
}
