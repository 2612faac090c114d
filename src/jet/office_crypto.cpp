#include "jet/office_crypto.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>

#include "jet/page_file.h"
#include "jet/rc4.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

constexpr size_t kBlobOffset = 0x299;
// ACE headers keep other data from here on; the blob must end before it.
constexpr size_t kBlobEnd = 0xE00;
constexpr uint32_t kStandardSpinCount = 50000;

constexpr uint8_t kVerifierInputBlock[8] = {0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79};
constexpr uint8_t kVerifierHashBlock[8] = {0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E};
constexpr uint8_t kKeyValueBlock[8] = {0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6};

using Bytes = std::vector<uint8_t>;

std::atomic<uint32_t> spin_count_limit{10'000'000};

[[noreturn]] void WrongPassword() {
  throw JetError(error_numbers::kBadPassword, "Not a valid password.");
}

[[noreturn]] void CryptoFailure(const char* what) {
  throw JetError(error_numbers::kCorrupt,
                 std::string("The cryptography library failed to ") + what + ".");
}

ByteView V(const Bytes& b) {
  return ByteView(b.data(), b.size());
}

const EVP_MD* DigestNamed(const std::string& name) {
  if (name == "SHA1") return EVP_sha1();
  if (name == "SHA256") return EVP_sha256();
  if (name == "SHA384") return EVP_sha384();
  if (name == "SHA512") return EVP_sha512();
  throw JetError(error_numbers::kNotSupported, "The hash " + name + " is not supported.");
}

const EVP_CIPHER* Aes(uint32_t key_bits, bool cbc) {
  switch (key_bits) {
    case 128:
      return cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
    case 192:
      return cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb();
    case 256:
      return cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
  }
  ThrowCorrupt("its encryption header gives an AES key of " + std::to_string(key_bits) + " bits");
}

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

// One hash over the concatenation of `parts`.
Bytes Hash(const EVP_MD* md, std::initializer_list<ByteView> parts) {
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) CryptoFailure("start a hash");
  for (ByteView p : parts)
    if (EVP_DigestUpdate(ctx.get(), p.data(), p.size()) != 1) CryptoFailure("hash");
  Bytes out(static_cast<size_t>(EVP_MD_get_size(md)));
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), out.data(), &length) != 1) CryptoFailure("finish a hash");
  out.resize(length);
  return out;
}

// hash(salt + password), then `count` rounds of hash(LE32(i) + H).
Bytes PasswordHash(const EVP_MD* md, ByteView salt, ByteView password, uint32_t count) {
  Bytes h = Hash(md, {salt, password});
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx) CryptoFailure("start a hash");
  unsigned int length = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t le[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                     static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 24)};
    if (EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 || EVP_DigestUpdate(ctx.get(), le, 4) != 1 ||
        EVP_DigestUpdate(ctx.get(), h.data(), h.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), h.data(), &length) != 1)
      CryptoFailure("hash the password");
  }
  return h;
}

// `v` cut to `size` bytes, or padded with `pad`.
Bytes Fit(Bytes v, size_t size, uint8_t pad) {
  v.resize(size, pad);
  return v;
}

// AES over `size` bytes in place, without padding (size is whole blocks).
void AesApply(const EVP_CIPHER* cipher, const uint8_t* key, const uint8_t* iv, uint8_t* data,
              size_t size, bool encrypt) {
  if (size % 16 != 0) ThrowCorrupt("a page is not a whole number of cipher blocks");
  std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, iv, encrypt ? 1 : 0) != 1)
    CryptoFailure("start AES");
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  int out = 0;
  if (EVP_CipherUpdate(ctx.get(), data, &out, data, static_cast<int>(size)) != 1 ||
      static_cast<size_t>(out) != size)
    CryptoFailure("run AES");
}

Bytes AesCopy(const EVP_CIPHER* cipher, const Bytes& key, const uint8_t* iv, Bytes data,
              bool encrypt) {
  AesApply(cipher, key.data(), iv, data.data(), data.size(), encrypt);
  return data;
}

void Le32Into(uint8_t out[4], uint32_t v) {
  for (int k = 0; k < 4; ++k) out[k] = static_cast<uint8_t>(v >> (8 * k));
}

