#include "jet/header.h"

#include <cmath>
#include <cstring>

#include "jet/office_crypto.h"
#include "jet/rc4.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

constexpr uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

[[noreturn]] void NotAccess(const std::string& path, const std::string& why) {
  throw JetError(error_numbers::kCorrupt,
                 "'" + path + "' is not an Access database (" + why + ").");
}

}  // namespace

void UnmaskHeader(uint8_t* page0, size_t size, bool jet3) {
  size_t length = jet3 ? 126 : 128;
  if (size < 0x18 + length) return;
  Rc4 rc4(kHeaderKey, 4);
  rc4.Apply(page0 + 0x18, length);
}

Header ParseHeader(ByteView first, const std::string& path) {
  if (first.size() < 0x100) NotAccess(path, "the file is too short");
  const uint8_t* p = first.data();
  if (p[0] != 0 || p[1] != 1 || p[2] != 0 || p[3] != 0) NotAccess(path, "no database header");
  bool jet_name = std::memcmp(p + 4, "Standard Jet DB", 15) == 0;
  bool ace_name = std::memcmp(p + 4, "Standard ACE DB", 15) == 0;
  if (!jet_name && !ace_name) NotAccess(path, "unknown engine name");

  Header h;
  h.version = p[0x14];
  if (h.version == 0) {
    h.format = Format::kJet3;
    h.page_size = 2048;
  } else if (h.version == 1) {
    h.format = Format::kJet4;
  } else if (h.version <= 6) {
    h.format = Format::kAce;
  } else {
    throw JetError(error_numbers::kNotSupported,
                   "'" + path + "' was made by a newer Access (file version " +
                       std::to_string(h.version) + ") than this program reads.");
  }
  if (jet_name != (h.format != Format::kAce)) NotAccess(path, "engine name and version disagree");

  std::vector<uint8_t> plain(first.data(), first.data() + first.size());
  UnmaskHeader(plain.data(), plain.size(), h.IsJet3());
  ByteView v(plain.data(), plain.size());
  h.code_page = v.U16(0x3C);
  if (h.code_page == 0) h.code_page = 1252;
  h.page_key = v.U32(0x3E);

  if (h.IsJet3()) {
    ByteView field = v.Sub(0x42, 20);
    size_t len = 0;
    while (len < field.size() && field.data()[len] != 0) ++len;
    DecodeCodePageText(field.Sub(0, len), h.code_page, h.password);
  } else {
    double date;
    uint64_t bits = v.U64(0x72);
    std::memcpy(&date, &bits, 8);
    h.creation_date = date;
    h.sort_lcid = v.U16(0x6E);
    h.sort_version = v.U8(0x71);
    if (h.format == Format::kJet4) {
      // The date mask: the creation date truncated to a 32-bit integer.
      int32_t whole = 0;
      if (std::isfinite(date) && date > -2147483648.0 && date < 2147483648.0)
        whole = static_cast<int32_t>(date);
      uint8_t mask[4];
      uint32_t u = static_cast<uint32_t>(whole);
      for (int k = 0; k < 4; ++k) mask[k] = static_cast<uint8_t>(u >> (8 * k));
      uint8_t pw[40];
      for (int k = 0; k < 40; ++k) pw[k] = static_cast<uint8_t>(v.U8(0x42 + k) ^ mask[k % 4]);
      size_t units = 0;
      while (units < 20 && (pw[2 * units] | pw[2 * units + 1]) != 0) ++units;
      Ucs2ToUtf8(ByteView(pw, units * 2), h.password);
    }
  }
  if (h.IsOfficeEncrypted()) {
    if (!first.Contains(0x299, 2)) ThrowCorrupt("'" + path + "' has no encryption header");
    uint16_t length = first.U16(0x299);
    if (!first.Contains(0x29B, length))
      ThrowCorrupt("the encryption header of '" + path + "' runs past its first page");
    h.encryption_info.assign(first.data() + 0x29B, first.data() + 0x29B + length);
  }
  return h;
}

void CheckAccess(const Header& header, const std::string& supplied) {
  if (header.format == Format::kAce) {
    if (header.IsOfficeEncrypted()) OfficeCipher::ForFile(header, supplied);
    return;
  }
  // A file without a password opens whatever is supplied, as with Access.
  if (!header.password.empty() && header.password != supplied) {
    throw JetError(error_numbers::kBadPassword, "Not a valid password.");
  }
}

bool NeedsPageDecoding(const Header& header) {
  return header.format != Format::kAce && header.page_key != 0;
}

void DecodeJetPage(uint32_t page_key, uint32_t page_number, uint8_t* data, size_t size) {
  if (page_number == 0) return;
  uint32_t k = page_key ^ page_number;
  uint8_t key[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                    static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
  Rc4 rc4(key, 4);
  rc4.Apply(data, size);
}

}  // namespace jet
