// The RC4 stream cipher, which Jet uses both to mask the header of every file
// and to encode the pages of an "encoded" database.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet {

// One RC4 key stream, for the masked header and encoded pages.
class Rc4 {
 public:
  // Starts the key stream for `key`.
  Rc4(const uint8_t* key, size_t key_length);
  // XORs the next `length` bytes of the stream into `data`.
  void Apply(uint8_t* data, size_t length);

 private:
  uint8_t s_[256];
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

}  // namespace jet