Bytes PasswordBytes(const std::string& password) {
  std::vector<uint16_t> units;
  try {
    Utf8ToUtf16(password, units);
  } catch (const JetError&) {
    WrongPassword();  // text that is not UTF-8 cannot be anyone's password
  }
  Bytes out;
  out.reserve(units.size() * 2);
  for (uint16_t u : units) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

Bytes RandomBytes(size_t n) {
  Bytes out(n);
  if (n > 0 && RAND_bytes(out.data(), static_cast<int>(n)) != 1) CryptoFailure("make random bytes");
  return out;
}

}  // namespace

struct OfficeCipher::Keys {
  OfficeScheme scheme = OfficeScheme::kAgile;
  uint32_t page_key = 0;
  // RC4 and Standard: the (iterated) password hash, and the key size.
  Bytes base_hash;
  size_t key_bytes = 0;
  // Agile: the data key, and the hash and salt that make each page's IV.
  const EVP_MD* iv_hash = nullptr;
  Bytes iv_salt;
  size_t block_size = 16;
  Bytes data_key;
  const EVP_CIPHER* page_cipher = nullptr;

  // The RC4 key for block value `blk`.
  Bytes Rc4Key(const uint8_t blk[4]) const {
    Bytes key = Hash(EVP_sha1(), {V(base_hash), ByteView(blk, 4)});
    key.resize(key_bytes);
    // 40-bit keys go into RC4 as 128 bits, the rest zero.
    if (key_bytes == 5) key.resize(16, 0);
    return key;
  }

  // The Standard AES key for block value `blk` (the CryptoAPI key derivation).
  Bytes AesKey(const uint8_t blk[4]) const {
    Bytes final_hash = Hash(EVP_sha1(), {V(base_hash), ByteView(blk, 4)});
    uint8_t inner[64], outer[64];
    std::memset(inner, 0x36, sizeof inner);
    std::memset(outer, 0x5C, sizeof outer);
    for (size_t k = 0; k < final_hash.size(); ++k) {
      inner[k] ^= final_hash[k];
      outer[k] ^= final_hash[k];
    }
    Bytes x1 = Hash(EVP_sha1(), {ByteView(inner, 64)});
    Bytes x2 = Hash(EVP_sha1(), {ByteView(outer, 64)});
    x1.insert(x1.end(), x2.begin(), x2.end());
    x1.resize(key_bytes);
    return x1;
  }
};

OfficeCipher::OfficeCipher(std::unique_ptr<Keys> keys) : keys_(std::move(keys)) {}
OfficeCipher::~OfficeCipher() = default;

OfficeScheme OfficeCipher::Scheme() const {
  return keys_->scheme;
}

std::shared_ptr<const OfficeCipher> OfficeCipher::ForFile(const Header& header,
                                                          const std::string& password) {
  const std::vector<uint8_t>& blob = header.encryption_info;
  return Open(ParseEncryptionInfo(ByteView(blob.data(), blob.size())), header.page_key, password);
}

