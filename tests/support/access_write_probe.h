// For tests that change Access files: a private copy of a fixture, and whether
// the engine carries out statements at all, so such tests skip cleanly while
// it cannot.
#pragma once

#include <string>

namespace vq::testing {

// The reason tests give when they skip because statements are not carried out.
inline constexpr const char* kAccessCannotWrite = "the Access engine cannot write yet";

// The Access connection string for `path` (ACE for .accdb, Jet otherwise).
std::string AccessConnectionString(const std::string& path, const std::string& password = "");

// Copies `fixture` to a new file `name` in the test temporary folder,
// replacing an older one, and returns the copy's path.
std::string CopyFixture(const std::string& fixture, const std::string& name);

// True when creating and dropping a table works on a throwaway copy of
// `fixture`; false only when the engine answers that it does not change files.
// Any other failure counts as "writes", so the tests that follow show it.
bool AccessEngineWrites(const std::string& fixture);

}  // namespace vq::testing
