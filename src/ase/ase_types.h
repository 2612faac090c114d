// How each ASE column type is described to the layers above (its ADO type
// code) and how its values are read from the client library.
//
// The client library names a column by its datatype (CS_INT_TYPE, ...) and the
// server's usertype. The usertype is what tells char from varchar, binary from
// varbinary and the unichar family apart: ASE stores a nullable char(n) as a
// varchar, and FreeTDS describes unichar and univarchar as text.
#pragma once

namespace vq::ase {

// ADO data type codes of the columns this client reports.
namespace ado {
inline constexpr int kSmallInt = 2;
inline constexpr int kInteger = 3;
inline constexpr int kSingle = 4;
inline constexpr int kDouble = 5;
inline constexpr int kCurrency = 6;
inline constexpr int kBoolean = 11;
inline constexpr int kDecimal = 14;
inline constexpr int kUnsignedTinyInt = 17;
inline constexpr int kUnsignedSmallInt = 18;
inline constexpr int kUnsignedInt = 19;
inline constexpr int kBigInt = 20;
inline constexpr int kUnsignedBigInt = 21;
inline constexpr int kBinary = 128;
inline constexpr int kChar = 129;
inline constexpr int kWChar = 130;
inline constexpr int kNumeric = 131;
inline constexpr int kDBDate = 133;
inline constexpr int kDBTime = 134;
inline constexpr int kDBTimeStamp = 135;
inline constexpr int kVarChar = 200;
inline constexpr int kLongVarChar = 201;
inline constexpr int kVarWChar = 202;
inline constexpr int kLongVarWChar = 203;
inline constexpr int kVarBinary = 204;
inline constexpr int kLongVarBinary = 205;
}  // namespace ado

// ASE usertypes (systypes.usertype) that refine a datatype.
namespace usertype {
inline constexpr int kChar = 1;
inline constexpr int kVarChar = 2;
inline constexpr int kBinary = 3;
inline constexpr int kVarBinary = 4;
inline constexpr int kSysName = 18;
inline constexpr int kNChar = 24;
inline constexpr int kNVarChar = 25;
inline constexpr int kUniChar = 34;
inline constexpr int kUniVarChar = 35;
inline constexpr int kUniText = 36;
inline constexpr int kTimestamp = 80;
}  // namespace usertype

// How the values of a column are taken from a fetched row.
enum class ReadAs {
  kInteger,         // bound as a signed 64-bit integer
  kUnsignedBigInt,  // bound as an unsigned 64-bit integer
  kFloat,           // bound as a double
  kReal,            // bound as a float
  kBit,             // bound as one byte
  kMoney,           // bound as CS_MONEY
  kDecimalText,     // bound as text and read back exactly
  kDateTime,        // bound as CS_DATETIME (smalldatetime converts exactly)
  kDate,            // bound as CS_DATE
  kTime,            // bound as CS_TIME
  kBigDateTime,     // bound as CS_BIGDATETIME
  kBigTime,         // bound as CS_BIGTIME
  kText,            // copied whole with ct_get_data, UTF-8
  kBytes,           // copied whole with ct_get_data
  kConvertedText,   // any other type: bound as text, converted by the library
};

// The ADO type code and read method of one column.
struct TypeMapping {
  int ado_type;
  ReadAs read_as;
  bool is_long;  // text, unitext or image: a NULL is told from an empty value by its text pointer
};

// The mapping for a client-library datatype (CS_*_TYPE) and ASE usertype. Types
// the program has no better use for are read as text (adVarChar).
TypeMapping MapColumnType(int cs_datatype, int user_type);

}  // namespace vq::ase
