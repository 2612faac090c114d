// The table locks the connections of one server take, as ASE takes them for
// the statements this server knows (one lock per table, as ASE holds for a
// table scan):
//   - a write (INSERT, UPDATE, DELETE, TRUNCATE) takes an exclusive lock;
//   - a read at isolation level 3 (HOLDLOCK, AT ISOLATION 3 / SERIALIZABLE, or
//     SET TRANSACTION ISOLATION LEVEL 3) takes a shared lock;
//   - a read at level 1 only waits until no other connection holds an
//     exclusive lock, and keeps nothing.
// Inside a transaction (BEGIN TRAN) a lock is held until the outermost COMMIT
// or ROLLBACK, else until the end of its statement. A connection that wants a
// lock another one holds in a conflicting mode waits for it, as ASE does; a
// wait that closes a circle of waiting connections is ended with ASE's
// deadlock error (1205).
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace vq::ase_server {

// Which lock a statement asks for.
enum class LockMode { kShared, kExclusive };

// Every connection's table locks, shared by the connection threads.
class LockTable {
 public:
  // The table of the running server.
  static LockTable& Global();

  // Gives connection `spid` a lock on `table` (any text naming it uniquely),
  // waiting while another connection holds one that conflicts. `cancelled` is
  // asked every few milliseconds during a wait; when it answers true the wait
  // ends and `cancelled`'s own exception (if it threw one) or false returns.
  // Throws ServerError 1205 when the wait would never end.
  bool Acquire(const std::string& table, int spid, LockMode mode,
               const std::function<bool()>& cancelled);
  // Waits as Acquire would for a shared lock, then keeps none.
  bool WaitUntilReadable(const std::string& table, int spid,
                         const std::function<bool()>& cancelled);
  // Drops every lock `spid` holds, waking those who wait for them.
  void ReleaseAll(int spid);

  // Whether `spid` holds a lock on `table` in `mode` (exclusive counts as shared).
  bool Holds(const std::string& table, int spid, LockMode mode);

 private:
  struct Holders {
    std::set<int> shared;  // spids
    int exclusive = 0;     // spid, 0 for none
  };
  // Another connection holds a lock on `table` that `mode` conflicts with.
  bool Blocked(const Holders& h, int spid, LockMode mode) const;
  // Whether `spid` waiting for `table` would wait for itself, round a circle.
  bool WaitsForItself(int spid, const std::string& table, LockMode mode) const;
  bool Wait(std::unique_lock<std::mutex>& lock, const std::string& table, int spid, LockMode mode,
            const std::function<bool()>& cancelled);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Holders> tables_;
  std::map<int, std::pair<std::string, LockMode>> waiting_;  // spid -> what it waits for
};

}  // namespace vq::ase_server
