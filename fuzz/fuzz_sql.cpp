// libFuzzer target: any bytes as an SQL statement, parsed and, when it is an
// INSERT, every constant converted for columns of several types. The only
// acceptable failure is a JetError.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/error.h"
#include "jet/literal_conversion.h"
#include "jet/sql.h"

namespace {

std::vector<jet::Column> MakeColumns() {
  struct Kind {
    uint8_t type;
    uint16_t length;
    uint8_t precision, scale;
  };
  const Kind kinds[] = {
      {jet::kBool, 0, 0, 0},         {jet::kByte, 1, 0, 0},      {jet::kInt, 2, 0, 0},
      {jet::kLong, 4, 0, 0},         {jet::kBigInt, 8, 0, 0},    {jet::kMoney, 8, 0, 0},
      {jet::kFloat, 4, 0, 0},        {jet::kDouble, 8, 0, 0},    {jet::kDateTime, 8, 0, 0},
      {jet::kExtDateTime, 42, 0, 0}, {jet::kText, 20, 0, 0},     {jet::kMemo, 0, 0, 0},
      {jet::kBinary, 16, 0, 0},      {jet::kOle, 0, 0, 0},       {jet::kGuid, 16, 0, 0},
      {jet::kNumeric, 17, 18, 4},    {jet::kNumeric, 17, 28, 28}};
  std::vector<jet::Column> columns;
  for (const Kind& k : kinds) {
    jet::Column c;
    c.name = "c";
    c.type = k.type;
    c.length = k.length;
    c.precision = k.precision;
    c.scale = k.scale;
    columns.push_back(c);
  }
  return columns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<jet::Column> columns = MakeColumns();
  static jet::Statement statement;  // reused, as the engine does
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  try {
    jet::ParseStatement(sql, statement);
  } catch (const jet::JetError&) {
    return 0;
  }
  jet::Value value;
  for (const jet::Literal& lit : statement.values) {
    for (const jet::Column& c : columns) {
      try {
        jet::ConvertLiteral(lit, c, value);
      } catch (const jet::JetError&) {
      }
    }
  }
  return 0;
}