std::shared_ptr<const OfficeCipher> OfficeCipher::Open(const EncryptionInfo& info,
                                                       uint32_t page_key,
                                                       const std::string& password) {
  auto keys = std::make_unique<Keys>();
  keys->scheme = info.scheme;
  keys->page_key = page_key;
  const Bytes pwd = PasswordBytes(password);
  const uint8_t zero[4] = {0, 0, 0, 0};

  switch (info.scheme) {
    case OfficeScheme::kRc4CryptoApi: {
      const BinaryEncryption& b = info.binary;
      keys->key_bytes = b.key_bits / 8;
      keys->base_hash = Hash(EVP_sha1(), {V(b.salt), V(pwd)});
      Bytes key = keys->Rc4Key(zero);
      Rc4 rc4(key.data(), key.size());
      Bytes verifier = b.encrypted_verifier;
      Bytes hash = b.encrypted_verifier_hash;
      rc4.Apply(verifier.data(), verifier.size());
      rc4.Apply(hash.data(), hash.size());
      if (Hash(EVP_sha1(), {V(verifier)}) != hash) WrongPassword();
      break;
    }
    case OfficeScheme::kStandardAes:
    case OfficeScheme::kNonStandardAes: {
      const BinaryEncryption& b = info.binary;
      keys->key_bytes = b.key_bits / 8;
      uint32_t rounds = info.scheme == OfficeScheme::kStandardAes ? kStandardSpinCount : 0;
      keys->base_hash = PasswordHash(EVP_sha1(), V(b.salt), V(pwd), rounds);
      Bytes key = keys->AesKey(zero);
      const EVP_CIPHER* ecb = Aes(b.key_bits, false);
      Bytes verifier = AesCopy(ecb, key, nullptr, b.encrypted_verifier, false);
      Bytes hash = AesCopy(ecb, key, nullptr, b.encrypted_verifier_hash, false);
      hash.resize(20);
      if (Hash(EVP_sha1(), {V(verifier)}) != hash) WrongPassword();
      keys->page_cipher = ecb;
      break;
    }
    case OfficeScheme::kAgile: {
      const AgilePasswordKey& k = info.password_key;
      if (k.spin_count > spin_count_limit.load()) {
        throw JetError(error_numbers::kNotSupported, "This database's password is hashed " +
                                                         std::to_string(k.spin_count) +
                                                         " times, more than this program allows.");
      }
      const EVP_MD* md = DigestNamed(k.params.hash);
      Bytes h = PasswordHash(md, V(k.params.salt), V(pwd), k.spin_count);
      const size_t key_size = k.params.key_bits / 8;
      const EVP_CIPHER* cbc = Aes(k.params.key_bits, true);
      const Bytes iv = Fit(k.params.salt, k.params.block_size, 0x36);
      auto key_for = [&](const uint8_t* block) {
        return Fit(Hash(md, {V(h), ByteView(block, 8)}), key_size, 0x36);
      };
      Bytes input = AesCopy(cbc, key_for(kVerifierInputBlock), iv.data(),
                            k.encrypted_verifier_hash_input, false);
      input.resize(k.params.salt.size());
      Bytes expected = AesCopy(cbc, key_for(kVerifierHashBlock), iv.data(),
                               k.encrypted_verifier_hash_value, false);
      expected.resize(k.params.hash_size);
      if (Hash(md, {V(input)}) != expected) WrongPassword();
      keys->data_key =
          AesCopy(cbc, key_for(kKeyValueBlock), iv.data(), k.encrypted_key_value, false);
      keys->data_key.resize(info.key_data.key_bits / 8);
      keys->iv_hash = DigestNamed(info.key_data.hash);
      keys->iv_salt = info.key_data.salt;
      keys->block_size = info.key_data.block_size;
      keys->page_cipher = Aes(info.key_data.key_bits, true);
      break;
    }
  }
  return std::shared_ptr<const OfficeCipher>(new OfficeCipher(std::move(keys)));
}

void OfficeCipher::Decrypt(uint32_t page_number, uint8_t* data, size_t size) const {
  Apply(page_number, data, size, false);
}

void OfficeCipher::Encrypt(uint32_t page_number, uint8_t* data, size_t size) const {
  Apply(page_number, data, size, true);
}

void OfficeCipher::Apply(uint32_t page_number, uint8_t* data, size_t size, bool encrypt) const {
  if (page_number == 0) return;
  const Keys& k = *keys_;
  uint8_t blk[4];
  Le32Into(blk, k.page_key ^ page_number);
  switch (k.scheme) {
    case OfficeScheme::kRc4CryptoApi: {
      Bytes key = k.Rc4Key(blk);
      Rc4 rc4(key.data(), key.size());
      rc4.Apply(data, size);
      break;
    }
    case OfficeScheme::kStandardAes:
    case OfficeScheme::kNonStandardAes: {
      Bytes key = k.AesKey(blk);
      AesApply(k.page_cipher, key.data(), nullptr, data, size, encrypt);
      break;
    }
    case OfficeScheme::kAgile: {
      Bytes iv = Fit(Hash(k.iv_hash, {V(k.iv_salt), ByteView(blk, 4)}), k.block_size, 0x36);
      AesApply(k.page_cipher, k.data_key.data(), iv.data(), data, size, encrypt);
      break;
    }
  }
}

// --- Encrypting a plain file ---------------------------------------------------

void LimitSpinCount(uint32_t max_spin_count) {
  spin_count_limit.store(max_spin_count);
}

