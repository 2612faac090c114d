// Parses a Transact-SQL batch into statements. ASE compiles a whole batch before
// running any of it, so a syntax error anywhere stops the batch before it starts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sql_statement.h"

namespace vq::ase_server {

// Longest identifier ASE accepts (regular identifiers, ASE 15 and later).
inline constexpr int kMaxIdentifierLength = 255;

// A statement with the text it was parsed from, for the statement log.
struct ParsedStatement {
  Statement statement;
  std::string text;
};

// Parses every statement of the batch; throws ServerError (102, 156, 103, ...).
// With `quoted_identifier`, "double-quoted" text is a name rather than a string.
std::vector<ParsedStatement> ParseBatch(std::string_view batch, bool quoted_identifier = false);

}  // namespace vq::ase_server
