#include "ase/ase_types.h"

#include <ctpublic.h>
#include <gtest/gtest.h>

namespace vq::ase {
namespace {

struct Case {
  const char* ase_type;
  int cs_datatype;
  int user_type;
  int ado;
};

TEST(TypeMappingTest, EveryAseTypeGetsItsAdoCode) {
  const Case cases[] = {
      {"int", CS_INT_TYPE, 7, 3},
      {"smallint", CS_SMALLINT_TYPE, 6, 2},
      {"tinyint", CS_TINYINT_TYPE, 5, 17},
      {"bigint", CS_BIGINT_TYPE, 43, 20},
      {"numeric", CS_NUMERIC_TYPE, 10, 131},
      {"decimal", CS_DECIMAL_TYPE, 26, 14},
      {"money", CS_MONEY_TYPE, 11, 6},
      {"smallmoney", CS_MONEY4_TYPE, 21, 6},
      {"float", CS_FLOAT_TYPE, 8, 5},
      {"real", CS_REAL_TYPE, 23, 4},
      {"datetime", CS_DATETIME_TYPE, 12, 135},
      {"smalldatetime", CS_DATETIME4_TYPE, 22, 135},
      {"date", CS_DATE_TYPE, 37, 133},
      {"time", CS_TIME_TYPE, 38, 134},
      {"char", CS_CHAR_TYPE, 1, 129},
      {"nullable char (sent as varchar)", CS_CHAR_TYPE, 1, 129},
      {"varchar", CS_CHAR_TYPE, 2, 200},
      {"sysname", CS_CHAR_TYPE, 18, 200},
      {"expression text", CS_CHAR_TYPE, 0, 200},
      {"text", CS_TEXT_TYPE, 19, 201},
      {"unichar as text", CS_TEXT_TYPE, 34, 130},
      {"univarchar as text", CS_TEXT_TYPE, 35, 202},
      {"unichar", CS_UNICHAR_TYPE, 34, 130},
      {"univarchar", CS_UNICHAR_TYPE, 35, 202},
      {"unichar as long binary", CS_LONGBINARY_TYPE, 34, 130},
      {"unitext", CS_UNITEXT_TYPE, 36, 203},
      {"unitext as text", CS_TEXT_TYPE, 36, 203},
      {"binary", CS_BINARY_TYPE, 3, 128},
      {"varbinary", CS_BINARY_TYPE, 4, 204},
      {"timestamp", CS_BINARY_TYPE, 80, 128},
      {"image", CS_IMAGE_TYPE, 20, 205},
      {"bit", CS_BIT_TYPE, 16, 11},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MapColumnType(c.cs_datatype, c.user_type).ado_type, c.ado) << c.ase_type;
  }
}

TEST(TypeMappingTest, LongValuesAndBinaryAreCopiedWholeAndUnknownTypesReadAsText) {
  EXPECT_TRUE(MapColumnType(CS_TEXT_TYPE, 19).is_long);
  EXPECT_TRUE(MapColumnType(CS_IMAGE_TYPE, 20).is_long);
  EXPECT_FALSE(MapColumnType(CS_TEXT_TYPE, 35).is_long);
  EXPECT_EQ(MapColumnType(CS_IMAGE_TYPE, 20).read_as, ReadAs::kBytes);
  EXPECT_EQ(MapColumnType(CS_LONGBINARY_TYPE, 35).read_as, ReadAs::kText);
  EXPECT_EQ(MapColumnType(CS_LONGBINARY_TYPE, 4).read_as, ReadAs::kBytes);
  EXPECT_EQ(MapColumnType(CS_NUMERIC_TYPE, 10).read_as, ReadAs::kDecimalText);
  EXPECT_EQ(MapColumnType(CS_UNIQUE_TYPE, 0).read_as, ReadAs::kConvertedText);
  EXPECT_EQ(MapColumnType(CS_UNIQUE_TYPE, 0).ado_type, 200);
}

}  // namespace
}  // namespace vq::ase
