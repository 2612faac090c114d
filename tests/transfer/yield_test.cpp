// The throttled yield and the worker that keeps the window served during a
// blocking call.
#include "dataaccess/run_while_yielding.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "dataaccess/memory_interaction.h"

namespace vq {
namespace {

using namespace std::chrono_literals;

TEST(ThrottledYielder, PassesTheFirstYieldThenAtMostOncePerInterval) {
  CountingYielder inner;
  ThrottledYielder every(inner, 0us);
  for (int i = 0; i < 100; ++i) every.DoEvents();
  EXPECT_EQ(inner.count, 100);

  inner.count = 0;
  ThrottledYielder throttled(inner, 1h);
  for (int i = 0; i < 100000; ++i) throttled.DoEvents();
  EXPECT_EQ(inner.count, 1);

  inner.count = 0;
  ThrottledYielder often(inner, 2ms);
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < 30ms) often.DoEvents();
  EXPECT_GE(inner.count, 5);
  EXPECT_LE(inner.count, 16);
}

TEST(YieldingWorker, ReturnsResultsRethrowsAndYieldsOnlyWhileACallLasts) {
  CountingYielder yielder;
  YieldingWorker worker(yielder, 2ms);
  EXPECT_EQ(worker.Run([] { return 42; }), 42);
  EXPECT_EQ(worker.Run([] { return std::string("text"); }), "text");
  EXPECT_THROW(worker.Run([]() -> int { throw std::runtime_error("refused"); }),
               std::runtime_error);
  int counter = 0;
  worker.Run([&] { ++counter; });
  EXPECT_EQ(counter, 1);

  const long before = yielder.count;
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id ran_on;
  worker.Run([&] {
    ran_on = std::this_thread::get_id();
    std::this_thread::sleep_for(60ms);
  });
  EXPECT_NE(ran_on, caller);
  EXPECT_GE(yielder.count - before, 10);
}

TEST(YieldingWorker, AYieldMayRunMoreWorkBetweenCalls) {
  // What a click handler would do inside a yield, without nesting on the worker.
  CountingYielder yielder;
  std::atomic<int> inside = 0;
  yielder.hook = [&] { ++inside; };
  YieldingWorker worker(yielder, 1ms);
  for (int i = 0; i < 3; ++i) worker.Run([] { std::this_thread::sleep_for(5ms); });
  EXPECT_GT(inside.load(), 0);
}

TEST(RunWhileYielding, ServesTheLoopUntilTheWorkEnds) {
  CountingYielder yielder;
  EXPECT_EQ(RunWhileYielding(yielder,
                             [] {
                               std::this_thread::sleep_for(50ms);
                               return 7;
                             }),
            7);
  EXPECT_GE(yielder.count, 2);
}

}  // namespace
}  // namespace vq
