// Index keys: the bytes an index entry sorts by, built from a row's values.
//
// For each column of the index, in order:
//
//   flag    0x7F value, ascending     0x00 null, ascending
//           0x80 value, descending    0xFF null, descending (a null is the flag alone)
//   value   as below; a descending column inverts every value byte
//
//   BYTE                      the byte
//   INT, LONG, COMPLEX,       big-endian two's complement with the top bit
//   BIGINT, MONEY             flipped (2, 4, 4, 8, 8 bytes)
//   FLOAT, DOUBLE, DATETIME   IEEE big-endian; a positive number gets its sign
//                             bit set, a negative one has every byte inverted
//   BOOL                      0x00 true, 0xFF false
//   GUID, BINARY              the bytes (GUID in printed order) in groups of 8,
//                             the last group zero-padded; after each group a
//                             length byte: 9 when more groups follow, else the
//                             real bytes in the group; a descending column
//                             inverts all but the 9s
//   TEXT, MEMO                see below
//
// Text is keyed in its column's sort order: "General Legacy" (LCID 0x0409,
// version 0) or "General" (version 1) in Jet4/ACE files, "General 97" in
// Jet3 files (sort_codes.h holds their character codes). At most 255
// characters count, trailing blanks dropped, and upper and lower case share
// codes.
//
//   General Legacy, General   the inline codes; 01; the accent bytes (02 for a
//                             character without one, trailing ones dropped);
//                             when there are "unprintable" characters (' -
//                             and controls) or flagged characters past U+00FF:
//                             01 01, the flags packed three a byte under 0x80
//                             and FF 02 80 FF 80 (then FF if unprintables
//                             follow), and 01 with a 4-byte record [u16 BE
//                             0x8000 | (7 + 4 * position)] 06 [code] each;
//                             then 00. A descending column writes 00, inverts
//                             everything it wrote for the text, then another 00.
//   General 97                the inline codes; then either 00, or the accents
//                             as nibbles between two zero nibbles, each led by
//                             a 2 for every plain letter since the last one.
//                             A descending column inverts it all.
//
// Text in another language's sort order is refused: a key in the wrong order
// would misplace the entry and damage the index for Access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// Builds the key of `row` (values in `table`'s column order, as RowDecoder
// gives them) for `index`, one of `table`'s real indexes. `jet3` names the
// file's format. A value this engine cannot encode is a JetError
// kNotSupported naming it.
std::vector<uint8_t> EncodeIndexKey(const TableDefinition& table, const RealIndex& index,
                                    const std::vector<Value>& row, bool jet3);

// The first character of well-formed `text`, kept in the Access 97 code page
// `code_page`, whose key in the General 97 sort order this engine does not
// know (it knows those of code page 1252), or nothing.
std::optional<uint32_t> FirstUnkeyedGeneral97Character(std::string_view text, uint16_t code_page);

// Appends the key part of one text value of `column` (flag not included).
// `code_page` is the code page a Jet3 file keeps the text in (0: 1252).
void AppendTextKey(const std::string& text, const Column& column, bool ascending, bool jet3,
                   std::vector<uint8_t>& out, uint16_t code_page = 0);

}  // namespace jet
