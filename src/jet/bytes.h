// Bounded little-endian access to bytes of a page or record.
//
// Every decoder reads through ByteView, so an offset or length taken from a
// file can never read outside the buffer it came with: a read past the end
// raises a JetError instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "jet/error.h"

namespace jet {

// Little-endian integers at `p`, for callers that have checked the bounds.
inline uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

// A read-only window on bytes owned elsewhere.
class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // True when [offset, offset + length) lies inside the view.
  bool Contains(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  uint8_t U8(size_t offset) const {
    Need(offset, 1);
    return data_[offset];
  }
  uint16_t U16(size_t offset) const {
    Need(offset, 2);
    return Le16(data_ + offset);
  }
  uint32_t U32(size_t offset) const {
    Need(offset, 4);
    return Le32(data_ + offset);
  }
  uint64_t U64(size_t offset) const {
    Need(offset, 8);
    return Le64(data_ + offset);
  }
  // The bytes [offset, offset + length).
  ByteView Sub(size_t offset, size_t length) const {
    Need(offset, length);
    return ByteView(data_ + offset, length);
  }
  // The bytes from `offset` to the end.
  ByteView From(size_t offset) const {
    Need(offset, 0);
    return ByteView(data_ + offset, size_ - offset);
  }

 private:
  // The check stays inline at every read; the message is built out of line,
  // where it costs nothing until a read fails.
  void Need(size_t offset, size_t length) const {
    if (!Contains(offset, length)) [[unlikely]]
      RunsPast(offset, size_);
  }
  [[noreturn, gnu::noinline, gnu::cold]] static void RunsPast(size_t offset, size_t size) {
    ThrowCorrupt("a field at offset " + std::to_string(offset) + " runs past its record of " +
                 std::to_string(size) + " bytes");
  }
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace jet
