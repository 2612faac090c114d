#include "ui/command_guard.h"

namespace vq {
namespace {
// One flag for the whole program: both windows run on the one UI thread.
bool command_running = false;
}  // namespace

CommandScope::CommandScope() : acquired_(!command_running) {
  if (acquired_) command_running = true;
}

CommandScope::~CommandScope() {
  if (acquired_) command_running = false;
}

bool CommandScope::CommandRunning() {
  return command_running;
}

}  // namespace vq
