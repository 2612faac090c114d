// The EncryptionInfo blob of a password-encrypted .accdb: which cipher, which
// hash, the salts and the password verifier. It sits in page 0 at 0x299 as a
// u16 length and the blob (outside the masked header region):
//
//   u16 major, u16 minor        (4,4) agile; (2|3|4, 2) binary header below;
//                               (1,1) and (3|4, 3) exist but are not read here
//
//   Binary header (RC4 CryptoAPI, Standard AES and its "non-standard" variant):
//   u32 flags (copy of the header's), u32 header size, then the header:
//     u32 flags                 0x04 CryptoAPI, 0x08 doc props, 0x20 AES
//     u32 size extra (0), u32 cipher id (0x6801 RC4, 0x660E/F/10 AES-128/192/256),
//     u32 hash id (0x8004 SHA-1), u32 key bits (RC4: 0 means 40 with the
//     base provider or none named, else 128),
//     u32 provider type, u32 reserved x2, UTF-16 provider name, NUL-terminated
//   then the verifier:
//     u32 salt size (16), salt, encrypted verifier (16 bytes),
//     u32 verifier hash size (20), encrypted verifier hash (20 for RC4, 32 for AES)
//   Standard AES carries the AES flag; the non-standard variant names an AES
//   cipher without it, and hashes the password without iterations.
//
//   Agile: u32 reserved (0x40), then UTF-8 XML:
//     <encryption> <keyData saltValue cipherAlgorithm keyBits blockSize
//     hashAlgorithm hashSize .../> <keyEncryptors><keyEncryptor uri=password>
//     <p:encryptedKey spinCount saltValue ... encryptedVerifierHashInput
//     encryptedVerifierHashValue encryptedKeyValue/> ...
//   Binary values in the XML are base64.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/bytes.h"

namespace jet {

// The page-encryption schemes of password-protected .accdb files.
enum class OfficeScheme { kRc4CryptoApi, kStandardAes, kNonStandardAes, kAgile };

// The binary header and verifier of the RC4 CryptoAPI and Standard AES schemes.
struct BinaryEncryption {
  uint16_t major = 4;
  uint16_t minor = 2;
  uint32_t flags = 0;
  uint32_t cipher_id = 0;
  uint32_t hash_id = 0x8004;
  uint32_t key_bits = 0;  // RC4: an unstated (0) size is resolved from the provider name
  uint32_t provider_type = 0;
  std::u16string provider_name;
  std::vector<uint8_t> salt;
  std::vector<uint8_t> encrypted_verifier;
  uint32_t verifier_hash_size = 20;
  std::vector<uint8_t> encrypted_verifier_hash;
};

// One cipher-and-hash description of the agile XML: the data key's
// (<keyData>) or the password key encryptor's (<p:encryptedKey>).
struct AgileParams {
  uint32_t key_bits = 0;
  uint32_t block_size = 0;
  uint32_t hash_size = 0;
  std::string hash;  // "SHA1", "SHA256", "SHA384" or "SHA512"
  std::vector<uint8_t> salt;
};

// The password key encryptor of the agile XML.
struct AgilePasswordKey {
  AgileParams params;
  uint32_t spin_count = 0;
  std::vector<uint8_t> encrypted_verifier_hash_input;
  std::vector<uint8_t> encrypted_verifier_hash_value;
  std::vector<uint8_t> encrypted_key_value;
};

// The parsed EncryptionInfo blob.
struct EncryptionInfo {
  OfficeScheme scheme = OfficeScheme::kAgile;
  BinaryEncryption binary;  // RC4 CryptoAPI, Standard and non-standard AES
  AgileParams key_data;     // agile
  AgilePasswordKey password_key;
};

// Reads and checks the blob. Anything malformed or out of range is a kCorrupt
// JetError; a known scheme this engine does not read is kNotSupported.
EncryptionInfo ParseEncryptionInfo(ByteView blob);

// The blob for `info`, as ParseEncryptionInfo reads it.
std::vector<uint8_t> SerializeEncryptionInfo(const EncryptionInfo& info);

// Base64 as the agile XML writes binary values; bad input is a kCorrupt JetError.
std::vector<uint8_t> DecodeBase64(const std::string& text);
std::string EncodeBase64(ByteView bytes);

}  // namespace jet
