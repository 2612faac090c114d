// The vellquist-sql command line: open one connection string through the
// data-access layer, then list the tables catalogue, run statements and print
// query results as JSON lines, in the order the options were given. One file
// operation of the Access engine stands apart: --encrypt, which encrypts a
// plain .accdb with a password.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vq::tools {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitDatabaseError = 1;  // "error NUMBER: DESCRIPTION" on `err`
inline constexpr int kExitUsage = 2;          // bad options; usage on `err`

// Runs the tool with `args` (without the program name), writing results to `out`
// and failures to `err`. Returns the exit status.
int RunVellquistSql(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vq::tools
