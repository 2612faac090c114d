// TDS packet framing over a connected socket. Every packet has an 8-byte header:
//   type(1) status(1) length(2, big-endian, header included) channel(2) number(1) window(1)
// Status bit 0x01 marks the last packet of a message. Client messages are
// reassembled here; replies are cut into packets of the negotiated size.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "byte_buffer.h"

namespace vq::ase_server {

// Packet types.
inline constexpr std::uint8_t kPacketLanguage4 = 0x01;
inline constexpr std::uint8_t kPacketLogin = 0x02;
inline constexpr std::uint8_t kPacketReply = 0x04;
inline constexpr std::uint8_t kPacketAttention = 0x06;
inline constexpr std::uint8_t kPacketNormal = 0x0F;

// Thrown when the peer goes away or breaks the framing; the session just ends.
class ConnectionClosed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One reassembled client message.
struct ClientMessage {
  std::uint8_t type = 0;
  Bytes payload;
};

// Reads and writes TDS packets on a socket it does not own.
class PacketChannel {
 public:
  // A negative descriptor makes a channel that discards every reply (scripts).
  explicit PacketChannel(int fd) : fd_(fd) {}

  // Reads the next whole message; throws ConnectionClosed at end of stream.
  ClientMessage ReadMessage();

  // Sets the size of the packets written (512 until the login says otherwise).
  void SetPacketSize(std::size_t size);

  // Queues reply bytes; full packets go out once enough has gathered.
  void Append(const Bytes& bytes);
  // Sends everything queued, the last packet marked end of message.
  void Finish();
  // Drops queued reply bytes not yet sent (after a cancel).
  void DiscardPending() { pending_.clear(); }
  // Waits up to `timeout_ms` for the client to send something while a request
  // runs; true when that was an attention (cancel). Other messages are dropped.
  bool AttentionArrived(int timeout_ms);

  // Largest client message accepted (a statement batch of this size is absurd).
  static constexpr std::size_t kMaxMessageBytes = 64u << 20;

 private:
  void SendPackets(bool final);
  void WriteAll(const std::uint8_t* data, std::size_t size);
  void ReadExactly(std::uint8_t* data, std::size_t size);

  int fd_;
  std::size_t packet_size_ = 512;
  Bytes pending_;
};

}  // namespace vq::ase_server
