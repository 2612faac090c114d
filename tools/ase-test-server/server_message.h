// Server messages as ASE words them: number, severity, state and text. Every
// failure a statement can meet travels as a ServerError carrying one of these,
// so the client sees the same numbers a real server would send.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vq::ase_server {

// One message for the EED token.
struct ServerMessage {
  int number = 0;
  int severity = 0;
  int state = 1;
  std::string text;  // ends with "\n" like ASE's own texts
};

// Thrown by parsing and execution; the session turns it into EED + DONE(ERROR).
class ServerError : public std::runtime_error {
 public:
  explicit ServerError(ServerMessage message)
      : std::runtime_error(message.text), message_(std::move(message)) {}
  const ServerMessage& message() const { return message_; }

 private:
  ServerMessage message_;
};

namespace messages {
// 102: the parser stopped at a token that is not a keyword.
ServerMessage SyntaxNear(std::string_view token);
// 156: the parser stopped at a keyword.
ServerMessage SyntaxNearKeyword(std::string_view keyword);
// 103: an identifier longer than ASE accepts.
ServerMessage IdentifierTooLong(std::string_view name, int limit);
// 208: no table of that name.
ServerMessage ObjectNotFound(std::string_view name);
// 207: no column of that name.
ServerMessage InvalidColumn(std::string_view name);
// 213: the value list does not match the columns.
ServerMessage InsertColumnCount();
// 233: NULL into a column that does not allow it.
ServerMessage NullNotAllowed(std::string_view column, std::string_view table);
// 257: a value of one datatype where ASE will not convert it silently.
ServerMessage ImplicitConversion(std::string_view from, std::string_view to);
// 220: a number that does not fit the column's type.
ServerMessage ArithmeticOverflow(std::string_view from, std::string_view value,
                                 std::string_view to);
// 241: a number with more decimals than the column keeps.
ServerMessage ScaleError(std::string_view from, std::string_view value, std::string_view to);
// 249: a text that is not a date or time of the column's type.
ServerMessage ConversionSyntax(std::string_view from, std::string_view value, std::string_view to);
// 2714: CREATE TABLE of a name that exists.
ServerMessage AlreadyExists(std::string_view name);
// 3701: DROP TABLE of a name that does not exist.
ServerMessage CannotDrop(std::string_view name);
// 911: `use` of an unknown database.
ServerMessage DatabaseNotFound(std::string_view name);
// 2812: a stored procedure the server does not have.
ServerMessage ProcedureNotFound(std::string_view name);
// 2727 / 2705: column list problems in CREATE TABLE.
ServerMessage DuplicateColumn(std::string_view column);
// 2716 / 2756: a type length or precision ASE refuses.
ServerMessage BadTypeLength(std::string_view column, std::string_view detail);
// 306: a text, unitext or image column compared in a WHERE clause.
ServerMessage LargeObjectInWhere();
// 511: a row wider than the page size lets a table hold.
ServerMessage RowTooLarge(int size, int limit);
// 1105: the database has no data page left for the table.
ServerMessage SegmentFull(std::string_view table, std::string_view database);
// 1701: CREATE TABLE whose fixed-length columns alone overflow a row.
ServerMessage TableRowTooLarge(std::string_view table, int size, int limit);
// 1708: informational, CREATE TABLE whose widest possible row overflows a row.
ServerMessage RowMayNotFit(int size, int limit);
// 1767: more variable-length columns than an allpages-locked table takes.
ServerMessage TooManyVariableColumns(std::string_view table);
// 4002: wrong login name or password.
ServerMessage LoginFailed();
// 5701: informational, after a change of database.
ServerMessage ChangedDatabase(std::string_view name);
// 7221-style refusal of a request kind the server does not handle.
ServerMessage UnsupportedRequest(std::string_view what);
// 1105-style failure of the storage underneath.
ServerMessage StorageFailure(std::string_view detail);
}  // namespace messages

}  // namespace vq::ase_server
