// Holds off a second command while one runs. A command that yields to the
// event loop lets clicks through; without this a click on another button would
// start a second command nested inside the first, on the same lists and
// connections. Every click handler of both windows takes the guard first.
#pragma once

namespace vq {

// Marks one command as running for its lifetime, if no other command is.
//
//   CommandScope scope;
//   if (!scope.Acquired()) return;  // another command is running: ignore the click
class CommandScope {
 public:
  CommandScope();
  ~CommandScope();
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

  // True when this scope holds the guard (no other command was running).
  bool Acquired() const { return acquired_; }

  // True while some command holds the guard.
  static bool CommandRunning();

 private:
  bool acquired_;
};

}  // namespace vq
