#include "dataaccess/type_names.h"

#include <algorithm>
#include <cctype>
#include <map>

#include <gtest/gtest.h>

#include "common/ascii.h"

namespace vq {
namespace {

std::string LowerName(int16_t code) {
  return ascii::Lowered(DataTypeName(code).value_or(""));
}

TEST(DataTypeName, EveryNamedCodeAndNoOther) {
  const std::map<int, std::string> names = {
      {0, "adEmpty"},
      {2, "adSmallInt"},
      {3, "adInteger"},
      {4, "adSingle"},
      {5, "adDouble"},
      {6, "adCurrency"},
      {7, "adDate"},
      {8, "adBSTR"},
      {9, "adIDispatch"},
      {10, "adError"},
      {11, "adBoolean"},
      {12, "adVariant"},
      {13, "adIUnknown"},
      {14, "adDecimal"},
      {16, "adTinyInt"},
      {17, "adUnsignedTinyInt"},
      {18, "adUnsignedSmallInt"},
      {19, "adUnsignedInt"},
      {20, "adBigInt"},
      {21, "adUnsignedBigInt"},
      {64, "adFileTime"},
      {72, "adGUID"},
      {128, "adBinary"},
      {129, "adChar"},
      {130, "adWChar"},
      {131, "adNumeric"},
      {132, "adUserDefined"},
      {133, "adDBDate"},
      {134, "adDBTime"},
      {135, "adDBTimeStamp"},
      {136, "adChapter"},
      {138, "adPropVariant"},
      {139, "adVarNumeric"},
      {200, "adVarChar"},
      {201, "adLongVarChar"},
      {202, "adVarWChar"},
      {203, "adLongVarWChar"},
      {204, "adVarBinary"},
      {205, "adLongVarBinary"},
  };
  ASSERT_EQ(names.size(), 39u);
  int named = 0;
  for (int code = -32768; code <= 32767; ++code) {
    auto name = DataTypeName(static_cast<int16_t>(code));
    auto it = names.find(code);
    if (it == names.end()) {
      EXPECT_FALSE(name.has_value()) << code << " " << name.value_or("");
    } else {
      EXPECT_EQ(name, it->second) << code;
      ++named;
    }
  }
  EXPECT_EQ(named, 39);
}

TEST(DataTypeName, LowerCaseFormsMatchTheTransfersTests) {
  EXPECT_NE(LowerName(3).find("int"), std::string::npos);
  EXPECT_NE(LowerName(203).find("longvar"), std::string::npos);
  EXPECT_NE(LowerName(203).find("varwchar"), std::string::npos);
  EXPECT_EQ(LowerName(135), "addbtimestamp");
  EXPECT_EQ(LowerName(135).find("date"), std::string::npos);
  EXPECT_EQ(LowerName(1), "");
  EXPECT_EQ(LowerName(8192), "");
  EXPECT_EQ(LowerName(-1), "");
}

}  // namespace
}  // namespace vq
