// The one failure type of the ASE client.
//
// A server message of severity above 10 carries the server's own number and
// text; a failure seen by the client library (no route to the server, a
// timeout, a lost connection) carries the library's number and text; the
// client's own refusals carry number 0.
#pragma once

#include <stdexcept>
#include <string>

namespace vq::ase {

// What went wrong, coarsely, so callers can map it to their own error numbers.
enum class ErrorKind {
  kServer,        // the server refused a statement (number is the ASE message number)
  kLoginRefused,  // the server refused the user name or password (ASE message 4002)
  kConnect,       // no connection could be made: unreachable host, closed port, bad address
  kTimeout,       // the server did not answer within the deadline
  kClient,        // the client library or this client refused or lost the operation
};

// A failure of an ASE operation: a kind, a message number and a description.
class AseError : public std::runtime_error {
 public:
  AseError(ErrorKind kind, int number, const std::string& description)
      : std::runtime_error(description), kind_(kind), number_(number) {}

  ErrorKind Kind() const { return kind_; }
  // The ASE message number for server errors, the client library's otherwise.
  int Number() const { return number_; }

 private:
  ErrorKind kind_;
  int number_;
};

// The number of the error a row's fetch throws when the row was read to its
// end but lost characters on the way: the rows after it can still be read.
inline constexpr int kUnreadableRow = 2403;

// "Msg 208, Level 16, State 1: <server text>": the form server errors are shown
// in, with the server's text left as it came.
std::string FormatServerMessage(int number, int severity, int state, const std::string& text);

}  // namespace vq::ase
