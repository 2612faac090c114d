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

// The Access name of a column type ("Long Integer", "Text", ...), for messages.
inline const char* ColumnTypeName(uint8_t type) {
  switch (type) {
    case kBool:
      return "Yes/No";
    case kByte:
      return "Byte";
    case kInt:
      return "Integer";
    case kLong:
      return "Long Integer";
    case kMoney:
      return "Currency";
    case kFloat:
      return "Single";
    case kDouble:
      return "Double";
    case kDateTime:
      return "Date/Time";
    case kBinary:
      return "Binary";
    case kText:
      return "Text";
    case kOle:
      return "OLE Object";
    case kMemo:
      return "Memo";
    case kGuid:
      return "Replication ID";
    case kNumeric:
      return "Decimal";
    case kComplex:
      return "Attachment or multi-valued";
    case kBigInt:
      return "Large Number";
    case kExtDateTime:
      return "Date/Time Extended";
    default:
      return "unknown type";
  }
}

// True for MEMO and OLE, whose values live behind a long-value field.
inline bool IsLongValueType(uint8_t type) {
  return type == kMemo || type == kOle;
}

}  // namespace jet
