// For tests that change Access files: a new file, or a private copy of a fixture.
#pragma once

#include <string>

namespace vq::testing {

// The Access connection string for `path` (ACE for .accdb, Jet otherwise).
std::string AccessConnectionString(const std::string& path, const std::string& password = "");

// Copies `fixture` to a new file `name` in the test temporary folder,
// replacing an older one, and returns the copy's path.
std::string CopyFixture(const std::string& fixture, const std::string& name);

// Makes a new, empty Access database `name` in the test temporary folder,
// replacing an older one: Access 2007 for .accdb, 2002-2003 otherwise.
// Returns its path.
std::string NewAccessFile(const std::string& name);

// The same with four tables of what the transfers carry: Table1 a column of
// each common type (text, byte, integer, long, double, date, currency, yes/no)
// with rows holding nulls, quotes and text beyond Latin-1; Table2 twenty text
// columns; Table3 a memo column with a long memo; Table4 binary and OLE
// values. Rows are in the order of their first column.
std::string NewAccessFileWithTables(const std::string& name);

}  // namespace vq::testing
