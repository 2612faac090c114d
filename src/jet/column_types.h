// Facts about column types that both the row decoder and the row encoder need.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jet/table_definition.h"

namespace jet {

// Bytes a value of a fixed-size type takes in a row; 0 for variable-size types
// (TEXT, BINARY, MEMO, OLE), BOOL (kept in the null mask) and unknown codes.
inline size_t FixedValueSize(uint8_t type) {
  switch (type) {
    case kByte:
      return 1;
    case kInt:
      return 2;
    case kLong:
    case kComplex:
    case kFloat:
      return 4;
    case kMoney:
    case kDouble:
    case kDateTime:
    case kBigInt:
      return 8;
    case kGuid:
      return 16;
    case kNumeric:
      return 17;
    case kExtDateTime:
      return 42;
    default:
      return 0;
  }
}

// True for MEMO and OLE, whose values live behind a long-value field.
inline bool IsLongValueType(uint8_t type) {
  return type == kMemo || type == kOle;
}

}  // namespace jet
