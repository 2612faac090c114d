// The TDS 5.0 login record (packet type 2), of which the server reads only a
// few fields. Strings are fixed-size fields followed by a length byte:
//   @31 user name[30]+len   @62 password[30]+len   @140 application[30]+len
//   @557 packet size as text[6]+len   @568 CAPABILITY token (0xE2, len(2), bitmaps)
#pragma once

#include <optional>
#include <string>

#include "byte_buffer.h"

namespace vq::ase_server {

// What the server needs from a login.
struct LoginRecord {
  std::string user;
  std::string password;
  std::string application;
  std::size_t packet_size = 512;
  Bytes capability;  // the bitmaps after the CAPABILITY length, to echo back
};

// Parses the login payload; nullopt when it is too short to be one.
std::optional<LoginRecord> ParseLoginRecord(const Bytes& payload);

}  // namespace vq::ase_server
