// Text as Jet stores it, turned into UTF-8.
//
// Jet4 and ACE keep text as UCS-2 little-endian. A value that starts with the
// two bytes FF FE is "compressed": after the marker each byte is one character
// U+0001..U+00FF, and a 0x00 byte switches between that one-byte mode and
// plain two-byte UCS-2 units (and back); the value may end in either mode.
// Access only compresses when the column allows it, but a reader need not care.
//
// Jet3 keeps text as single bytes in a Windows code page: the column's own
// when it names one, else the database's. Code page 1252 (Western) and 1251
// (Cyrillic) are mapped in full (the five bytes 1252 leaves unassigned become
// the C1 controls of the same value, as in Windows); any other code page keeps
// ASCII as it is and reads the upper half as 1252, which is what most Access 97
// files hold.
#pragma once

#include <cstdint>
#include <string>

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
