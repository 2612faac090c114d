// Little helpers for building TDS byte strings. TDS 5.0 integers are sent in the
// byte order the client declared at login; FreeTDS on every platform we serve
// declares little-endian, so the writers here are little-endian unless named BE.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace vq::ase_server {

using Bytes = std::vector<std::uint8_t>;

// Appends fixed-width values to a byte vector.
class ByteWriter {
 public:
  explicit ByteWriter(Bytes& out) : out_(out) {}

  // Little-endian integers, as the protocol sends them.
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  // A big-endian 16-bit value, as in the packet header.
  void U16BE(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v >> 8));
    U8(static_cast<std::uint8_t>(v));
  }
  // IEEE floats, little-endian.
  void F64(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U64(bits);
  }
  void F32(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U32(bits);
  }
  // Bytes copied as they are.
  void Raw(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
  void Raw(const Bytes& b) { out_.insert(out_.end(), b.begin(), b.end()); }
  // `n` zero bytes, for padding.
  void Zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }

  // Position of the next byte, for length fields patched afterwards.
  std::size_t Mark() const { return out_.size(); }
  // Overwrites a length field written earlier at `at`.
  void PatchU16(std::size_t at, std::uint16_t v) {
    out_[at] = static_cast<std::uint8_t>(v);
    out_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void PatchU32(std::size_t at, std::uint32_t v) {
    PatchU16(at, static_cast<std::uint16_t>(v));
    PatchU16(at + 2, static_cast<std::uint16_t>(v >> 16));
  }

 private:
  Bytes& out_;
};

}  // namespace vq::ase_server
