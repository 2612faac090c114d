// The vellquist-transfer command line: the transfers, deletes and the Access
// rename of the tables window, run through the same command code, with the
// connection fields read from the settings store or a file of the same form.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vq::tools {

// Exit statuses of vellquist-transfer.
inline constexpr int kTransferOk = 0;  // every action done, no step failed
inline constexpr int kTransferFailed =
    1;  // a step failed, a database was not reached or a named table is missing
inline constexpr int kTransferCannotStart =
    2;  // bad options or a settings file that cannot be read

// Runs the tool with `args` (without the program name). Reports, questions
// and progress go to `err`; progress only when `terminal`. Returns the exit status.
int RunVellquistTransfer(const std::vector<std::string>& args, std::ostream& err, bool terminal);

}  // namespace vq::tools
