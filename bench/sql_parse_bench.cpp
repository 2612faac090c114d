// Parses a typical INSERT of eight constants, as the program generates them,
// a million times, converts each constant for its column, and prints how
// many statements a second that makes. Build Release without sanitizers for
// figures worth quoting.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "jet/literal_conversion.h"
#include "jet/sql.h"

namespace {

jet::Column MakeColumn(const char* name, uint8_t type, uint16_t length = 0) {
  jet::Column c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
  const std::string sql =
      "INSERT INTO `Orders` VALUES('10248', 'VINET', '5', '1996-07-04 00:00:00', '32.3800', "
      "'Vins et alcools Chevalier', NULL, '1')";
  const std::vector<jet::Column> columns = {
      MakeColumn("OrderID", jet::kLong),        MakeColumn("CustomerID", jet::kText, 10),
      MakeColumn("EmployeeID", jet::kLong),     MakeColumn("OrderDate", jet::kDateTime),
      MakeColumn("Freight", jet::kMoney),       MakeColumn("ShipName", jet::kText, 80),
      MakeColumn("ShipRegion", jet::kText, 30), MakeColumn("Shipped", jet::kBool)};

  jet::Statement statement;
  std::vector<jet::Value> row(columns.size());
  size_t check = 0;
  using Clock = std::chrono::steady_clock;

  auto start = Clock::now();
  for (long i = 0; i < count; ++i) {
    jet::ParseStatement(sql, statement);
    check += statement.values.size();
  }
  const double parse_seconds = std::chrono::duration<double>(Clock::now() - start).count();

  start = Clock::now();
  for (long i = 0; i < count; ++i) {
    jet::ParseStatement(sql, statement);
    for (size_t k = 0; k < columns.size(); ++k)
      jet::ConvertLiteral(statement.values[k], columns[k], row[k]);
    check += row[0].index();
  }
  const double both_seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::printf("statement: %s\n", sql.c_str());
  std::printf("parse only:          %10.0f statements/s (%.0f ns each)\n", count / parse_seconds,
              parse_seconds / count * 1e9);
  std::printf("parse and convert:   %10.0f statements/s (%.0f ns each)\n", count / both_seconds,
              both_seconds / count * 1e9);
  std::printf("(checksum %zu)\n", check);
  return 0;
}
