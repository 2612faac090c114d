// The user's own copy of the sample database.
#pragma once

#include <string>

namespace vq {

// The sample database "Load Sample/Example Database" names: the user's copy,
// `$XDG_DATA_HOME/vellquist/sample.mdb` (by default under ~/.local/share),
// made from `program_folder`/Samples/sample.mdb the first time and kept as
// the user left it afterwards. An installed program's folder is not the
// user's to write, and a transfer into the original would fail on every row.
// Without the original (and without a copy) the program folder's path is the
// answer, as when no copy is made at all; a copy that cannot be made throws
// with a message saying where and why.
std::string UserSampleDatabase(const std::string& program_folder);

}  // namespace vq
