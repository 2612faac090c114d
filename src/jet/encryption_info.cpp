#include "jet/encryption_info.h"

#include <expat.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace jet {
namespace {

constexpr uint32_t kFlagCryptoApi = 0x04;
constexpr uint32_t kFlagAes = 0x20;
constexpr uint32_t kCipherRc4 = 0x6801;
constexpr uint32_t kHashSha1 = 0x8004;
constexpr uint32_t kAgileReserved = 0x40;
// The largest spin count the format allows.
constexpr uint32_t kMaxSpinCount = 10'000'000;

constexpr char kEncryptionNs[] = "http://schemas.microsoft.com/office/2006/encryption";
constexpr char kPasswordNs[] = "http://schemas.microsoft.com/office/2006/keyEncryptor/password";

[[noreturn]] void Damaged(const std::string& why) {
  ThrowCorrupt("its encryption header " + why);
}

bool IsAesCipher(uint32_t id) {
  return id == 0x660E || id == 0x660F || id == 0x6610;
}

uint32_t AesKeyBits(uint32_t id) {
  return id == 0x660E ? 128 : id == 0x660F ? 192 : 256;
}

// Reads the binary header and verifier that follow the version.
BinaryEncryption ParseBinary(ByteView blob) {
  BinaryEncryption b;
  b.major = blob.U16(0);
  b.minor = blob.U16(2);
  uint32_t header_size = blob.U32(8);
  if (header_size < 32 || !blob.Contains(12, header_size)) Damaged("has a bad header size");
  ByteView h = blob.Sub(12, header_size);
  b.flags = h.U32(0);
  b.cipher_id = h.U32(8);
  b.hash_id = h.U32(12);
  b.key_bits = h.U32(16);
  b.provider_type = h.U32(20);
  for (size_t at = 32; at + 1 < h.size(); at += 2) {
    char16_t unit = static_cast<char16_t>(h.U16(at));
    if (unit == 0) break;
    b.provider_name.push_back(unit);
  }
  ByteView v = blob.From(12 + header_size);
  uint32_t salt_size = v.U32(0);
  if (salt_size != 16) Damaged("has a salt of " + std::to_string(salt_size) + " bytes");
  ByteView salt = v.Sub(4, 16);
  ByteView verifier = v.Sub(20, 16);
  b.verifier_hash_size = v.U32(36);
  if (b.verifier_hash_size != 20) Damaged("has a verifier hash of an unknown size");
  b.salt.assign(salt.data(), salt.data() + salt.size());
  b.encrypted_verifier.assign(verifier.data(), verifier.data() + verifier.size());
  return b;
}

// The stored hash is one SHA-1 (20 bytes) under RC4, padded to AES blocks (32).
void ReadVerifierHash(ByteView blob, BinaryEncryption& b, size_t length) {
  ByteView v = blob.From(12 + blob.U32(8));
  ByteView hash = v.Sub(40, length);
  b.encrypted_verifier_hash.assign(hash.data(), hash.data() + hash.size());
}

// --- Agile XML ---------------------------------------------------------------

struct XmlState {
  bool seen_root = false;
  bool seen_key_data = false;
  bool seen_password_key = false;
  // The first failure, kept until the parser returns.
  std::string error;
  int32_t error_number = 0;
  EncryptionInfo* info = nullptr;
};

// Expat reports names as "namespace local" when the parser is namespace-aware.
bool NameIs(const char* name, const char* ns, const char* local) {
  size_t n = std::strlen(ns);
  return std::strncmp(name, ns, n) == 0 && name[n] == ' ' && std::strcmp(name + n + 1, local) == 0;
}

const char* Attribute(const char** attributes, const char* name) {
  for (size_t k = 0; attributes[k]; k += 2)
    if (std::strcmp(attributes[k], name) == 0) return attributes[k + 1];
  return nullptr;
}

uint32_t Number(const char** attributes, const char* name, uint32_t max) {
  const char* text = Attribute(attributes, name);
  if (!text || !*text) Damaged(std::string("lacks the attribute ") + name);
  uint64_t value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') Damaged(std::string("has a bad ") + name);
    value = value * 10 + static_cast<uint64_t>(*c - '0');
    if (value > max) Damaged(std::string("has an out-of-range ") + name);
  }
  return static_cast<uint32_t>(value);
}

