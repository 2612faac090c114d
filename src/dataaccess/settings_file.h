// Reading the connection fields from a settings file without Qt, for the
// command line. The file is the INI form the program's settings store writes:
//
//   [Vellquist]
//   AccessMDBFile=/data/shop.mdb
//   ASEPassword="p;w,\"x\"\\"
//
// A value is read as the store writes it: surrounding blanks dropped, a part
// between double quotes taken as it stands (with \" \\ \n \t \r \0 and \xHHHH
// escapes), an unquoted comma read as the ", " that joins a list, and text
// after an unquoted ';' a comment. Lines starting with ';' or '#' are comments.
#pragma once

#include <map>
#include <string>

#include "dataaccess/connection_settings.h"

namespace vq {

// The keys and values of `section` in the INI file at `path`. Throws
// std::runtime_error naming the file when it cannot be read.
std::map<std::string, std::string> ReadSettingsSection(const std::string& path,
                                                       const std::string& section);

// The settings store's file for `application` when nothing overrides it:
// $XDG_CONFIG_HOME/<application>.conf, or ~/.config/<application>.conf.
std::string DefaultSettingsFile(const std::string& application);

// The seven connection fields from the [Vellquist] section of the file at
// `path`, each absent key at its default. Throws as ReadSettingsSection does.
FixedConnectionSettings ReadConnectionSettingsFile(const std::string& path);

}  // namespace vq
