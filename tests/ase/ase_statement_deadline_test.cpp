// The statement deadline, against a peer that logs the client in and then
// stops answering: a server that hangs mid-statement. The peer speaks just
// enough TDS 5.0 for the login and the client's first statements.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ase/ase_connection.h"
#include "ase/ase_error.h"

namespace vq::ase {
namespace {

using namespace std::chrono_literals;
using Bytes8 = std::vector<uint8_t>;

// Logs one client in, answers its set-up statements, then stays silent on the
// statement after them. With `answer_cancel`, a cancel is acknowledged and
// every later statement answered again.
class StallingPeer {
 public:
  explicit StallingPeer(bool answer_cancel) : answer_cancel_(answer_cancel) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    ::listen(fd_, 4);
    thread_ = std::thread([this] { Serve(); });
  }
  ~StallingPeer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  uint16_t Port() const { return port_; }
  int Cancels() const { return cancels_; }

 private:
  // Reads one whole message (packets up to end-of-message); false on close or stop.
  bool ReadMessage(int c, uint8_t& type) {
    for (;;) {
      uint8_t header[8];
      if (!ReadExactly(c, header, 8)) return false;
      type = header[0];
      size_t length = (static_cast<size_t>(header[2]) << 8) | header[3];
      std::vector<uint8_t> body(length > 8 ? length - 8 : 0);
      if (!body.empty() && !ReadExactly(c, body.data(), body.size())) return false;
      if (header[1] & 1) return true;
    }
  }
  bool ReadExactly(int c, uint8_t* p, size_t n) {
    while (n > 0) {
      pollfd pf{c, POLLIN, 0};
      if (stop_) return false;
      if (::poll(&pf, 1, 50) <= 0) continue;
      ssize_t got = ::recv(c, p, n, 0);
      if (got <= 0) return false;
      p += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  void Reply(int c, const Bytes8& tokens) {
    Bytes8 packet = {0x04, 0x01, 0, 0, 0, 0, 0, 0};
    packet.insert(packet.end(), tokens.begin(), tokens.end());
    packet[2] = static_cast<uint8_t>(packet.size() >> 8);
    packet[3] = static_cast<uint8_t>(packet.size() & 0xFF);
    ::send(c, packet.data(), packet.size(), MSG_NOSIGNAL);
  }

  void Serve() {
    int c = -1;
    while (!stop_ && c < 0) {
      pollfd pf{fd_, POLLIN, 0};
      if (::poll(&pf, 1, 50) > 0) c = ::accept(fd_, nullptr, nullptr);
    }
    if (c < 0) return;
    const Bytes8 done = {0xfd, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes8 done_cancelled = {0xfd, 0x20, 0, 0, 0, 0, 0, 0, 0};
    // ENVCHANGE charset utf8, LOGINACK 5.0 "sql server" 15.7, DONE.
    Bytes8 login = {0xe3, 0x07, 0x00, 0x03, 0x04, 'u',  't',  'f',  '8',  0x00, 0xad,
                    0x14, 0x00, 0x05, 0x05, 0x00, 0x00, 0x00, 0x0a, 's',  'q',  'l',
                    ' ',  's',  'e',  'r',  'v',  'e',  'r',  0x0f, 0x07, 0x00, 0x00};
    login.insert(login.end(), done.begin(), done.end());
    // select @@spid: one INT4 column, one row, DONE with a count of 1.
    const Bytes8 spid = {0xee, 0x0a, 0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x00,
                         0x00, 0x00, 0x38, 0x00, 0xd1, 0x01, 0x00, 0x00, 0x00,
                         0xfd, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    int statement = 0;
    bool stalled = false;
    uint8_t type = 0;
    while (ReadMessage(c, type)) {
      if (type == 0x02) {
        Reply(c, login);
      } else if (type == 0x06) {  // attention
        ++cancels_;
        if (answer_cancel_) {
          Reply(c, done_cancelled);
          stalled = false;
        }
      } else if (stalled) {
        continue;
      } else if (++statement == 1) {
        Reply(c, spid);
      } else if (statement == 2) {
        Reply(c, done);  // set textsize
      } else if (statement == 3) {
        stalled = true;  // the statement under test: no answer
      } else {
        Reply(c, done);
      }
    }
    ::close(c);
  }

  bool answer_cancel_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> cancels_{0};
  std::thread thread_;
};

ConnectOptions Options(uint16_t port) {
  ConnectOptions o;
  o.server = "127.0.0.1:" + std::to_string(port);
  o.user = "sa";
  o.password = "x";
  o.connect_timeout = 5s;
  o.statement_timeout = 1s;
  return o;
}

TEST(StatementDeadlineTest, AStatementTheServerIgnoresIsCancelledAndTheConnectionLives) {
  StallingPeer peer(/*answer_cancel=*/true);
  auto connection = Connection::Open(Options(peer.Port()));
  auto start = std::chrono::steady_clock::now();
  try {
    connection->Execute("INSERT INTO [T] VALUES(1)");
    FAIL() << "a statement without an answer succeeded";
  } catch (const AseError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kTimeout) << e.what();
    EXPECT_NE(std::string(e.what()).find("did not answer within 1 seconds"), std::string::npos);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(peer.Cancels(), 1);
  EXPECT_NO_THROW(connection->Execute("INSERT INTO [T] VALUES(2)"));
}

TEST(StatementDeadlineTest, AServerThatIgnoresTheCancelTooLosesTheConnection) {
  StallingPeer peer(/*answer_cancel=*/false);
  auto connection = Connection::Open(Options(peer.Port()));
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(connection->Execute("INSERT INTO [T] VALUES(1)"), AseError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  try {
    connection->Execute("INSERT INTO [T] VALUES(2)");
    FAIL() << "a lost connection ran a statement";
  } catch (const AseError& e) {
    EXPECT_NE(std::string(e.what()).find("lost"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace vq::ase
