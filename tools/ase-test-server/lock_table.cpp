#include "lock_table.h"

#include <chrono>
#include <vector>

#include "server_message.h"

namespace vq::ase_server {
namespace {

// How often a waiting connection looks for a cancel from its client.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

ServerMessage Deadlock(int spid) {
  return ServerMessage{1205, 13, 1,
                       "Your server command (family id #0, process id #" + std::to_string(spid) +
                           ") encountered a deadlock situation. Please re-run your command.\n"};
}

}  // namespace

LockTable& LockTable::Global() {
  static LockTable* table = new LockTable;
  return *table;
}

bool LockTable::Blocked(const Holders& h, int spid, LockMode mode) const {
  if (h.exclusive != 0 && h.exclusive != spid) return true;
  if (mode == LockMode::kShared) return false;
  for (int holder : h.shared) {
    if (holder != spid) return true;
  }
  return false;
}

bool LockTable::WaitsForItself(int spid, const std::string& table, LockMode mode) const {
  // Follows who blocks whom: from `spid`'s wish to the connections holding
  // what it wants, to what they wait for, and so on; back at `spid` is a circle.
  struct Wish {
    int waiter;
    std::string table;
    LockMode mode;
  };
  std::vector<Wish> wishes = {{spid, table, mode}};
  std::set<int> seen = {spid};
  while (!wishes.empty()) {
    const Wish wish = wishes.back();
    wishes.pop_back();
    auto it = tables_.find(wish.table);
    if (it == tables_.end()) continue;
    std::set<int> blockers;
    if (it->second.exclusive != 0) blockers.insert(it->second.exclusive);
    if (wish.mode == LockMode::kExclusive) {
      blockers.insert(it->second.shared.begin(), it->second.shared.end());
    }
    blockers.erase(wish.waiter);  // a connection's own locks never block it
    for (int b : blockers) {
      if (b == spid) return true;
      if (!seen.insert(b).second) continue;
      auto w = waiting_.find(b);
      if (w != waiting_.end()) wishes.push_back({b, w->second.first, w->second.second});
    }
  }
  return false;
}

bool LockTable::Wait(std::unique_lock<std::mutex>& lock, const std::string& table, int spid,
                     LockMode mode, const std::function<bool()>& cancelled) {
  if (!Blocked(tables_[table], spid, mode)) return true;
  // Known as waiting for the whole wait, so that a circle is seen from either end.
  waiting_[spid] = {table, mode};
  struct Unregister {
    std::map<int, std::pair<std::string, LockMode>>& waiting;
    int spid;
    ~Unregister() { waiting.erase(spid); }  // runs with the mutex held
  } unregister{waiting_, spid};
  while (Blocked(tables_[table], spid, mode)) {
    if (WaitsForItself(spid, table, mode)) throw ServerError(Deadlock(spid));
    changed_.wait_for(lock, kPollInterval);
    if (!cancelled) continue;
    lock.unlock();
    bool stop = false;
    try {
      stop = cancelled();
    } catch (...) {
      lock.lock();
      throw;
    }
    lock.lock();
    if (stop) return false;
  }
  return true;
}

bool LockTable::Acquire(const std::string& table, int spid, LockMode mode,
                        const std::function<bool()>& cancelled) {
  std::unique_lock lock(mutex_);
  if (!Wait(lock, table, spid, mode, cancelled)) return false;
  Holders& h = tables_[table];
  if (mode == LockMode::kShared) {
    if (h.exclusive != spid) h.shared.insert(spid);
  } else {
    h.exclusive = spid;
  }
  return true;
}

bool LockTable::WaitUntilReadable(const std::string& table, int spid,
                                  const std::function<bool()>& cancelled) {
  std::unique_lock lock(mutex_);
  return Wait(lock, table, spid, LockMode::kShared, cancelled);
}

void LockTable::ReleaseAll(int spid) {
  {
    std::lock_guard lock(mutex_);
    for (auto it = tables_.begin(); it != tables_.end();) {
      Holders& h = it->second;
      h.shared.erase(spid);
      if (h.exclusive == spid) {
        h.exclusive = 0;
      }
      it = h.shared.empty() && h.exclusive == 0 ? tables_.erase(it) : std::next(it);
    }
  }
  changed_.notify_all();
}

bool LockTable::Holds(const std::string& table, int spid, LockMode mode) {
  std::lock_guard lock(mutex_);
  auto it = tables_.find(table);
  if (it == tables_.end()) return false;
  if (it->second.exclusive == spid) return true;
  return mode == LockMode::kShared && it->second.shared.count(spid) > 0;
}

}  // namespace vq::ase_server
