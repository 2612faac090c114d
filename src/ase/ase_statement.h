// Checks made on a statement's text before it is handed to the client library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vq::ase {

// The position of the first '?' that FreeTDS would take for a parameter marker:
// one outside '...', "..." and [...] and outside -- and /* */ comments, scanned
// the way the library scans (doubled quotes stay inside). npos when there is none.
// FreeTDS refuses such a statement before sending it, so the client refuses it
// first, with a message that says why; a '?' inside quotes or brackets is fine.
size_t FindParameterMarker(std::string_view sql);

// Throws AseError (kClient) when `sql` cannot be sent as it stands: a NUL
// character, or a '?' the library would take for a parameter marker.
void CheckStatementText(std::string_view sql);

// "[name]" for a name ASE can take in brackets; throws AseError (kClient) for an
// empty name or one holding ']', '.' or a control character, which no bracket
// form can carry on ASE.
std::string BracketName(std::string_view name);

}  // namespace vq::ase
