#include "listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "client_session.h"

namespace vq::ase_server {

Listener::~Listener() {
  Stop();
}

int Listener::Open() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const int yes = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(config_.port));
  if (::inet_pton(AF_INET, config_.listen_address.c_str(), &addr.sin_addr) != 1) {
    throw std::runtime_error("not an IPv4 address: " + config_.listen_address);
  }
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    throw std::runtime_error("bind " + config_.listen_address + ":" + std::to_string(config_.port) +
                             ": " + std::strerror(errno));
  }
  if (::listen(listen_fd_, 64) != 0) {
    throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
  }
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

void Listener::ReapFinished() {
  std::lock_guard lock(mutex_);
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (it->done) {
      it->thread.join();
      ::close(it->fd);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

void Listener::Serve(int stop_fd) {
  while (true) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    const int n = ::poll(fds, 2, 1000);
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    ReapFinished();
    if (n <= 0 || !(fds[0].revents & POLLIN)) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors or a connection reset before accept: do not spin.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        ::poll(nullptr, 0, 100);
      }
      continue;
    }
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    std::lock_guard lock(mutex_);
    Client& client = clients_.emplace_back();
    client.fd = fd;
    const int spid = next_spid_++;
    client.thread = std::thread([this, &client, fd, spid] {
      ClientSession(config_, fd, spid).Run();
      client.done = true;
    });
  }
}

void Listener::Stop() {
  if (listen_fd_ >= 0) {
    ::close(listen_fd_);
    listen_fd_ = -1;
  }
  std::lock_guard lock(mutex_);
  // Wakes threads blocked in recv; a statement being run finishes first.
  for (Client& c : clients_) ::shutdown(c.fd, SHUT_RDWR);
  for (Client& c : clients_) {
    if (c.thread.joinable()) c.thread.join();
    ::close(c.fd);
  }
  clients_.clear();
}

}  // namespace vq::ase_server
