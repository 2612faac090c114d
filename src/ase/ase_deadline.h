// Running work that may never return, with a deadline for the caller.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vq::ase {

// Runs `work` on a new thread and waits at most `limit` for it. Returns its
// result, rethrows its exception, or returns nothing when the deadline passed.
// Work that finishes after the deadline is dropped on the worker thread, so a
// result that owns resources (a connection) releases them there; the caller is
// never held up by it.
template <class T>
std::optional<T> RunWithDeadline(std::function<T()> work, std::chrono::milliseconds limit) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    bool abandoned = false;
    std::optional<T> result;
    std::exception_ptr error;
  };
  auto shared = std::make_shared<Shared>();
  std::thread([shared, work = std::move(work)]() mutable {
    std::optional<T> result;
    std::exception_ptr error;
    try {
      result.emplace(work());
    } catch (...) {
      error = std::current_exception();
    }
    std::unique_lock lock(shared->mutex);
    if (shared->abandoned) {
      lock.unlock();
      result.reset();  // released here, away from the caller
      return;
    }
    if (result) shared->result.emplace(std::move(*result));
    shared->error = error;
    shared->done = true;
    shared->done_cv.notify_all();
  }).detach();

  std::unique_lock lock(shared->mutex);
  if (!shared->done_cv.wait_for(lock, limit, [&] { return shared->done; })) {
    shared->abandoned = true;
    return std::nullopt;
  }
  if (shared->error) std::rethrow_exception(shared->error);
  return std::move(shared->result);
}

}  // namespace vq::ase
