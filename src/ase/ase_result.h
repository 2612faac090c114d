// The rows of one ASE result, read forward once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ase/ase_value.h"

namespace vq::ase {

namespace detail {
class Link;
class ActiveResult;
}  // namespace detail

// One column of a result as the server described it.
struct Column {
  std::string name;
  int ado_type = 0;       // ADO data type code of the column's ASE type
  int cs_datatype = 0;    // the client library's datatype (CS_*_TYPE)
  int user_type = 0;      // the server's usertype
  int max_length = 0;     // bytes, as described by the library
  int precision = 0;      // numeric and decimal
  int scale = 0;          // numeric and decimal
  bool nullable = false;  // the server marked the column as able to hold NULL
};

// The rows of a result. Rows stream from the server as they are asked for; when
// the connection is needed for another statement first, the rows not yet read
// are taken into memory so that nothing is lost. Not thread-safe; used by the
// thread that owns the connection.
class ResultReader {
 public:
  ~ResultReader();
  ResultReader(const ResultReader&) = delete;
  ResultReader& operator=(const ResultReader&) = delete;

  // The result's columns; empty for a statement that returned no rows.
  const std::vector<Column>& Columns() const;
  // Replaces `row` with the next row (one value per column); false past the end.
  // Throws AseError when the server or the connection fails meanwhile.
  bool Next(std::vector<Value>& row);

 private:
  friend class Connection;
  explicit ResultReader(std::shared_ptr<detail::ActiveResult> result);
  std::shared_ptr<detail::ActiveResult> result_;
};

}  // namespace vq::ase