EncryptionSettings EncryptionSettingsNamed(const std::string& name) {
  std::vector<std::string> parts(1);
  for (char c : name) {
    if (c == '-')
      parts.emplace_back();
    else
      parts.back() += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  // The digits after `prefix` in `part` as a number; 0 when there are none.
  auto bits = [](const std::string& part, const std::string& prefix) -> uint32_t {
    if (part.rfind(prefix, 0) != 0) return 0;
    std::string digits = part.substr(prefix.size());
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return 0;
    return static_cast<uint32_t>(std::stoul(digits));
  };
  EncryptionSettings s;
  s.key_bits = 0;
  if (parts.size() == 2 && parts[0] == "rc4") {
    s.scheme = OfficeScheme::kRc4CryptoApi;
    s.key_bits = bits(parts[1], "");
  } else if (parts.size() == 2 && (parts[0] == "standard" || parts[0] == "nonstandard")) {
    s.scheme = parts[0] == "standard" ? OfficeScheme::kStandardAes : OfficeScheme::kNonStandardAes;
    s.key_bits = bits(parts[1], "aes");
  } else if (parts.size() == 3 && parts[0] == "agile") {
    s.scheme = OfficeScheme::kAgile;
    s.key_bits = bits(parts[1], "aes");
    s.hash = parts[2];
    for (char& c : s.hash) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (s.hash != "SHA1" && s.hash != "SHA256" && s.hash != "SHA384" && s.hash != "SHA512")
      s.key_bits = 0;
  }
  if (s.key_bits == 0) {
    throw JetError(
        error_numbers::kNotSupported,
        "Unknown encryption \"" + name +
            "\": give rc4-40 to rc4-128, standard-aes128|192|256, "
            "nonstandard-aes128|192|256 or agile-aes128|192|256-sha1|sha256|sha384|sha512.");
  }
  return s;
}

EncryptionSettings DefaultEncryptionSettings(OfficeScheme scheme) {
  EncryptionSettings s;
  s.scheme = scheme;
  s.key_bits = scheme == OfficeScheme::kAgile ? 256 : 128;
  return s;
}

namespace {

// The scheme of `settings` in words, for messages.
std::string DescribeSettings(const EncryptionSettings& settings) {
  const std::string bits = std::to_string(settings.key_bits);
  switch (settings.scheme) {
    case OfficeScheme::kRc4CryptoApi:
      return bits + "-bit RC4 CryptoAPI encryption";
    case OfficeScheme::kStandardAes:
      return "Standard AES-" + bits + " encryption";
    case OfficeScheme::kNonStandardAes:
      return "non-standard AES-" + bits + " encryption";
    case OfficeScheme::kAgile:
      break;
  }
  return "agile AES-" + bits + " encryption with " + settings.hash;
}

NewEncryption BuildEncryption(const EncryptionSettings& settings, const std::string& password) {
  const Bytes pwd = PasswordBytes(password);
  const uint8_t zero[4] = {0, 0, 0, 0};
  EncryptionInfo info;
  info.scheme = settings.scheme;
  auto refuse = [](const std::string& why) {
    throw JetError(error_numbers::kNotSupported,
                   "Cannot encrypt with these settings: " + why + ".");
  };

  if (settings.scheme == OfficeScheme::kAgile) {
    if (settings.key_bits != 128 && settings.key_bits != 192 && settings.key_bits != 256)
      refuse("AES keys have 128, 192 or 256 bits");
    if (settings.spin_count > 10'000'000) refuse("the spin count is at most 10,000,000");
    const EVP_MD* md = DigestNamed(settings.hash);
    AgileParams params;
    params.key_bits = settings.key_bits;
    params.block_size = 16;
    params.hash = settings.hash;
    params.hash_size = static_cast<uint32_t>(EVP_MD_get_size(md));
    info.key_data = params;
    info.key_data.salt = RandomBytes(16);
    AgilePasswordKey& k = info.password_key;
    k.params = params;
    k.params.salt = RandomBytes(16);
    k.spin_count = settings.spin_count;

    Bytes h = PasswordHash(md, V(k.params.salt), V(pwd), k.spin_count);
    const EVP_CIPHER* cbc = Aes(settings.key_bits, true);
    auto key_for = [&](const uint8_t* block) {
      return Fit(Hash(md, {V(h), ByteView(block, 8)}), settings.key_bits / 8, 0x36);
    };
    // CBC takes whole blocks: a SHA-1 verifier hash (20 bytes) and an AES-192
    // key (24 bytes) are padded with zeros to the next block; a reader keeps
    // only the hash or key size from the front.
    auto whole_blocks = [](Bytes v) {
      const size_t size = (v.size() + 15) / 16 * 16;
      return Fit(std::move(v), size, 0);
    };
    Bytes input = RandomBytes(16);
    k.encrypted_verifier_hash_input =
        AesCopy(cbc, key_for(kVerifierInputBlock), k.params.salt.data(), input, true);
    k.encrypted_verifier_hash_value =
        AesCopy(cbc, key_for(kVerifierHashBlock), k.params.salt.data(),
                whole_blocks(Hash(md, {V(input)})), true);
    k.encrypted_key_value = AesCopy(cbc, key_for(kKeyValueBlock), k.params.salt.data(),
                                    whole_blocks(RandomBytes(settings.key_bits / 8)), true);
  } else {
    BinaryEncryption& b = info.binary;
    b.salt = RandomBytes(16);
    Bytes verifier = RandomBytes(16);
    Bytes verifier_hash = Hash(EVP_sha1(), {V(verifier)});
    b.key_bits = settings.key_bits;
    b.hash_id = 0x8004;
    b.verifier_hash_size = 20;
    if (settings.scheme == OfficeScheme::kRc4CryptoApi) {
      if (settings.key_bits < 40 || settings.key_bits > 128 || settings.key_bits % 8 != 0)
        refuse("RC4 keys have 40 to 128 bits, in whole bytes");
      b.flags = 0x04;
      b.cipher_id = 0x6801;
      b.provider_type = 1;
      const char* name = settings.key_bits == 40 ? "Microsoft Base Cryptographic Provider v1.0"
                                                 : "Microsoft Enhanced Cryptographic Provider v1.0";
      for (const char* c = name; *c; ++c) b.provider_name.push_back(static_cast<char16_t>(*c));
      OfficeCipher::Keys keys;
      keys.key_bytes = settings.key_bits / 8;
      keys.base_hash = Hash(EVP_sha1(), {V(b.salt), V(pwd)});
      Bytes rc4_key = keys.Rc4Key(zero);
      Rc4 rc4(rc4_key.data(), rc4_key.size());
      rc4.Apply(verifier.data(), verifier.size());
      rc4.Apply(verifier_hash.data(), verifier_hash.size());
      b.encrypted_verifier = verifier;
      b.encrypted_verifier_hash = verifier_hash;
    } else {
      if (settings.key_bits != 128 && settings.key_bits != 192 && settings.key_bits != 256)
        refuse("AES keys have 128, 192 or 256 bits");
      bool standard = settings.scheme == OfficeScheme::kStandardAes;
      b.flags = standard ? 0x24 : 0x04;
      b.cipher_id = settings.key_bits == 128 ? 0x660E : settings.key_bits == 192 ? 0x660F : 0x6610;
      b.provider_type = 0x18;
      const char* name = "Microsoft Enhanced RSA and AES Cryptographic Provider";
      for (const char* c = name; *c; ++c) b.provider_name.push_back(static_cast<char16_t>(*c));
      OfficeCipher::Keys keys;
      keys.key_bytes = settings.key_bits / 8;
      keys.base_hash =
          PasswordHash(EVP_sha1(), V(b.salt), V(pwd), standard ? kStandardSpinCount : 0);
      Bytes key = keys.AesKey(zero);
      const EVP_CIPHER* ecb = Aes(settings.key_bits, false);
      b.encrypted_verifier = AesCopy(ecb, key, nullptr, verifier, true);
      b.encrypted_verifier_hash = AesCopy(ecb, key, nullptr, Fit(verifier_hash, 32, 0), true);
    }
  }

  NewEncryption out;
  out.blob = SerializeEncryptionInfo(info);
  do {
    Bytes r = RandomBytes(4);
    out.page_key = Le32(r.data());
  } while (out.page_key == 0);
  // Read back what was written, so a blob this engine could not open again
  // never reaches a file.
  out.cipher = OfficeCipher::Open(ParseEncryptionInfo(V(out.blob)), out.page_key, password);
  return out;
}

}  // namespace

NewEncryption MakeEncryption(const EncryptionSettings& settings, const std::string& password) {
  // Access asks for a password before it encrypts; an empty one would let
  // anyone in while the file looks protected.
  if (password.empty()) {
    throw JetError(error_numbers::kNotSupported,
                   "A file cannot be encrypted with an empty password.");
  }
  try {
    return BuildEncryption(settings, password);
  } catch (const JetError& e) {
    if (e.Number() == error_numbers::kNotSupported) throw;
    // Nothing has been read from a file here: whatever failed is the scheme,
    // never a damaged database or a wrong password.
    throw JetError(error_numbers::kNotSupported,
                   "Cannot encrypt with " + DescribeSettings(settings) +
                       ": this program could not apply that scheme. Choose another one.");
  }
}

void WriteEncryptionHeader(uint8_t* page0, size_t size, const NewEncryption& encryption) {
  if (size < kBlobEnd || kBlobOffset + 2 + encryption.blob.size() > kBlobEnd) {
    throw JetError(error_numbers::kNotSupported,
                   "The encryption header does not fit into the file's first page.");
  }
  UnmaskHeader(page0, size, false);
  Le32Into(page0 + 0x3E, encryption.page_key);
  UnmaskHeader(page0, size, false);
  std::memset(page0 + kBlobOffset, 0, kBlobEnd - kBlobOffset);
  page0[kBlobOffset] = static_cast<uint8_t>(encryption.blob.size());
  page0[kBlobOffset + 1] = static_cast<uint8_t>(encryption.blob.size() >> 8);
  std::memcpy(page0 + kBlobOffset + 2, encryption.blob.data(), encryption.blob.size());
}

void EncryptAccessFile(const std::string& path, const EncryptionSettings& settings,
                       const std::string& password) {
  if (::access(PageFile::JournalPath(path).c_str(), F_OK) == 0) {
    throw JetError(error_numbers::kFileInUse,
                   "'" + path +
                       "' has a journal left by an unfinished change; open it once "
                       "to restore it before encrypting it.");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw JetError(error_numbers::kCorrupt, "Could not read '" + path + "'.");
  Bytes bytes((std::istreambuf_iterator<char>(in)), {});
  in.close();
  if (bytes.size() < 0x100) {
    throw JetError(error_numbers::kCorrupt,
                   "'" + path + "' is not an Access database (the file is too short).");
  }
  Header header = ParseHeader(ByteView(bytes.data(), std::min<size_t>(bytes.size(), 4096)), path);
  if (header.format != Format::kAce) {
    throw JetError(error_numbers::kNotSupported,
                   "'" + path +
                       "' is not an .accdb file; only .accdb files are encrypted "
                       "with a password.");
  }
  if (header.page_key != 0)
    throw JetError(error_numbers::kNotSupported, "'" + path + "' is encrypted already.");
  const size_t page = header.page_size;
  if (bytes.size() % page != 0 || bytes.size() < 3 * page)
    ThrowCorrupt("'" + path + "' is not a whole number of pages");

  NewEncryption encryption = MakeEncryption(settings, password);
  WriteEncryptionHeader(bytes.data(), page, encryption);
  for (size_t p = 1; p * page < bytes.size(); ++p)
    encryption.cipher->Encrypt(static_cast<uint32_t>(p), bytes.data() + p * page, page);

  // A copy beside the file, synced, then renamed over it.
  const std::string temporary = path + ".vq-encrypting";
  struct stat mode {};
  mode_t permissions = ::stat(path.c_str(), &mode) == 0 ? (mode.st_mode & 07777) : 0644;
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, permissions);
  if (fd < 0) {
    throw JetError(error_numbers::kReadOnly,
                   "Could not write beside '" + path + "': " + std::strerror(errno) + ".");
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == bytes.size() && ::fsync(fd) == 0;
  int saved = errno;
  ::close(fd);
  if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
    if (ok) saved = errno;
    ::unlink(temporary.c_str());
    throw JetError(error_numbers::kDiskFull,
                   "Could not write the encrypted '" + path + "': " + std::strerror(saved) + ".");
  }
}

}  // namespace jet