std::vector<uint8_t> Binary(const char** attributes, const char* name) {
  const char* text = Attribute(attributes, name);
  if (!text) Damaged(std::string("lacks the attribute ") + name);
  return DecodeBase64(text);
}

uint32_t DigestSize(const std::string& hash) {
  if (hash == "SHA1") return 20;
  if (hash == "SHA256") return 32;
  if (hash == "SHA384") return 48;
  if (hash == "SHA512") return 64;
  return 0;
}

// The attributes both <keyData> and <p:encryptedKey> carry.
AgileParams ReadParams(const char** attributes) {
  AgileParams p;
  const char* cipher = Attribute(attributes, "cipherAlgorithm");
  const char* chaining = Attribute(attributes, "cipherChaining");
  const char* hash = Attribute(attributes, "hashAlgorithm");
  if (!cipher || !chaining || !hash) Damaged("lacks its cipher or hash");
  if (std::strcmp(cipher, "AES") != 0 || std::strcmp(chaining, "ChainingModeCBC") != 0) {
    throw JetError(error_numbers::kNotSupported, std::string("This database is encrypted with ") +
                                                     cipher + " in " + chaining +
                                                     ", which this program does not read.");
  }
  p.hash = hash;
  if (DigestSize(p.hash) == 0) {
    throw JetError(error_numbers::kNotSupported, "This database is encrypted with the hash " +
                                                     p.hash +
                                                     ", which this program does not read.");
  }
  p.key_bits = Number(attributes, "keyBits", 4096);
  if (p.key_bits != 128 && p.key_bits != 192 && p.key_bits != 256)
    Damaged("has an AES key of " + std::to_string(p.key_bits) + " bits");
  p.block_size = Number(attributes, "blockSize", 1024);
  if (p.block_size != 16) Damaged("has an AES block of " + std::to_string(p.block_size) + " bytes");
  p.hash_size = Number(attributes, "hashSize", 1024);
  if (p.hash_size != DigestSize(p.hash)) Damaged("gives a hash size that does not fit its hash");
  uint32_t salt_size = Number(attributes, "saltSize", 1024);
  p.salt = Binary(attributes, "saltValue");
  if (p.salt.size() != salt_size || salt_size < 1 || salt_size > 65)
    Damaged("has a salt of the wrong size");
  return p;
}

void StartElement(void* data, const char* name, const char** attributes) {
  auto* state = static_cast<XmlState*>(data);
  if (!state->error.empty()) return;
  try {
    if (!state->seen_root) {
      if (!NameIs(name, kEncryptionNs, "encryption")) Damaged("is not an encryption descriptor");
      state->seen_root = true;
    } else if (NameIs(name, kEncryptionNs, "keyData")) {
      if (state->seen_key_data) Damaged("has two key descriptions");
      state->info->key_data = ReadParams(attributes);
      state->seen_key_data = true;
    } else if (NameIs(name, kPasswordNs, "encryptedKey")) {
      if (state->seen_password_key) Damaged("has two password keys");
      AgilePasswordKey& k = state->info->password_key;
      k.params = ReadParams(attributes);
      k.spin_count = Number(attributes, "spinCount", kMaxSpinCount);
      k.encrypted_verifier_hash_input = Binary(attributes, "encryptedVerifierHashInput");
      k.encrypted_verifier_hash_value = Binary(attributes, "encryptedVerifierHashValue");
      k.encrypted_key_value = Binary(attributes, "encryptedKeyValue");
      state->seen_password_key = true;
    }
  } catch (const JetError& e) {
    // Expat is C: nothing may be thrown through it.
    state->error = e.what();
    state->error_number = e.Number();
  }
}

void EndElement(void*, const char*) {}

