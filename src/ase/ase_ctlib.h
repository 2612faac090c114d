// The client-library side of a connection: the ct-lib handles, the messages
// the library and the server report through callbacks, and the command that
// is running. Private to src/ase.
#pragma once

#include <ctpublic.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ase/ase_error.h"

namespace vq::ase::detail {

class ActiveResult;

// Where reading a command's results stopped.
struct ResultsEnd {
  bool at_rows = false;  // at a row result, left unread for the caller
  bool failed = false;   // a statement failed, the server reported an error, or time ran out
};

// What the callbacks saw during one operation.
struct Diagnostics {
  // One message kept for the failure it may explain.
  struct Message {
    bool from_server = false;
    int number = 0;
    int severity = 0;
    int state = 0;
    std::string text;
  };
  std::vector<Message> errors;   // server messages above severity 10, client messages
  bool login_refused = false;    // the server said 4002
  bool timed_out = false;        // the statement deadline passed
  int timeout_calls = 0;         // timeout callbacks during the current statement
  bool in_login = false;         // the connect is still logging in
  bool broken = false;           // the library gave up the connection
  bool unconvertible = false;    // the statement held characters the server's charset lacks
  bool lost_characters = false;  // a value read had characters the library could not convert

  // Forgets what the previous operation saw.
  void Reset();
  // The first server error, if any.
  const Message* FirstServerError() const;
  // The first message from the client library, if any.
  const Message* FirstClientMessage() const;
};

// The handles of one open (or opening) connection and its diagnostics. Each
// connection has a context of its own, so callbacks and settings never cross
// connections or threads.
class Link : public std::enable_shared_from_this<Link> {
 public:
  // Allocates the context and connection and sets every login property.
  // Throws AseError (kClient) when the library cannot be set up.
  Link(const std::string& server_name, const std::string& user, const std::string& password,
       const std::string& application, std::chrono::milliseconds connect_timeout,
       std::chrono::milliseconds statement_timeout);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Logs in. Throws AseError (kLoginRefused, kConnect).
  void Login();
  // Runs `sql`, discarding rows. Throws AseError.
  void Execute(std::string_view sql);
  // Runs `statements` as one command; see Connection::ExecuteBatch.
  size_t ExecuteBatch(const std::vector<std::string_view>& statements,
                      std::vector<std::optional<AseError>>& outcomes);
  // Runs `sql` and returns its first row result (or an empty one). Throws AseError.
  std::shared_ptr<ActiveResult> Query(std::string_view sql);
  // Logs out and frees the handles. Safe to repeat.
  void Close();
  // Whether the login succeeded and the connection is not closed yet.
  bool IsOpen() const { return con_ != nullptr && logged_in_; }
  // The server as the caller named it, for messages.
  const std::string& ServerName() const { return server_name_; }

  // Hands the connection to a new command: a result still streaming takes the
  // rest of its rows into memory first. Throws AseError when the link is closed.
  void Claim();
  // `result` no longer holds the connection.
  void Release(ActiveResult* result);

  // Reads `cmd`'s results to the end, discarding rows and counts; with
  // `stop_at_rows` it stops at the first row result instead.
  ResultsEnd ReadResults(CS_COMMAND* cmd, bool stop_at_rows);
  // The failure that explains what the callbacks saw, described for `action`.
  AseError Failure(const std::string& action) const;
  // What the callbacks saw during the current operation.
  Diagnostics& Diag() { return diag_; }
  // The library's connection handle.
  CS_CONNECTION* Con() { return con_; }

 private:
  // Sends `sql` as a language command on a fresh command handle.
  CS_COMMAND* Send(std::string_view sql);

  std::string server_name_;
  std::chrono::milliseconds statement_timeout_;
  CS_CONTEXT* ctx_ = nullptr;
  CS_CONNECTION* con_ = nullptr;
  bool logged_in_ = false;
  Diagnostics diag_;
  ActiveResult* active_ = nullptr;  // the result streaming on this connection, if any

  friend class ActiveResult;
};

}  // namespace vq::ase::detail
