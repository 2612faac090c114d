// A loopback TCP listener that accepts every connection and never says a
// word: the host that makes a TDS 5.0 login wait for ever. Also finds a port
// where nothing listens.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vq::testing {

// Listens on 127.0.0.1 on a free port until destroyed; accepted connections
// stay open and silent until then.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  uint16_t Port() const { return port_; }
  // How many connections were accepted so far.
  int Accepted() const { return accepted_.load(); }

 private:
  void Run();
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::mutex mutex_;
  std::vector<int> clients_;
  std::thread thread_;
};

// A loopback port that nothing listens on (bound, then released at once).
uint16_t ClosedLoopbackPort();

}  // namespace vq::testing
