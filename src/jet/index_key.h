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
// Text of the sort order "General Legacy" (LCID 0x0409, version 0) or
// "General" (version 1): at most 255 characters, trailing spaces dropped.
// Each printable character appends its code (upper and lower case share
// one); an "unprintable" one (' - and control characters) appends nothing
// there but leaves a 4-byte record [u16 BE 0x8000 | (7 + 4 * codes written
// before it)] 06 [its code]. Then 01; if there are records, 01 01 01 and the
// records; then 00. A descending column writes 00, inverts everything it
// wrote for the text, then writes another 00.
//
// The character codes are those read back from index entries Access wrote.
// Characters whose code is not known (most punctuation, non-ASCII), other
// sort orders and Jet3's order are refused rather than guessed: a wrong key
// would misplace the entry and damage the index for Access.
#pragma once

#include <cstdint>
#include <string>
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

// Appends the key part of one text value of `column` (flag not included).
void AppendTextKey(const std::string& text, const Column& column, bool ascending, bool jet3,
                   std::vector<uint8_t>& out);

}  // namespace jet
