// Long values: the contents of MEMO and OLE columns.
//
// In the row, a long value is a 12-byte header in a variable-length slot:
//
//   0..3   u32: low 30 bits total length; top bits the kind:
//          0x80 data follows inline, 0x40 data is one whole LVAL row,
//          0x00 data is a chain of LVAL rows
//   4..7   row pointer to the (first) LVAL row; 0 when inline
//   8..11  unused
//   12..   inline data
//
// LVAL rows live on data pages whose owner field reads "LVAL". In a chain each
// row starts with the 4-byte pointer to the next row (0 after the last) and
// continues with a piece of the value; the pieces are joined until the
// declared length is reached.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/bytes.h"
#include "jet/page_file.h"

namespace jet {

// Reads the long value whose header and inline part are `field` into `out`.
// A chain that loops, ends early or points outside the file is a JetError.
void ReadLongValue(PageSource& file, bool jet3, ByteView field, std::vector<uint8_t>& out);

}  // namespace jet
