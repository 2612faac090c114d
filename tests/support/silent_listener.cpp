#include "support/silent_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vq::testing {
namespace {

int BoundLoopbackSocket(uint16_t& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket() failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("bind() failed");
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

SilentListener::SilentListener() {
  listen_fd_ = BoundLoopbackSocket(port_);
  if (::listen(listen_fd_, 16) != 0) {
    ::close(listen_fd_);
    throw std::runtime_error("listen() failed");
  }
  thread_ = std::thread([this] { Run(); });
}

SilentListener::~SilentListener() {
  stop_ = true;
  thread_.join();
  ::close(listen_fd_);
  std::lock_guard lock(mutex_);
  for (int fd : clients_) ::close(fd);
}

void SilentListener::Run() {
  while (!stop_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    clients_.push_back(fd);
    ++accepted_;
  }
}

uint16_t ClosedLoopbackPort() {
  uint16_t port = 0;
  int fd = BoundLoopbackSocket(port);
  ::close(fd);
  return port;
}

}  // namespace vq::testing
