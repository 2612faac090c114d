#include "ase/ase_types.h"

#include <ctpublic.h>

namespace vq::ase {
namespace {

TypeMapping Fixed(int ado_type, ReadAs read_as) {
  return {ado_type, read_as, false};
}

int CharAdoType(int user_type) {
  switch (user_type) {
    case usertype::kChar:
    case usertype::kNChar:
      return ado::kChar;
    case usertype::kUniChar:
      return ado::kWChar;
    case usertype::kUniVarChar:
      return ado::kVarWChar;
    default:
      return ado::kVarChar;
  }
}

}  // namespace

TypeMapping MapColumnType(int cs_datatype, int user_type) {
  switch (cs_datatype) {
    case CS_TINYINT_TYPE:
      return Fixed(ado::kUnsignedTinyInt, ReadAs::kInteger);
    case CS_SMALLINT_TYPE:
      return Fixed(ado::kSmallInt, ReadAs::kInteger);
    case CS_INT_TYPE:
      return Fixed(ado::kInteger, ReadAs::kInteger);
    case CS_BIGINT_TYPE:
      return Fixed(ado::kBigInt, ReadAs::kInteger);
    case CS_USMALLINT_TYPE:
      return Fixed(ado::kUnsignedSmallInt, ReadAs::kInteger);
    case CS_UINT_TYPE:
      return Fixed(ado::kUnsignedInt, ReadAs::kInteger);
    case CS_UBIGINT_TYPE:
      return Fixed(ado::kUnsignedBigInt, ReadAs::kUnsignedBigInt);
    case CS_NUMERIC_TYPE:
      return Fixed(ado::kNumeric, ReadAs::kDecimalText);
    case CS_DECIMAL_TYPE:
      return Fixed(ado::kDecimal, ReadAs::kDecimalText);
    case CS_MONEY_TYPE:
    case CS_MONEY4_TYPE:
      return Fixed(ado::kCurrency, ReadAs::kMoney);
    case CS_FLOAT_TYPE:
      return Fixed(ado::kDouble, ReadAs::kFloat);
    case CS_REAL_TYPE:
      return Fixed(ado::kSingle, ReadAs::kReal);
    case CS_DATETIME_TYPE:
    case CS_DATETIME4_TYPE:
      return Fixed(ado::kDBTimeStamp, ReadAs::kDateTime);
    case CS_DATE_TYPE:
      return Fixed(ado::kDBDate, ReadAs::kDate);
    case CS_TIME_TYPE:
      return Fixed(ado::kDBTime, ReadAs::kTime);
    case CS_BIGDATETIME_TYPE:
      return Fixed(ado::kDBTimeStamp, ReadAs::kBigDateTime);
    case CS_BIGTIME_TYPE:
      return Fixed(ado::kDBTime, ReadAs::kBigTime);
    case CS_BIT_TYPE:
      return Fixed(ado::kBoolean, ReadAs::kBit);
    case CS_CHAR_TYPE:
    case CS_VARCHAR_TYPE:
    case CS_LONGCHAR_TYPE:
      return {CharAdoType(user_type), ReadAs::kText, false};
    case CS_UNICHAR_TYPE:
      return {user_type == usertype::kUniChar ? ado::kWChar : ado::kVarWChar, ReadAs::kText, false};
    case CS_TEXT_TYPE:
      // FreeTDS describes unichar and univarchar as text; only the usertype tells.
      if (user_type == usertype::kUniChar) return {ado::kWChar, ReadAs::kText, false};
      if (user_type == usertype::kUniVarChar) return {ado::kVarWChar, ReadAs::kText, false};
      if (user_type == usertype::kUniText) return {ado::kLongVarWChar, ReadAs::kText, true};
      return {ado::kLongVarChar, ReadAs::kText, true};
    case CS_UNITEXT_TYPE:
      return {ado::kLongVarWChar, ReadAs::kText, true};
    case CS_XML_TYPE:
      return {ado::kLongVarWChar, ReadAs::kText, true};
    case CS_BINARY_TYPE:
    case CS_VARBINARY_TYPE:
      return {user_type == usertype::kBinary || user_type == usertype::kTimestamp ? ado::kBinary
                                                                                  : ado::kVarBinary,
              ReadAs::kBytes, false};
    case CS_LONGBINARY_TYPE:
      // unichar and univarchar travel as long binary holding UTF-16, which the
      // library converts to the client character set.
      if (user_type == usertype::kUniChar) return {ado::kWChar, ReadAs::kText, false};
      if (user_type == usertype::kUniVarChar) return {ado::kVarWChar, ReadAs::kText, false};
      if (user_type == usertype::kUniText) return {ado::kLongVarWChar, ReadAs::kText, false};
      return {user_type == usertype::kBinary ? ado::kBinary : ado::kVarBinary, ReadAs::kBytes,
              false};
    case CS_IMAGE_TYPE:
      return {ado::kLongVarBinary, ReadAs::kBytes, true};
    default:
      return {ado::kVarChar, ReadAs::kConvertedText, false};
  }
}

}  // namespace vq::ase
