// What the test server was started with.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "server_charset.h"

namespace vq::ase_server {

// Command-line settings shared by every connection (read-only once serving).
struct ServerConfig {
  std::string listen_address = "127.0.0.1";
  int port = 5000;
  std::string data_dir = ".";
  std::vector<std::pair<std::string, std::string>> logins;  // user, password
  std::vector<std::string> databases;                       // the first is every login's default
  bool verbose = false;
  // Accept connections but never answer: lets a client test its connect deadline.
  bool silent = false;
  // SQL script (batches separated by "go" lines) that fills the first database
  // when it has no tables yet.
  std::string init_script;
  // The character set announced at login and applied to text on the wire.
  ServerCharset charset = ServerCharset::kUtf8;
  // The logical page size in bytes (2048, 4096, 8192 or 16384), which sets the
  // longest row a table takes, as on an ASE server built with that size.
  int page_size = 2048;
  // Data pages a database may fill before writes fail with 1105; 0 means no limit.
  std::int64_t max_pages = 0;
  // Microseconds every reply to a language request waits first, like a network hop.
  std::int64_t reply_delay_us = 0;
  // The ASE version the server stands for, as @@version gives it ("15.7"), and
  // as major * 100 + minor * 10: the types later versions added are refused
  // below theirs (bigint and unitext 15.0, bigdatetime 15.5).
  std::string version = "15.7";
  int version_number = 1570;

  // True when the name is a database this server holds ("master" always is).
  bool HasDatabase(const std::string& name) const;
  // The database a login starts in.
  std::string DefaultDatabase() const;
  // The SQLite file of a database.
  std::string DatabasePath(const std::string& name) const;
  // True when user and password match a configured login exactly.
  bool Accepts(const std::string& user, const std::string& password) const;
};

// Reads the command line; throws std::invalid_argument with a usage message.
ServerConfig ParseCommandLine(int argc, const char* const argv[]);

}  // namespace vq::ase_server
