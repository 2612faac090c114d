// A provider double held in memory: tables of rows, a log of executed
// statements, and failures on demand. For unit tests of the logic above the
// data-access layer only; the program never registers it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/backend.h"
#include "dataaccess/error.h"

namespace vq::testing {

// A table of the fake database.
struct FakeTable {
  std::string type = "TABLE";  // catalogue TABLE_TYPE
  std::vector<FieldInfo> columns;
  std::vector<std::vector<Value>> rows;
};

// The state every connection of one fake provider shares.
struct FakeDatabase {
  std::map<std::string, FakeTable> tables;  // by name, in name order
  std::vector<std::string> executed;        // every Execute, in order
  std::vector<std::string> opened;          // every connection string opened
  bool refuse_open = false;
  std::string fail_statement_containing;     // Execute of a statement holding this text fails
  std::vector<std::string> fail_statements;  // Execute of any of these exact statements fails
  // The fetch of this row of a query fails (rows counted from 1; the query's
  // opening fetches the first); 0: none fails.
  int fail_fetch_of_row = 0;
};

// Registers a provider called `name` over `db` for the life of this object;
// a provider it displaces is put back when it ends.
class FakeProvider {
 public:
  FakeProvider(std::string name, std::shared_ptr<FakeDatabase> db);
  ~FakeProvider();
  FakeProvider(const FakeProvider&) = delete;
  FakeProvider& operator=(const FakeProvider&) = delete;

 private:
  std::string name_;
  ProviderFactory displaced_;
};

}  // namespace vq::testing
