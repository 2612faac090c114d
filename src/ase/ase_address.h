// Where an ASE server listens, read from the "server:port" text of a
// connection string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vq::ase {

inline constexpr uint16_t kDefaultPort = 5000;

// A host name or address and a TCP port.
struct ServerAddress {
  std::string host;  // without the brackets of a written IPv6 address
  uint16_t port = kDefaultPort;
};

// Reads "host:port", "host" (port 5000), "host:" (port 5000) or "[v6addr]:port".
// Throws AseError (kConnect) for an empty host, a port that is not a number
// from 1 to 65535, or characters no host name can hold.
ServerAddress ParseServerAddress(std::string_view text);

// The "host:port" form the client library understands ("[v6]:port" for IPv6).
std::string ServerName(const ServerAddress& address);

}  // namespace vq::ase
