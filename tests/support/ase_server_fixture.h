// Starts the ASE test server for a test: a fresh data folder (or a given one),
// one or more logins and databases, a free loopback port. The server is stopped
// and its temporary folder removed when the fixture goes away.
//
//   vq::testing::AseServerFixture server;            // sa / secret, database testdb
//   connect to server.address() ("127.0.0.1:PORT") as server.user() ...
#pragma once

#include <sys/types.h>
#include <string>
#include <utility>
#include <vector>

namespace vq::testing {

// How to start the server.
struct AseServerOptions {
  std::vector<std::pair<std::string, std::string>> logins{{"sa", "secret"}};
  std::vector<std::string> databases{"testdb"};
  std::string data_dir;     // empty: a new temporary folder, removed by the fixture
  bool verbose = false;     // statement log on the test's stderr
  bool silent = false;      // accept connections but never answer (connect deadlines)
  std::string init_script;  // SQL file that fills the first database when it is empty
  std::string charset;      // the server's character set ("iso_1"); empty: utf8
  // Further command-line options, as given ("--page-size", "4096", "--max-pages", ...).
  std::vector<std::string> extra_args;
};

// A running ase-test-server process. Not copyable; throws std::runtime_error
// when the server cannot be started.
class AseServerFixture {
 public:
  explicit AseServerFixture(AseServerOptions options = {});
  ~AseServerFixture();
  AseServerFixture(const AseServerFixture&) = delete;
  AseServerFixture& operator=(const AseServerFixture&) = delete;

  // The port the server listens on (changes after Restart).
  int port() const { return port_; }
  // "127.0.0.1:PORT", the form FreeTDS takes as a server name.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& data_dir() const { return options_.data_dir; }
  // The first login and database, for the common one-user case.
  const std::string& user() const { return options_.logins.front().first; }
  const std::string& password() const { return options_.logins.front().second; }
  const std::string& database() const { return options_.databases.front(); }

  // Stops the server (SIGTERM, then SIGKILL after a few seconds).
  void Stop();
  // Stops and starts it again on the same data folder.
  void Restart();
  bool running() const { return pid_ > 0; }

  // Where the server binary is, as the build recorded it.
  static std::string BinaryPath();

 private:
  void Start();

  AseServerOptions options_;
  bool own_data_dir_ = false;
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  int port_ = 0;
};

}  // namespace vq::testing
