// The engine's SQL front end: the statements the program sends, parsed into
// plain structures the engine acts on.
//
// Names may be bare, or quoted with grave accents (`Order Details`) or square
// brackets ([Order Details]). Keywords are not case-sensitive; a trailing ";"
// is allowed. Reading understands "SELECT * FROM name"; other statements are
// recognised by their first keyword, so the caller can say what it does not do.
#pragma once

#include <string>
#include <string_view>

namespace jet {

// One parsed statement.
struct Statement {
  // What the statement does, as far as this engine needs to know.
  enum class Kind { kSelectAll, kCreateTable, kInsert, kDrop, kSelectInto, kOther };
  Kind kind = Kind::kOther;
  std::string table;  // kSelectAll: the table read
};

// Parses `sql`. Text that is no statement at all is a JetError kSyntaxError.
Statement ParseStatement(std::string_view sql);

}  // namespace jet
