#include "server_charset.h"

#include <atomic>
#include <cstdint>

namespace vq::ase_server {
namespace {

std::atomic<ServerCharset> wire_charset{ServerCharset::kUtf8};

// The code point starting at `s[i]` and its length in bytes; a malformed
// sequence is one byte read as U+FFFD, so that it can never pass as Latin-1.
std::uint32_t NextCodePoint(std::string_view s, std::size_t i, std::size_t& length) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const auto continues = [&](std::size_t k) {
    return i + k < s.size() && (byte(k) & 0xC0) == 0x80;
  };
  const unsigned char c = byte(0);
  length = 1;
  if (c < 0x80) return c;
  if ((c & 0xE0) == 0xC0 && continues(1)) {
    length = 2;
    return ((c & 0x1Fu) << 6) | (byte(1) & 0x3Fu);
  }
  if ((c & 0xF0) == 0xE0 && continues(1) && continues(2)) {
    length = 3;
    return ((c & 0x0Fu) << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
  }
  if ((c & 0xF8) == 0xF0 && continues(1) && continues(2) && continues(3)) {
    length = 4;
    return ((c & 0x07u) << 18) | ((byte(1) & 0x3Fu) << 12) | ((byte(2) & 0x3Fu) << 6) |
           (byte(3) & 0x3Fu);
  }
  return 0xFFFD;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

bool ParseServerCharset(std::string_view name, ServerCharset& out) {
  if (name == "utf8") {
    out = ServerCharset::kUtf8;
    return true;
  }
  if (name == "iso_1") {
    out = ServerCharset::kIso1;
    return true;
  }
  return false;
}

const char* ServerCharsetName(ServerCharset charset) {
  return charset == ServerCharset::kIso1 ? "iso_1" : "utf8";
}

void SetWireCharset(ServerCharset charset) {
  wire_charset.store(charset);
}

ServerCharset WireCharset() {
  return wire_charset.load(std::memory_order_relaxed);
}

std::string ToWire(std::string_view utf8) {
  if (WireCharset() == ServerCharset::kUtf8 || IsAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    const std::uint32_t cp = NextCodePoint(utf8, i, length);
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
    i += length;
  }
  return out;
}

std::string FromWire(std::string_view bytes) {
  if (WireCharset() == ServerCharset::kUtf8 || IsAscii(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string AsStored(std::string utf8) {
  if (WireCharset() == ServerCharset::kUtf8 || IsAscii(utf8)) return utf8;
  return FromWire(ToWire(utf8));
}

std::size_t StoredBytes(std::string_view utf8) {
  if (WireCharset() == ServerCharset::kUtf8) return utf8.size();
  std::size_t characters = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t length = 1;
    NextCodePoint(utf8, i, length);
    i += length;
    ++characters;
  }
  return characters;
}

}  // namespace vq::ase_server
