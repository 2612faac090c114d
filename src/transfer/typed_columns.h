// The column types and value literals of "Keep column types": each source
// column becomes the target type that holds its values as they are, instead
// of the text columns the transfers make by default.
//
// Toward ASE:
//   CREATE TABLE [N]([id] int NOT NULL,[name] univarchar(50) NULL,
//                    [when] datetime NULL,PRIMARY KEY ([id]))
//   INSERT INTO [N] VALUES(7, U&'Gr\00F6\00DFe', '2024-02-29 13:45:30.000')
// Toward Access:
//   CREATE TABLE `N`(`id` LONG NOT NULL,`name` VARCHAR(50),`when` DATETIME);
//
// docs/column-types.md gives each choice and where it comes from.
#pragma once

#include <string>
#include <vector>

#include "dataaccess/backend.h"
#include "dataaccess/value.h"

namespace vq {

// How the values of a typed ASE column are written.
enum class TypedAseKind {
  kInteger,      // tinyint .. bigint: the bare number
  kExact,        // money, numeric: the exact decimal text, bare
  kFloat,        // float: an approximate-number literal (with an exponent)
  kReal,         // real: the same, of the single-precision value itself
  kBit,          // bit: 1 or 0
  kDateTime,     // datetime: 'YYYY-MM-DD hh:mm:ss.mmm', 1753 to 9999, to 1/300 s
  kBigDateTime,  // bigdatetime: 'YYYY-MM-DD hh:mm:ss.uuuuuu', years 1 to 9999
  kUnicode,      // univarchar, unitext: the text, with U& escapes where needed
  kText,         // char, text: the text in the server's character set
  kBinary,       // varbinary, image: 0x and hexadecimal digits
};

// What the ASE server takes beyond what every version since 12.5.1 has.
struct AseServerTypes {
  bool bigint = true;       // bigint (15.0)
  bool unitext = true;      // unitext (15.0)
  bool bigdatetime = true;  // bigdatetime (15.5)
};

// One typed ASE column: its type as CREATE TABLE writes it, whether it takes
// nulls, and how its values are written.
struct TypedAseColumn {
  std::string type;  // "int", "univarchar(50)", "numeric(18,4)", ...
  TypedAseKind kind = TypedAseKind::kText;
  bool not_null = false;
  // ASE indexes no bit, text, unitext or image column: such a column cannot
  // be part of a primary key.
  bool indexable = true;
};

// The ASE column for an Access column described by `field`. `big_dates`: the
// column holds a date that datetime cannot (before 1753, or a time finer than
// 1/300 second), so it takes bigdatetime where the server has it.
TypedAseColumn TypedAseColumnFor(const FieldInfo& field, const AseServerTypes& server,
                                 bool big_dates);

// Whether ASE's datetime holds `value` exactly: a date from 1753 to 9999
// whose time falls on one of its 1/300 second ticks as Access's milliseconds
// name them.
bool DateTimeHolds(const DateTime& value);

// The definition of `column` named `name` in a CREATE TABLE: "[name] type NULL".
std::string TypedAseDefinition(const std::string& name, const TypedAseColumn& column);

// The table constraint for the primary key made of `key_columns` in key order
// ("PRIMARY KEY ([a],[b])"), or empty when there is no key.
std::string AsePrimaryKey(const std::vector<std::string>& key_columns);

// The literal of `value` for a column of `kind`. Throws DatabaseError (error
// -2147217833) naming the value when ASE cannot hold it in that column: a
// date outside the column's years, a time finer than it keeps, a number
// that is not finite. Nothing is rounded or cut to make a value fit.
std::string TypedAseLiteral(TypedAseKind kind, const Value& value);

// `text` as an ASE character literal that arrives whole on a server of any
// character set: plain between quotes when it is printable ASCII, otherwise
// U&'...' with every other character (line breaks included) written as
// \XXXX or \+XXXXXX and a backslash as \\, which ASE reads since 12.5.1.
std::string AseUnicodeLiteral(const std::string& text);

// The Access column for an ASE column described by `field`: the text after
// "`C" up to and including the comma, e.g. "` BYTE NOT NULL,"; whether its
// values go as 0x literals is `binary`. `takes_bigint`: the Access file has
// Large Number columns.
std::string TypedAccessSuffix(const FieldInfo& field, bool takes_bigint, bool& binary);

}  // namespace vq
