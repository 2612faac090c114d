#include "ase/ase_deadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>

namespace vq::ase {
namespace {

using namespace std::chrono_literals;

TEST(DeadlineTest, ReturnsTheResultOrTheErrorOfWorkThatFinishesInTime) {
  auto v = RunWithDeadline<int>([] { return 42; }, 5s);
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(*v, 42);
  EXPECT_THROW(RunWithDeadline<int>([]() -> int { throw std::logic_error("no"); }, 5s),
               std::logic_error);
}

// A result that says when it is released.
struct Tracked {
  explicit Tracked(std::shared_ptr<std::atomic<int>> c) : released(std::move(c)) {}
  Tracked(Tracked&& o) noexcept : released(std::move(o.released)) {}
  ~Tracked() {
    if (released) ++*released;
  }
  std::shared_ptr<std::atomic<int>> released;
};

TEST(DeadlineTest, GivesUpOnTimeAndReleasesALateResultOnTheWorker) {
  auto gate = std::make_shared<std::promise<void>>();
  std::shared_future<void> opened = gate->get_future().share();
  auto released = std::make_shared<std::atomic<int>>(0);

  auto start = std::chrono::steady_clock::now();
  auto r = RunWithDeadline<Tracked>(
      [opened, released] {
        opened.wait();  // like a login to a host that never answers
        return Tracked(released);
      },
      200ms);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(r.has_value());
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 2s);

  gate->set_value();  // the host answers at last: the worker drops the result itself
  for (int i = 0; i < 200 && released->load() == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_GE(released->load(), 1);
}

}  // namespace
}  // namespace vq::ase
