// Text as Jet stores it, turned into UTF-8.
//
// Jet4 and ACE keep text as UCS-2 little-endian. A value that starts with the
// two bytes FF FE is "compressed": after the marker each byte is one character
// U+0001..U+00FF, and a 0x00 byte switches between that one-byte mode and
// plain two-byte UCS-2 units (and back); the value may end in either mode.
// Access only compresses when the column allows it, but a reader need not care.
//
// Jet3 keeps text as single bytes in a Windows code page: the column's own
// when it names one, else the database's. The single-byte Windows code pages
// (874 Thai, 1250 Central European, 1251 Cyrillic, 1252 Western, 1253 Greek,
// 1254 Turkish, 1255 Hebrew, 1256 Arabic, 1257 Baltic, 1258 Vietnamese) are
// mapped in full, from the tables in code_page_tables.h. A byte its code page
// leaves unassigned reads, as in Windows, as the C1 control of the same value
// when it is one of 0x80..0x9F (and that control writes back to it), and as
// U+FFFD otherwise (which is never written). Any other code page (the
// double-byte ones of East Asia, or a value that names none) keeps ASCII as it
// is and reads the upper half as 1252, which is what most Access 97 files
// hold; only ASCII is written to it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/bytes.h"

namespace jet {

// Appends the UTF-8 form of code point `cp` to `out`.
void AppendUtf8(std::string& out, uint32_t cp);

// UCS-2LE (with surrogate pairs joined) to UTF-8, replacing `out`.
void Ucs2ToUtf8(ByteView bytes, std::string& out);

// A Jet4/ACE text value, compressed or not, to UTF-8, replacing `out`.
void DecodeUnicodeText(ByteView bytes, std::string& out);

// `text` (UTF-8) in upper case, the way object names are compared: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic letters fold; everything else
// (and malformed UTF-8) is kept as it is.
std::string UpperCaseName(const std::string& text);

// Single-byte text in Windows code page `code_page` to UTF-8, replacing `out`.
void DecodeCodePageText(ByteView bytes, uint16_t code_page, std::string& out);

}  // namespace jet

// Encoding, the other way: UTF-8 to what Jet4/ACE stores.
//
// Compression follows the rules Access keeps to: only where the column allows
// it, only when the result is shorter than UCS-2 (so a one-character value
// stays as it is), and never for a value holding a UTF-16 unit whose low byte
// is zero (U+0000, U+0100, U+4E00, most low surrogates, ...), because inside a
// compressed value that byte would read as a mode switch. For the same reason
// every character up to U+00FF is written in one-byte mode, even a lone one
// between wider characters: as a two-byte unit its high byte would be zero,
// which some readers take for a switch. So the only zero bytes of a
// compressed value are its switches, as in the files Access writes.
namespace jet {

// Appends the UTF-16 units of `utf8` to `units` (pairs for characters beyond
// U+FFFF). Malformed UTF-8 is a kTypeMismatch JetError naming only the position.
void Utf8ToUtf16(std::string_view utf8, std::vector<uint16_t>& units);

// The number of UTF-16 units of well-formed `utf8`, without decoding it.
size_t Utf16Length(std::string_view utf8);

// Appends `count` UTF-16 units to `out` as UCS-2 little-endian bytes.
void AppendUcs2(const uint16_t* units, size_t count, std::vector<uint8_t>& out);

// Appends the compressed form of the units (FF FE marker first) when it is
// allowed and shorter than UCS-2; otherwise appends nothing and returns false.
bool AppendCompressedUnicode(const uint16_t* units, size_t count, std::vector<uint8_t>& out);

// Appends `utf8` as Jet4/ACE stores it: compressed when `may_compress` and it
// pays, else UCS-2. `scratch` is working space kept by the caller between
// calls. Returns the number of UTF-16 units (the length Access counts).
size_t AppendUnicodeText(std::string_view utf8, bool may_compress, std::vector<uint16_t>& scratch,
                         std::vector<uint8_t>& out);

// Appends `utf8` as Jet3 stores text: one byte per character in Windows code
// page `code_page`. A single-byte Windows code page takes every character it
// has (one character, one byte); any other takes ASCII only. Returns
// the first character the code page cannot hold (nothing more is appended
// then), or nothing when all of `utf8` was appended.
std::optional<uint32_t> AppendCodePageText(std::string_view utf8, uint16_t code_page,
                                           std::vector<uint8_t>& out);

// The byte of `character` in the single-byte Windows code page `code_page`
// (ASCII is itself), or nothing when the code page lacks it or is not one of
// those this program knows.
std::optional<uint8_t> CodePageByteOf(uint32_t character, uint16_t code_page);

// "'Ж' (U+0416)": a character for a message.
std::string DescribeCharacter(uint32_t code_point);

// "'Ж' (U+0416), which this Access 97 file cannot hold (it keeps text in the
// Western code page 1252)": the refusal of a character AppendCodePageText
// could not append, for a message.
std::string NotInCodePage(uint32_t character, uint16_t code_page);

// "it keeps text in the Western code page 1252", for the messages of refusals;
// for a code page of which AppendCodePageText writes only ASCII, it says so.
std::string CodePageNote(uint16_t code_page);

}  // namespace jet
