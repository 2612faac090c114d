// The TDS 5.0 reply tokens other than ROWFMT/ROW:
//   ENVCHANGE 0xE3  len(2) type(1) new_len(1) new old_len(1) old
//   EED       0xE5  len(2) number(4) state(1) severity(1) sqlstate_len(1) sqlstate
//                   status(1) tran_state(2) msg_len(2) msg server_len(1) server
//                   proc_len(1) proc line(2)
//   LOGINACK  0xAD  len(2) status(1) tds_version(4) name_len(1) name version(4, BE)
//   CAPABILITY 0xE2 len(2) then the request and response bitmaps
//   DONE      0xFD  status(2) tran_state(2) count(4)
#pragma once

#include <cstdint>
#include <string_view>

#include "byte_buffer.h"
#include "server_message.h"

namespace vq::ase_server {

// DONE status bits.
inline constexpr std::uint16_t kDoneFinal = 0x00;
inline constexpr std::uint16_t kDoneMore = 0x01;
inline constexpr std::uint16_t kDoneError = 0x02;
inline constexpr std::uint16_t kDoneCount = 0x10;
inline constexpr std::uint16_t kDoneAttention = 0x20;

// ENVCHANGE kinds.
inline constexpr std::uint8_t kEnvDatabase = 1;
inline constexpr std::uint8_t kEnvLanguage = 2;
inline constexpr std::uint8_t kEnvCharset = 3;
inline constexpr std::uint8_t kEnvPacketSize = 4;

// The server name every message carries.
inline constexpr std::string_view kServerName = "ASETEST";

// Appends ENVCHANGE.
void WriteEnvChange(Bytes& out, std::uint8_t kind, std::string_view new_value,
                    std::string_view old_value);
// Appends EED for a server message.
void WriteMessage(Bytes& out, const ServerMessage& message);
// Appends LOGINACK; `accepted` picks status 5 (ok) or 6 (failed).
void WriteLoginAck(Bytes& out, bool accepted);
// Appends CAPABILITY with the given bitmaps block (everything after the length).
void WriteCapability(Bytes& out, const Bytes& block);
// Appends DONE.
void WriteDone(Bytes& out, std::uint16_t status, std::uint32_t count);

}  // namespace vq::ase_server
