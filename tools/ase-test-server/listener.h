// The listening socket and the connection threads. Each accepted client gets
// its own thread and session; Stop() closes the listener, wakes every client
// thread by shutting its socket down, and waits for them all.
#pragma once

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

#include "server_config.h"

namespace vq::ase_server {

// Accepts clients on one address and serves each on its own thread.
class Listener {
 public:
  explicit Listener(const ServerConfig& config) : config_(config) {}
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds and listens; returns the port actually bound. Throws std::runtime_error.
  int Open();
  // Accepts until `stop_fd` becomes readable (the signal handler writes to it).
  void Serve(int stop_fd);
  // Ends every connection and waits for the threads.
  void Stop();

 private:
  struct Client {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void ReapFinished();

  const ServerConfig& config_;
  int listen_fd_ = -1;
  std::mutex mutex_;
  std::list<Client> clients_;
  int next_spid_ = 11;
};

}  // namespace vq::ase_server
