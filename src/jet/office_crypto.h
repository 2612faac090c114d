// Page encryption of password-protected .accdb files (Office Document
// Cryptography). Page 0 is never encrypted; every other page p is enciphered
// whole, keyed through the 4 bytes blk = LE32(page key at 0x3E XOR p):
//
//   RC4 CryptoAPI   H0 = SHA1(salt + UTF-16LE password); page key =
//                   SHA1(H0 + blk), first key-bits/8 bytes (40-bit keys are
//                   zero-padded to 16 bytes); RC4 over the page.
//   Standard AES    H = SHA1(salt + password), then 50,000 times
//                   H = SHA1(LE32(i) + H) (none for the non-standard variant);
//                   page key = the CryptoAPI key derivation of SHA1(H + blk)
//                   (SHA1 of 64 bytes 0x36, and of 0x5C, XOR-ed with it,
//                   concatenated, cut to key size); AES-ECB over the page.
//   Agile           H = hash(salt + password), then spinCount times
//                   H = hash(LE32(i) + H); three keys hash(H + block key)
//                   decrypt (AES-CBC, IV = the key encryptor's salt) the
//                   verifier input, the verifier hash and the data key; page
//                   IV = hash(keyData salt + blk), cut or padded with 0x36 to
//                   the block size; AES-CBC over the page with the data key.
//
// The password is checked against the file's verifier (blk = 0 for the
// binary schemes) before any page is read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/encryption_info.h"
#include "jet/header.h"

namespace jet {

// The keys of one encrypted file, derived from its password: enciphers and
// deciphers its pages. Thread-compatible (const methods may run concurrently).
class OfficeCipher {
 public:
  // Checks `password` against the verifier of the file whose header is
  // `header`: a wrong or missing one is kBadPassword; a damaged
  // EncryptionInfo is kCorrupt.
  static std::shared_ptr<const OfficeCipher> ForFile(const Header& header,
                                                     const std::string& password);
  // The same from a parsed blob and the page key at 0x3E.
  static std::shared_ptr<const OfficeCipher> Open(const EncryptionInfo& info, uint32_t page_key,
                                                  const std::string& password);
  ~OfficeCipher();

  OfficeScheme Scheme() const;
  // Deciphers page `page_number` in place; page 0 is left alone. `size` must
  // be a whole number of cipher blocks (every page size is).
  void Decrypt(uint32_t page_number, uint8_t* data, size_t size) const;
  // Enciphers page `page_number` in place; page 0 is left alone.
  void Encrypt(uint32_t page_number, uint8_t* data, size_t size) const;

  struct Keys;

 private:
  explicit OfficeCipher(std::unique_ptr<Keys> keys);
  void Apply(uint32_t page_number, uint8_t* data, size_t size, bool encrypt) const;
  std::unique_ptr<Keys> keys_;
};

// How to encrypt a file: the scheme and its sizes.
struct EncryptionSettings {
  OfficeScheme scheme = OfficeScheme::kAgile;
  // RC4: 40 to 128; AES: 128, 192 or 256.
  uint32_t key_bits = 256;
  // Agile only: "SHA1", "SHA256", "SHA384" or "SHA512", and the spin count.
  std::string hash = "SHA512";
  uint32_t spin_count = 100000;
};

// The settings Access uses for each scheme (RC4 CryptoAPI 128-bit, Standard
// AES-128, agile AES-256 with SHA-512); 40-bit RC4 and the other sizes by hand.
EncryptionSettings DefaultEncryptionSettings(OfficeScheme scheme);

// Settings by name: "rc4-40" .. "rc4-128", "standard-aes128|192|256",
// "nonstandard-aes128|192|256", "agile-aes128|192|256-sha1|sha256|sha384|sha512".
// An unknown name is a kNotSupported JetError listing the known ones.
EncryptionSettings EncryptionSettingsNamed(const std::string& name);

// Lowers the largest agile spin count this process accepts (the format's own
// limit is 10,000,000): a fuzz run sets it so no one input takes seconds. A
// file above it is refused as not supported.
void LimitSpinCount(uint32_t max_spin_count);

// A fresh encryption of a plain file: the blob for 0x299, the page key for
// 0x3E, and the cipher for its pages, with random salts and keys.
struct NewEncryption {
  std::vector<uint8_t> blob;
  uint32_t page_key = 0;
  std::shared_ptr<const OfficeCipher> cipher;
};
// An empty password is refused.
NewEncryption MakeEncryption(const EncryptionSettings& settings, const std::string& password);

// Writes the page key and the blob of `encryption` into page 0 of an ACE
// file (the page as stored: the masked region is unmasked and masked again).
// A blob that does not fit before the header's other data is a JetError.
void WriteEncryptionHeader(uint8_t* page0, size_t size, const NewEncryption& encryption);

// Encrypts the plain ACE (.accdb) file at `path` in place with `password`:
// page 0 gets the page key and EncryptionInfo, every other page is
// enciphered. The file is rewritten through a temporary copy and a rename,
// so a failure leaves it as it was. A Jet file, an encrypted one or one with
// a journal left behind is refused.
void EncryptAccessFile(const std::string& path, const EncryptionSettings& settings,
                       const std::string& password);

}  // namespace jet
