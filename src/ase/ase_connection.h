// One connection to a Sybase ASE server through FreeTDS Client-Library.
//
//   ConnectOptions o;
//   o.server = "db1:5000"; o.user = "sa"; o.password = "..."; o.database = "sales";
//   auto c = Connection::Open(o);          // TDS 5.0, UTF-8, within the deadline
//   c->Execute("CREATE TABLE [T]([a] INT NULL)");
//   auto rows = c->Query("SELECT * FROM [T]");
//   std::vector<Value> row;
//   while (rows->Next(row)) { ... }
//
// Every connect runs on a worker thread: FreeTDS never returns from a TDS 5.0
// login to a host that accepts the connection and then stays silent, so the
// caller waits only until the deadline and the worker is left to finish (and
// clean up) on its own. Every statement has a deadline too: when the server
// stays silent that long the statement is cancelled and fails.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ase/ase_error.h"
#include "ase/ase_result.h"

namespace vq::ase {

// What a connection is opened with.
struct ConnectOptions {
  std::string server;  // "host:port" (port 5000 when left out)
  std::string user;
  std::string password;
  std::string database;  // switched to with "use" when not empty
  std::chrono::milliseconds connect_timeout{std::chrono::seconds(10)};
  // How long the server may stay silent during a statement before it is cancelled.
  std::chrono::milliseconds statement_timeout{std::chrono::seconds(120)};
  std::string application = "Vellquist";
};

// An open connection. Not thread-safe: one thread uses it at a time.
class Connection {
 public:
  // Connects, logs in, sets the text size so TEXT and IMAGE values come back
  // whole, and switches to the database. Throws AseError: kLoginRefused for a
  // refused user or password, kTimeout when the server does not answer within
  // the connect deadline, kConnect when it cannot be reached, kServer when the
  // database cannot be used.
  static std::unique_ptr<Connection> Open(const ConnectOptions& options);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs one language command; rows it returns are discarded. Throws AseError.
  void Execute(std::string_view sql);
  // Runs `statements` as one language command and gives each one's outcome in
  // `outcomes` (empty for a statement that succeeded). Returns how many of the
  // first statements have a known outcome: the rest were not carried out (ASE
  // abandons a batch at a statement that does not compile, and at some errors
  // while it runs) and must be sent again. The statement at the returned
  // position may have failed only because the batch did; it is left unknown.
  // Throws AseError when the command could not be sent or the connection failed.
  size_t ExecuteBatch(const std::vector<std::string_view>& statements,
                      std::vector<std::optional<AseError>>& outcomes);
  // Runs one language command and returns the rows of its first result (none
  // for a statement without rows). Throws AseError.
  std::unique_ptr<ResultReader> Query(std::string_view sql);
  // Logs out and releases the connection; later calls fail. Safe to repeat.
  void Close();
  // Whether the login succeeded and Close has not run.
  bool IsOpen() const;
  // The "host:port" the connection was opened to.
  const std::string& ServerName() const;

 private:
  explicit Connection(std::shared_ptr<detail::Link> link);
  std::shared_ptr<detail::Link> link_;
};

}  // namespace vq::ase
