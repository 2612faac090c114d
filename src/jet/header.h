// Page 0, the database definition page.
//
//   0x00  u8     0x00 (page type), then 01 00 00
//   0x04  char   "Standard Jet DB" or "Standard ACE DB", NUL-terminated
//   0x14  u8     version: 0 Jet3 (2 KB pages), 1 Jet4, 2..6 ACE 12..17 (4 KB pages)
//   0x18..       masked region: XOR with RC4(C7 DA 39 6B), 126 bytes (Jet3) or 128
//   0x3C  u16    database code page (Jet3 text)
//   0x3E  u32    page key: 0 = plain; else Jet RC4 encoding of pages >= 1, or
//                for ACE an Office-crypto encrypted file
//   0x42  20/40  database password: Jet3 20 bytes in the code page; Jet4 40
//                bytes of UCS-2, each byte also XOR-ed with the 4 little-endian
//                bytes of the creation date truncated to an int32
//   0x6E  u16    default text sort order LCID; 0x71 u8 its version (Jet4/ACE)
//   0x72  f64    creation date (Jet4/ACE)
//
// An Office-crypto file (ACE with a nonzero page key) also carries, outside
// the masked region, its EncryptionInfo (see encryption_info.h):
//
//   0x299 u16    length of the blob
//   0x29B        the blob
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/bytes.h"

namespace jet {

// The file format families the engine tells apart.
enum class Format { kJet3, kJet4, kAce };

// What page 0 says about the file.
struct Header {
  Format format = Format::kJet4;
  uint8_t version = 1;  // the raw version byte
  uint32_t page_size = 4096;
  uint16_t code_page = 1252;
  uint32_t page_key = 0;     // nonzero: pages are encoded (Jet) or encrypted (ACE)
  double creation_date = 0;  // Jet4/ACE
  // The default sort order of new text columns (Jet4/ACE, at 0x6E): LCID and
  // version (0 General Legacy, 1 General).
  uint16_t sort_lcid = 0x0409;
  uint8_t sort_version = 0;
  std::string password;  // the stored database password, UTF-8; empty when none
  // The EncryptionInfo blob of an Office-encrypted file; empty otherwise.
  std::vector<uint8_t> encryption_info;

  // Jet3 files use 2 KB pages, 8-bit text and narrower row layouts.
  bool IsJet3() const { return format == Format::kJet3; }
  // ACE files with a page key are encrypted with a password (Office cryptography).
  bool IsOfficeEncrypted() const { return format == Format::kAce && page_key != 0; }
};

// Reads the header from the first bytes of the file (at least 0x100 of them;
// more are welcome). Anything that is not an Access database is a JetError.
Header ParseHeader(ByteView first_page, const std::string& path);

// Applies the header's RC4 mask to a copy of page 0's bytes, in place.
void UnmaskHeader(uint8_t* page0, size_t size, bool jet3);

// Refuses the file the way Access does when `supplied` is not its password.
// For an Office-encrypted file this derives the keys to check the verifier;
// a caller that goes on to read it takes OfficeCipher::ForFile instead.
void CheckAccess(const Header& header, const std::string& supplied);

// True when the pages of this file are Jet-encoded and need DecodeJetPage.
bool NeedsPageDecoding(const Header& header);
// Decodes page `page_number` of an encoded Jet database in place.
void DecodeJetPage(uint32_t page_key, uint32_t page_number, uint8_t* data, size_t size);

}  // namespace jet
