// One client connection from login to logout: checks the login, answers with
// the tokens FreeTDS waits for, then serves language requests until the client
// logs out or goes away.
#pragma once

#include <string>

#include "server_config.h"

namespace vq::ase_server {

// Serves one accepted socket; the caller owns and closes the descriptor.
class ClientSession {
 public:
  ClientSession(const ServerConfig& config, int fd, int spid)
      : config_(config), fd_(fd), spid_(spid) {}

  // Runs until logout, end of stream or a framing error; never throws.
  void Run();

 private:
  const ServerConfig& config_;
  int fd_;
  int spid_;
};

}  // namespace vq::ase_server
