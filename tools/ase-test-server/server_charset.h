// The server's character set: what text on the wire is encoded in.
//
// The server keeps every text as UTF-8 (SQLite's form). With utf8 the wire
// carries those bytes as they are. With iso_1 (ISO 8859-1) every wire byte is
// one character U+0000 to U+00FF: the statements a client sends are read
// byte by byte as those characters, and the values, names and messages the
// server sends are written back one byte a character. ASE stores char, varchar
// and text in its own character set, so a character iso_1 cannot hold becomes
// '?' where it is stored or sent, as ASE's own conversion leaves it.
// unichar, univarchar and unitext travel as UTF-16 and are not touched.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vq::ase_server {

// The character sets the server can be started with.
enum class ServerCharset { kUtf8, kIso1 };

// Reads a --charset value ("utf8", "iso_1"); false for any other.
bool ParseServerCharset(std::string_view name, ServerCharset& out);

// The name ASE announces for `charset` at login.
const char* ServerCharsetName(ServerCharset charset);

// Chooses the process-wide wire character set; set once before serving.
void SetWireCharset(ServerCharset charset);
ServerCharset WireCharset();

// `utf8` as the wire carries it: unchanged with utf8; with iso_1 one byte a
// character and '?' for a character beyond U+00FF or a malformed byte.
std::string ToWire(std::string_view utf8);

// Wire bytes as UTF-8: unchanged with utf8; with iso_1 each byte is the
// character of that number.
std::string FromWire(std::string_view bytes);

// `utf8` as a char/varchar/text column keeps it: unchanged with utf8; with
// iso_1 every character beyond U+00FF is '?'.
std::string AsStored(std::string utf8);

// The stored size in bytes of `utf8` in the wire character set: its UTF-8
// length with utf8, its character count with iso_1.
std::size_t StoredBytes(std::string_view utf8);

}  // namespace vq::ase_server