EncryptionInfo ParseAgile(ByteView blob) {
  if (blob.U32(4) != kAgileReserved) Damaged("has a bad agile marker");
  ByteView xml = blob.From(8);
  EncryptionInfo info;
  info.scheme = OfficeScheme::kAgile;
  XmlState state;
  state.info = &info;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreateNS("UTF-8", ' '),
                                                                 XML_ParserFree);
  if (!parser) throw std::bad_alloc();
  XML_SetUserData(parser.get(), &state);
  XML_SetElementHandler(parser.get(), StartElement, EndElement);
  // Access pads the XML with NUL bytes at times; the document ends before them.
  size_t length = xml.size();
  while (length > 0 && xml.data()[length - 1] == 0) --length;
  XML_Status status = XML_Parse(parser.get(), reinterpret_cast<const char*>(xml.data()),
                                static_cast<int>(length), XML_TRUE);
  if (!state.error.empty()) throw JetError(state.error_number, state.error);
  if (status != XML_STATUS_OK) {
    Damaged(std::string("holds malformed XML (") + XML_ErrorString(XML_GetErrorCode(parser.get())) +
            ", line " + std::to_string(XML_GetCurrentLineNumber(parser.get())) + ")");
  }
  if (!state.seen_key_data) Damaged("has no key description");
  if (!state.seen_password_key) {
    throw JetError(error_numbers::kNotSupported,
                   "This database is encrypted for a certificate, not a password; this program "
                   "opens only password-encrypted files.");
  }
  const AgilePasswordKey& k = info.password_key;
  auto whole_blocks = [](const std::vector<uint8_t>& v, size_t at_least) {
    return v.size() >= at_least && v.size() % 16 == 0;
  };
  if (!whole_blocks(k.encrypted_verifier_hash_input, k.params.salt.size()) ||
      !whole_blocks(k.encrypted_verifier_hash_value, k.params.hash_size) ||
      !whole_blocks(k.encrypted_key_value, info.key_data.key_bits / 8))
    Damaged("has a password verifier of the wrong size");
  return info;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::string ParamsXml(const AgileParams& p) {
  return "saltSize=\"" + std::to_string(p.salt.size()) + "\" blockSize=\"" +
         std::to_string(p.block_size) + "\" keyBits=\"" + std::to_string(p.key_bits) +
         "\" hashSize=\"" + std::to_string(p.hash_size) +
         "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"" + p.hash +
         "\" saltValue=\"" + EncodeBase64(ByteView(p.salt.data(), p.salt.size())) + "\"";
}

std::string B64(const std::vector<uint8_t>& v) {
  return EncodeBase64(ByteView(v.data(), v.size()));
}

}  // namespace

EncryptionInfo ParseEncryptionInfo(ByteView blob) {
  if (blob.size() < 8) Damaged("is cut short");
  uint16_t major = blob.U16(0);
  uint16_t minor = blob.U16(2);
  if (major == 4 && minor == 4) return ParseAgile(blob);
  if ((major == 1 && minor == 1) || ((major == 3 || major == 4) && minor == 3)) {
    throw JetError(error_numbers::kNotSupported,
                   "This database uses an Office encryption scheme (version " +
                       std::to_string(major) + "." + std::to_string(minor) +
                       ") that this program does not read.");
  }
  if (minor != 2 || major < 2 || major > 4)
    Damaged("has an unknown version " + std::to_string(major) + "." + std::to_string(minor));

  EncryptionInfo info;
  info.binary = ParseBinary(blob);
  BinaryEncryption& b = info.binary;
  if (!(b.flags & kFlagCryptoApi)) Damaged("lacks the CryptoAPI flag");
  if (b.hash_id != 0 && b.hash_id != kHashSha1) Damaged("names an unknown hash");
  if ((b.flags & kFlagAes) || IsAesCipher(b.cipher_id)) {
    if (!IsAesCipher(b.cipher_id)) Damaged("has the AES flag but another cipher");
    if (b.key_bits != AesKeyBits(b.cipher_id)) Damaged("gives a key size that does not fit AES");
    info.scheme = (b.flags & kFlagAes) ? OfficeScheme::kStandardAes : OfficeScheme::kNonStandardAes;
    ReadVerifierHash(blob, b, 32);
  } else {
    if (b.cipher_id != 0 && b.cipher_id != kCipherRc4) Damaged("names an unknown cipher");
    if (b.key_bits == 0) {
      // Unstated: the base provider (or none) means 40 bits, any other 128.
      std::string name;
      for (char16_t unit : b.provider_name)
        name.push_back(unit < 0x80 ? static_cast<char>(std::tolower(unit)) : '?');
      b.key_bits = name.empty() || name.find(" base ") != std::string::npos ? 40 : 128;
    }
    if (b.key_bits < 40 || b.key_bits > 128 || b.key_bits % 8 != 0)
      Damaged("has an RC4 key of " + std::to_string(b.key_bits) + " bits");
    info.scheme = OfficeScheme::kRc4CryptoApi;
    ReadVerifierHash(blob, b, 20);
  }
  return info;
}

