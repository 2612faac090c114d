// The engine's SQL front end: the statements the program sends, parsed into
// plain structures the engine acts on.
//
// Understood (keywords in any case, an optional trailing ";"):
//
//   CREATE TABLE name (column type [(size)] [NULL | NOT NULL], ...)
//   INSERT INTO name [(column, ...)] VALUES (literal, ...)
//   DROP TABLE name
//   CREATE [UNIQUE] INDEX name ON table (column [ASC | DESC], ...)
//       [WITH PRIMARY | WITH DISALLOW NULL | WITH IGNORE NULL]
//   ALTER TABLE name RENAME TO new_name     (our own; Jet SQL has no rename)
//   SELECT * FROM name
//   SELECT * INTO name FROM source
//   SELECT alias.* INTO name FROM source [AS] alias
//
// Names are bare words, or quoted with grave accents (`Order Details`) or
// square brackets ([Order Details]); inside one quoting the other's
// delimiters are ordinary characters, and there is no escape. Literals are
// 'text' ('' stands for one quote), numbers (sign, fraction, exponent), NULL,
// True/False/Yes/No, #date# and 0x hexadecimal bytes.
//
// Valid SQL the engine does not carry out (UPDATE, constraints, WHERE, ...)
// is a JetError kNotSupported naming what is missing; anything else that does
// not parse is kSyntaxError quoting the statement and where it went wrong.
//
// The parser reads over the text without copying it into tokens; the one
// parse that reuses a Statement keeps its strings' and vectors' storage, so a
// stream of INSERT statements parses without allocating.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

// A constant as written in a statement.
struct Literal {
  enum class Kind : uint8_t { kNull, kText, kNumber, kTrue, kFalse, kDate, kBytes };
  Kind kind = Kind::kNull;
  // kText: the text with '' unescaped; kNumber: as written, sign included;
  // kDate: what stood between the # signs; kBytes: the raw bytes.
  std::string text;
};

// One column of a CREATE TABLE.
struct StatementColumn {
  std::string name;
  uint8_t type = 0;                  // a ColumnType code (table_definition.h)
  uint16_t length = 0;               // text: characters; binary: bytes; 0 for other types
  uint8_t precision = 0, scale = 0;  // decimal only
  bool not_null = false;
  bool autoincrement = false;  // COUNTER / AUTOINCREMENT (type kLong)
};

// One column of a CREATE INDEX.
struct StatementIndexColumn {
  std::string name;
  bool ascending = true;
};

// What a CREATE INDEX asks for.
struct StatementIndex {
  std::string name;
  std::vector<StatementIndexColumn> columns;  // 1 to 10
  bool unique = false;
  bool primary = false;        // WITH PRIMARY: unique, no nulls, the table's primary key
  bool disallow_null = false;  // WITH DISALLOW NULL
  bool ignore_null = false;    // WITH IGNORE NULL: rows with only nulls stay out
};

// One parsed statement; which fields are filled depends on the kind.
struct Statement {
  enum class Kind : uint8_t {
    kSelectAll,
    kCreateTable,
    kInsert,
    kDropTable,
    kSelectInto,
    kCreateIndex,
    kRenameTable
  };
  Kind kind = Kind::kSelectAll;
  std::string table;     // the table read, created, filled, dropped, indexed or renamed
  std::string source;    // kSelectInto: the table copied
  std::string new_name;  // kRenameTable: the table's new name
  StatementIndex index;  // kCreateIndex
  std::vector<StatementColumn> columns;     // kCreateTable
  std::vector<std::string> insert_columns;  // kInsert: the named columns; empty = all, in order
  std::vector<Literal> values;              // kInsert
};

// Parses `sql` into `out`, reusing its storage. Throws JetError
// (kSyntaxError or kNotSupported); `out` is then unspecified.
void ParseStatement(std::string_view sql, Statement& out);

// Parses `sql` into a new Statement.
Statement ParseStatement(std::string_view sql);

}  // namespace jet
