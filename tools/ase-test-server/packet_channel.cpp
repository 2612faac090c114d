#include "packet_channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace vq::ase_server {
namespace {
constexpr std::size_t kHeader = 8;
constexpr std::size_t kFlushThreshold = 32 * 1024;
}  // namespace

void PacketChannel::ReadExactly(std::uint8_t* data, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::recv(fd_, data + got, size - got, 0);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      throw ConnectionClosed("peer closed the connection");
    }
  }
}

ClientMessage PacketChannel::ReadMessage() {
  ClientMessage message;
  bool first = true;
  while (true) {
    std::array<std::uint8_t, kHeader> header{};
    ReadExactly(header.data(), header.size());
    const std::size_t length = (std::size_t{header[2]} << 8) | header[3];
    if (length < kHeader) throw ConnectionClosed("packet shorter than its header");
    if (first) message.type = header[0];
    first = false;
    const std::size_t body = length - kHeader;
    if (message.payload.size() + body > kMaxMessageBytes) {
      throw ConnectionClosed("client message too large");
    }
    const std::size_t at = message.payload.size();
    message.payload.resize(at + body);
    ReadExactly(message.payload.data() + at, body);
    if (header[1] & 0x01) return message;
  }
}

bool PacketChannel::AttentionArrived(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) return false;
  return ReadMessage().type == kPacketAttention;
}

void PacketChannel::SetPacketSize(std::size_t size) {
  packet_size_ = std::clamp<std::size_t>(size, 512, 65535);
}

void PacketChannel::Append(const Bytes& bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  if (pending_.size() >= kFlushThreshold) SendPackets(false);
}

void PacketChannel::Finish() {
  SendPackets(true);
}

void PacketChannel::SendPackets(bool final) {
  if (fd_ < 0) {
    pending_.clear();
    return;
  }
  const std::size_t body = packet_size_ - kHeader;
  Bytes wire;
  std::size_t at = 0;
  // Without `final`, keep the tail back so the last packet of the message
  // can carry the end-of-message bit.
  while (final ? (at < pending_.size() || at == 0) : pending_.size() - at > body) {
    const std::size_t n = std::min(body, pending_.size() - at);
    const bool last = final && at + n == pending_.size();
    const std::size_t length = n + kHeader;
    wire.push_back(kPacketReply);
    wire.push_back(last ? 0x01 : 0x00);
    wire.push_back(static_cast<std::uint8_t>(length >> 8));
    wire.push_back(static_cast<std::uint8_t>(length));
    wire.insert(wire.end(), 4, 0);
    wire.insert(wire.end(), pending_.begin() + static_cast<std::ptrdiff_t>(at),
                pending_.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    if (last) break;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
  WriteAll(wire.data(), wire.size());
}

void PacketChannel::WriteAll(const std::uint8_t* data, std::size_t size) {
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      throw ConnectionClosed("peer stopped reading");
    }
  }
}

}  // namespace vq::ase_server
