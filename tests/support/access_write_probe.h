// For tests that change Access files: a private copy of a fixture.
#pragma once

#include <string>

namespace vq::testing {

// The Access connection string for `path` (ACE for .accdb, Jet otherwise).
std::string AccessConnectionString(const std::string& path, const std::string& password = "");

// Copies `fixture` to a new file `name` in the test temporary folder,
// replacing an older one, and returns the copy's path.
std::string CopyFixture(const std::string& fixture, const std::string& name);

}  // namespace vq::testing
