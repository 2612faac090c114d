// Runs a blocking call (a connect that may wait for its deadline) on a worker
// thread while the UI thread keeps yielding, so the window repaints meanwhile.
#pragma once

#include <chrono>
#include <future>
#include <thread>
#include <type_traits>

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

}  // namespace vq
