// Scratch folders and files for tests that change databases: every test
// works on its own copies, never on the shared fixtures themselves.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet/rc4.h"

namespace jet::testing {

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/vq-jet-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The bytes of the file at `path` (empty when there is none).
inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("could not write " + path);
}

inline bool Exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

// Copies `source` to `target` and gives the copy its owner's write bit (the
// shared fixtures have none).
inline std::string CopyFile(const std::string& source, const std::string& target) {
  WriteFileBytes(target, FileBytes(source));
  ::chmod(target.c_str(), 0644);
  return target;
}

// Turns the Jet4 or Jet3 file at `path` into an "encoded" database with page
// key `key`: the key goes into the masked header field at 0x3E (the mask is
// an XOR, so XOR-ing the key in sets it where it was zero) and every page
// after the first is enciphered with RC4 keyed by key ^ page number.
inline void EncodeInPlace(const std::string& path, uint32_t key) {
  std::vector<uint8_t> bytes = FileBytes(path);
  for (int k = 0; k < 4; ++k) bytes[0x3E + k] ^= static_cast<uint8_t>(key >> (8 * k));
  const size_t page_size = bytes[0x14] == 0 ? 2048 : 4096;
  for (size_t p = 1; p * page_size < bytes.size(); ++p) {
    uint32_t k = key ^ static_cast<uint32_t>(p);
    uint8_t page_key[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                           static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
    Rc4 rc4(page_key, 4);
    rc4.Apply(bytes.data() + p * page_size, page_size);
  }
  WriteFileBytes(path, bytes);
}

// Gives the Access 97 file at `path`, which has no password, the database
// password `password` (ASCII): the field at 0x42 lies in the masked header,
// and the mask is an XOR, so XOR-ing the bytes in sets them where they were 0.
inline void SetJet3PasswordInPlace(const std::string& path, const std::string& password) {
  std::vector<uint8_t> bytes = FileBytes(path);
  if (bytes.size() < 0x100 || bytes[0x14] != 0 || password.size() > 20)
    throw std::runtime_error("not an Access 97 file, or too long a password");
  for (size_t k = 0; k < password.size(); ++k) bytes[0x42 + k] ^= static_cast<uint8_t>(password[k]);
  WriteFileBytes(path, bytes);
}

}  // namespace jet::testing
