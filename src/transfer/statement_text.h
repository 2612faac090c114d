// The pieces of the statements the transfers send: the target column type of
// a source column, the literal of a value, and the checks a name passes before
// it is put between delimiters.
//
// Toward ASE (names in square brackets):
//   CREATE TABLE [N]([C] INTEGER NULL,[C] TEXT NULL,[C] BIT,...)
//   INSERT INTO [N] VALUES(7, 'O''Hara', 1, 12.5, NULL)
// Toward Access (names in grave accents):
//   CREATE TABLE `N`(`C` INT,`C` VARCHAR,`C` DECIMAL(12,3),...);
//   INSERT INTO `N` VALUES('1', 'it''s', NULL, 0x00FF)
#pragma once

#include <cstdint>
#include <string>

#include "dataaccess/backend.h"
#include "dataaccess/value.h"

namespace vq {

// How the values of an ASE target column are written.
enum class AseColumnKind {
  kNumber,  // INTEGER, BIGINT, MONEY: the value's text, bare
  kBit,     // BIT: 1 or 0; a null is 0, since ASE bit columns hold no null
  kText,    // TEXT: a quoted text
};

// One ASE target column: the text after "[C]" up to and including the comma,
// and how its values are written.
struct AseColumn {
  std::string suffix;
  AseColumnKind kind;
};

// The ASE column for an Access column whose lower-case ADO type name is
// `type_name` (empty for a code without a name): the first of varwchar,
// longvar (TEXT), int (INTEGER; BIGINT for the 64-bit types), currency (MONEY),
// date (TEXT), bool (BIT) found in it, else TEXT. All but BIT are declared NULL.
AseColumn AseColumnFor(const std::string& type_name);

// The literal of `value` in an ASE INSERT for a column of `kind`: NULL for a
// null (0 in a bit column), 1 or 0 for a truth value, the bare text of a value
// in a number column, and otherwise the quoted text, an empty text as ''.
std::string AseLiteral(AseColumnKind kind, const Value& value);

// How the values of an Access target column are written.
enum class AccessColumnKind {
  kText,    // a quoted text, whatever the column's type
  kBinary,  // OLEOBJECT: bytes as a 0x literal
};

// One Access target column: the text after "`C" up to and including the comma.
struct AccessColumn {
  std::string suffix;
  AccessColumnKind kind;
};

// The Access column for an ASE column whose lower-case ADO type name is
// `type_name`, with the shape `info` gives: adlongvarbinary (OLEOBJECT),
// longvar (MEMO), char (VARCHAR, or MEMO above 255 characters), decimal and
// numeric (DECIMAL with the source's precision and scale), single (REAL),
// bigint (BIGINT when `takes_bigint`, else DECIMAL(19,0); DECIMAL(20,0) when
// unsigned), int (INT), date and timestamp (DATETIME), double (FLOAT), else
// VARCHAR.
AccessColumn AccessColumnFor(const std::string& type_name, const FieldInfo& info,
                             bool takes_bigint = false);

// `text` with the ASCII letters in lower case, as the lists compare names.
std::string LowerCase(std::string text);

// The progress of row `k` (from 0) of `rows`, counting the row being sent:
// (k + 1) / rows * 100, rounded to the nearest whole percent.
int RowPercent(int64_t k, int64_t rows);

// `text` with every single quote doubled, between single quotes.
std::string QuotedText(const std::string& text);

// QuotedText for an ASE statement. ASE reads a backslash directly before a
// line break (LF, or CR LF) inside a quoted string as a line continuation and
// drops both; each such backslash is written as two backslashes and the line
// break twice, which ASE reads back as the backslash and the line break.
std::string AseQuotedText(const std::string& text);

// Throws DatabaseError kInvalidArgument unless ASE takes `name` as the name of
// a `what` ("table", "column") between square brackets: 1 to 255 bytes, no
// closing bracket, no control character.
void CheckAseName(const std::string& name, const char* what);

// CheckAseName for a table the transfer creates: also refuses a name that
// begins with '#', which ASE takes for a temporary table that vanishes when
// the connection closes.
void CheckAseTableName(const std::string& name);

// Throws DatabaseError kInvalidArgument unless Access takes `name` as the name
// of a `what`: 1 to 64 characters, no leading blank, none of . ! ` [ ] and no
// control character.
void CheckAccessName(const std::string& name, const char* what);

// Throws DatabaseError kInvalidArgument unless `name` can stand between grave
// accents in a query that reads an existing Access table: no grave accent and
// no control character.
void CheckAccessSourceName(const std::string& name);

}  // namespace vq
