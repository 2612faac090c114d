#include "ase/ase_address.h"

#include <gtest/gtest.h>

#include "ase/ase_error.h"

namespace vq::ase {
namespace {

TEST(ServerAddressTest, ReadsHostAndPortAndDefaultsThePort) {
  auto a = ParseServerAddress("ase1:4100");
  EXPECT_EQ(a.host, "ase1");
  EXPECT_EQ(a.port, 4100);
  EXPECT_EQ(ParseServerAddress("db.example.com").port, 5000);
  EXPECT_EQ(ParseServerAddress("db.example.com:").port, 5000);
  EXPECT_EQ(ParseServerAddress("10.0.0.7:65535").port, 65535);
}

TEST(ServerAddressTest, ReadsBracketedIpv6AndWritesItBack) {
  auto a = ParseServerAddress("[::1]:5001");
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.port, 5001);
  EXPECT_EQ(ServerName(a), "[::1]:5001");
  EXPECT_EQ(ServerName(ParseServerAddress("h:7")), "h:7");
}

TEST(ServerAddressTest, RefusesWhatCannotBeAnAddress) {
  for (const char* bad : {"", ":5000", "host:0", "host:65536", "host:50x0", "host:-1",
                          "host:123456", "two words:5000", "a:b:5000", "[::1", "[::1]x"}) {
    try {
      ParseServerAddress(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const AseError& e) {
      EXPECT_EQ(e.Kind(), ErrorKind::kConnect) << bad;
      EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace vq::ase
