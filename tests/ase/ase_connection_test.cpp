// Connecting where no server answers properly: these need no server at all.
#include "ase/ase_connection.h"

#include <gtest/gtest.h>

#include "ase/ase_error.h"
#include "support/silent_listener.h"

namespace vq::ase {
namespace {

using namespace std::chrono_literals;

ConnectOptions Options(uint16_t port) {
  ConnectOptions o;
  o.server = "127.0.0.1:" + std::to_string(port);
  o.user = "sa";
  o.password = "secret";
  o.database = "sales";
  o.connect_timeout = 1500ms;
  return o;
}

TEST(ConnectTest, AClosedPortFailsAtOnceNamingTheServer) {
  uint16_t port = vq::testing::ClosedLoopbackPort();
  auto start = std::chrono::steady_clock::now();
  try {
    Connection::Open(Options(port));
    FAIL() << "connected to a closed port";
  } catch (const AseError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kConnect);
    EXPECT_NE(
        std::string(e.what()).find("could not connect to server 127.0.0.1:" + std::to_string(port)),
        std::string::npos)
        << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

TEST(ConnectTest, ASilentHostFailsAtTheDeadlineEveryTime) {
  vq::testing::SilentListener silent;
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto start = std::chrono::steady_clock::now();
    try {
      Connection::Open(Options(silent.Port()));
      FAIL() << "connected to a silent host";
    } catch (const AseError& e) {
      EXPECT_EQ(e.Kind(), ErrorKind::kTimeout);
      EXPECT_NE(std::string(e.what()).find("no answer within 1500 milliseconds"), std::string::npos)
          << e.what();
    }
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 1400ms);
    EXPECT_LT(waited, 4s);
  }
  EXPECT_GE(silent.Accepted(), 2);
}

TEST(ConnectTest, BadAddressesAndDatabaseNamesAreRefusedBeforeConnecting) {
  vq::testing::SilentListener silent;
  ConnectOptions o = Options(silent.Port());
  o.database = "sales]; drop table x --";
  EXPECT_THROW(Connection::Open(o), AseError);
  o = Options(silent.Port());
  o.server = "127.0.0.1:99999";
  EXPECT_THROW(Connection::Open(o), AseError);
  EXPECT_EQ(silent.Accepted(), 0);
}

}  // namespace
}  // namespace vq::ase