std::vector<uint8_t> SerializeEncryptionInfo(const EncryptionInfo& info) {
  std::vector<uint8_t> out;
  if (info.scheme == OfficeScheme::kAgile) {
    const AgilePasswordKey& k = info.password_key;
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<encryption xmlns=\"" +
        std::string(kEncryptionNs) + "\" xmlns:p=\"" + kPasswordNs + "\"><keyData " +
        ParamsXml(info.key_data) + "/><keyEncryptors><keyEncryptor uri=\"" + kPasswordNs +
        "\"><p:encryptedKey spinCount=\"" + std::to_string(k.spin_count) + "\" " +
        ParamsXml(k.params) + " encryptedVerifierHashInput=\"" +
        B64(k.encrypted_verifier_hash_input) + "\" encryptedVerifierHashValue=\"" +
        B64(k.encrypted_verifier_hash_value) + "\" encryptedKeyValue=\"" +
        B64(k.encrypted_key_value) + "\"/></keyEncryptor></keyEncryptors></encryption>";
    Put16(out, 4);
    Put16(out, 4);
    Put32(out, kAgileReserved);
    out.insert(out.end(), xml.begin(), xml.end());
    return out;
  }
  const BinaryEncryption& b = info.binary;
  std::vector<uint8_t> header;
  Put32(header, b.flags);
  Put32(header, 0);
  Put32(header, b.cipher_id);
  Put32(header, b.hash_id);
  Put32(header, b.key_bits);
  Put32(header, b.provider_type);
  Put32(header, 0);
  Put32(header, 0);
  for (char16_t unit : b.provider_name) Put16(header, unit);
  Put16(header, 0);
  Put16(out, b.major);
  Put16(out, b.minor);
  Put32(out, b.flags);
  Put32(out, static_cast<uint32_t>(header.size()));
  PutBytes(out, header);
  Put32(out, static_cast<uint32_t>(b.salt.size()));
  PutBytes(out, b.salt);
  PutBytes(out, b.encrypted_verifier);
  Put32(out, b.verifier_hash_size);
  PutBytes(out, b.encrypted_verifier_hash);
  return out;
}

std::vector<uint8_t> DecodeBase64(const std::string& text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::vector<uint8_t> out;
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    int v = value(c);
    if (v < 0 || padding > 0) Damaged("holds a malformed base64 value");
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<uint8_t>(bits >> 16));
      out.push_back(static_cast<uint8_t>(bits >> 8));
      out.push_back(static_cast<uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1 || padding > 2) Damaged("holds a malformed base64 value");
  if (count == 2) out.push_back(static_cast<uint8_t>(bits >> 4));
  if (count == 3) {
    out.push_back(static_cast<uint8_t>(bits >> 10));
    out.push_back(static_cast<uint8_t>(bits >> 2));
  }
  return out;
}

std::string EncodeBase64(ByteView bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  const uint8_t* p = bytes.data();
  size_t n = bytes.size();
  for (size_t k = 0; k < n; k += 3) {
    uint32_t chunk = static_cast<uint32_t>(p[k]) << 16;
    if (k + 1 < n) chunk |= static_cast<uint32_t>(p[k + 1]) << 8;
    if (k + 2 < n) chunk |= p[k + 2];
    out.push_back(kDigits[(chunk >> 18) & 63]);
    out.push_back(kDigits[(chunk >> 12) & 63]);
    out.push_back(k + 1 < n ? kDigits[(chunk >> 6) & 63] : '=');
    out.push_back(k + 2 < n ? kDigits[chunk & 63] : '=');
  }
  return out;
}

}  // namespace jet
