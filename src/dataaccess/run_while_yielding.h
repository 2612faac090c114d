// Keeping the window served while a command works: a yield that serves the
// event loop only every few milliseconds, and blocking calls (a connect that
// may wait for its deadline, a statement the server sits on) run on a worker
// thread while the UI thread keeps yielding.
//
// Whatever runs on a worker must not touch widgets: give it the sessions and
// texts it needs, never a list or a box.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

#include "dataaccess/interaction.h"

namespace vq {

// Runs `work` on its own thread and returns its result (or rethrows its
// exception) once it ends; until then calls `yielder.DoEvents()` every few
// milliseconds. `work` must not touch widgets: give it copies of what it needs.
template <typename Work>
auto RunWhileYielding(Yielder& yielder, Work work) -> std::invoke_result_t<Work> {
  auto result = std::async(std::launch::async, std::move(work));
  while (result.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    yielder.DoEvents();
  }
  return result.get();
}

// A yield that passes on to `inner` at most once per `interval`. A command
// yields per row and per value; serving the event loop that often costs more
// than the row itself, while every few milliseconds keeps the window as lively.
// The first yield always passes. An interval of 0 passes every yield.
class ThrottledYielder : public Yielder {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ThrottledYielder(Yielder& inner,
                            std::chrono::microseconds interval = std::chrono::milliseconds(5))
      : inner_(inner), interval_(interval) {}

  void DoEvents() override {
    if (interval_.count() > 0) {
      const Clock::time_point now = Clock::now();
      if (served_once_ && now - last_served_ < interval_) return;
      last_served_ = now;
      served_once_ = true;
    }
    inner_.DoEvents();
  }

 private:
  Yielder& inner_;
  std::chrono::microseconds interval_;
  Clock::time_point last_served_{};
  bool served_once_ = false;
};

// One worker thread that carries out blocking calls one at a time for the UI
// thread, which yields every `poll` until the call has returned (Run), or goes
// on with its own work meanwhile and waits later (Start, Wait). A call that
// ends within the first `poll` costs two thread hand-overs and no yield. The
// thread starts with the first call and ends with the object. Not for nesting:
// a call must not Run another call on the same worker.
class YieldingWorker {
 public:
  explicit YieldingWorker(Yielder& yielder,
                          std::chrono::microseconds poll = std::chrono::milliseconds(5))
      : yielder_(yielder), poll_(poll) {}

  ~YieldingWorker() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  YieldingWorker(const YieldingWorker&) = delete;
  YieldingWorker& operator=(const YieldingWorker&) = delete;

  // Runs `work` on the worker and returns its result, or rethrows what it threw.
  template <typename Work>
  auto Run(Work&& work) -> std::invoke_result_t<Work&> {
    using Result = std::invoke_result_t<Work&>;
    std::exception_ptr error;
    if constexpr (std::is_void_v<Result>) {
      auto call = [&] {
        try {
          work();
        } catch (...) {
          error = std::current_exception();
        }
      };
      Carry(call);
      if (error) std::rethrow_exception(error);
    } else {
      std::optional<Result> result;
      auto call = [&] {
        try {
          result.emplace(work());
        } catch (...) {
          error = std::current_exception();
        }
      };
      Carry(call);
      if (error) std::rethrow_exception(error);
      return std::move(*result);
    }
  }

  // Hands `call` to the worker and returns at once, so that the UI thread can
  // work alongside it; Wait must follow before any other call. `call` must
  // catch everything itself and outlive the Wait.
  template <typename Call>
  void Start(Call& call) {
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Serve(); });
    task_ = &call;
    invoke_ = [](void* c) { (*static_cast<Call*>(c))(); };
    done_ = false;
    started_ = true;
    lock.unlock();
    wake_.notify_one();
  }

  // Yields until the call Start handed over has run; returns at once when
  // none is under way.
  void Wait() {
    std::unique_lock lock(mutex_);
    if (!started_) return;
    while (!finished_.wait_for(lock, poll_, [this] { return done_; })) {
      lock.unlock();
      yielder_.DoEvents();
      lock.lock();
    }
    started_ = false;
  }

 private:
  // Hands `call` to the worker, after any call still under way, and yields
  // until it has run.
  template <typename Call>
  void Carry(Call& call) {
    Wait();
    Start(call);
    Wait();
  }

  void Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || task_ != nullptr; });
      if (task_ == nullptr) return;  // stopping, and nothing left to run
      void* task = std::exchange(task_, nullptr);
      lock.unlock();
      invoke_(task);
      lock.lock();
      done_ = true;
      finished_.notify_one();
    }
  }

  Yielder& yielder_;
  std::chrono::microseconds poll_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  void* task_ = nullptr;
  void (*invoke_)(void*) = nullptr;
  bool done_ = false;
  bool started_ = false;  // a call was started and not yet waited for
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vq
