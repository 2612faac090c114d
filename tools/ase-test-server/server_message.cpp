#include "server_message.h"

namespace vq::ase_server::messages {
namespace {

ServerMessage Make(int number, int severity, std::string text, int state = 1) {
  return ServerMessage{number, severity, state, std::move(text) + "\n"};
}

std::string S(std::string_view v) {
  return std::string(v);
}

}  // namespace

ServerMessage SyntaxNear(std::string_view token) {
  return Make(102, 15, "Incorrect syntax near '" + S(token) + "'.", 181);
}

ServerMessage SyntaxNearKeyword(std::string_view keyword) {
  return Make(156, 15, "Incorrect syntax near the keyword '" + S(keyword) + "'.", 2);
}

ServerMessage IdentifierTooLong(std::string_view name, int limit) {
  return Make(103, 15,
              "The identifier that starts with '" + S(name.substr(0, 30)) +
                  "' is too long. Maximum length is " + std::to_string(limit) + ".",
              1);
}

ServerMessage ObjectNotFound(std::string_view name) {
  return Make(208, 16,
              S(name) +
                  " not found. Specify owner.objectname or use sp_help to check whether the "
                  "object exists (sp_help may produce lots of output).");
}

ServerMessage InvalidColumn(std::string_view name) {
  return Make(207, 16, "Invalid column name '" + S(name) + "'.", 4);
}

ServerMessage InsertColumnCount() {
  return Make(213, 16,
              "Insert error: column name or number of supplied values does not agree with "
              "table definition.",
              4);
}

ServerMessage NullNotAllowed(std::string_view column, std::string_view table) {
  return Make(233, 16,
              "The column " + S(column) + " in table " + S(table) + " does not allow null values.");
}

ServerMessage ImplicitConversion(std::string_view from, std::string_view to) {
  return Make(257, 16,
              "Implicit conversion from datatype '" + S(from) + "' to '" + S(to) +
                  "' is not allowed.  Use the CONVERT function to run this query.");
}

ServerMessage ArithmeticOverflow(std::string_view from, std::string_view value,
                                 std::string_view to) {
  return Make(220, 16,
              "Arithmetic overflow during implicit conversion of " + S(from) + " value '" +
                  S(value) + "' to a " + S(to) + " field .");
}

ServerMessage ScaleError(std::string_view from, std::string_view value, std::string_view to) {
  return Make(241, 16,
              "Scale error during implicit conversion of " + S(from) + " value '" + S(value) +
                  "' to a " + S(to) + " field.");
}

ServerMessage ConversionSyntax(std::string_view from, std::string_view value, std::string_view to) {
  return Make(249, 16,
              "Syntax error during implicit conversion of " + S(from) + " value '" + S(value) +
                  "' to a " + S(to) + " field.");
}

ServerMessage AlreadyExists(std::string_view name) {
  return Make(2714, 16, "There is already an object named '" + S(name) + "' in the database.");
}

ServerMessage CannotDrop(std::string_view name) {
  return Make(
      3701, 11,
      "Cannot drop the table '" + S(name) + "', because it doesn't exist in the system catalogs.");
}

ServerMessage DatabaseNotFound(std::string_view name) {
  return Make(911, 11,
              "Attempt to locate entry in sysdatabases for database '" + S(name) +
                  "' by name failed - no entry found under that name. Make sure that name is "
                  "entered properly.",
              2);
}

ServerMessage ProcedureNotFound(std::string_view name) {
  return Make(2812, 16,
              "Stored procedure '" + S(name) +
                  "' not found. Specify owner.objectname or use sp_help to check whether the "
                  "object exists (sp_help may produce lots of output).",
              5);
}

ServerMessage DuplicateColumn(std::string_view column) {
  return Make(2705, 16,
              "Column names in each table must be unique. Column name '" + S(column) +
                  "' in table is specified more than once.",
              3);
}

ServerMessage BadTypeLength(std::string_view column, std::string_view detail) {
  return Make(2716, 16, "Column or parameter '" + S(column) + "': " + S(detail));
}

ServerMessage LargeObjectInWhere() {
  return Make(306, 16,
              "TEXT, IMAGE and UNITEXT datatypes may not be used in a WHERE clause, except with "
              "the LIKE expression and IS [NOT] NULL predicate on columns.",
              5);
}

ServerMessage RowTooLarge(int size, int limit) {
  return Make(511, 16,
              "Attempt to update or insert row failed because resultant row of size " +
                  std::to_string(size) + " bytes is larger than the maximum size (" +
                  std::to_string(limit) + " bytes) allowed for this table.",
              2);
}

ServerMessage SegmentFull(std::string_view table, std::string_view database) {
  return Make(1105, 17,
              "Can't allocate space for object '" + S(table) + "' in database '" + S(database) +
                  "' because 'default' segment is full/has no free extents. If you ran out of "
                  "space in syslogs, dump the transaction log. Otherwise, use ALTER DATABASE or "
                  "sp_extendsegment to increase size of the segment.",
              16);
}

ServerMessage TableRowTooLarge(std::string_view table, int size, int limit) {
  return Make(1701, 16,
              "Creation of table '" + S(table) + "' failed because row size would be " +
                  std::to_string(size) + ", exceeding the maximum allowable size of " +
                  std::to_string(limit) + ".");
}

ServerMessage RowMayNotFit(int size, int limit) {
  return Make(1708, 10,
              "Warning: Row size (" + std::to_string(size) +
                  " bytes) could exceed row size limit, which is " + std::to_string(limit) +
                  " bytes.");
}

ServerMessage TooManyVariableColumns(std::string_view table) {
  return Make(1767, 16,
              "Number of variable length columns exceeds limit of 254 for allpage locked "
              "tables. CREATE TABLE for '" +
                  S(table) + "' failed.");
}

ServerMessage LoginFailed() {
  return Make(4002, 14, "Login failed.");
}

ServerMessage ChangedDatabase(std::string_view name) {
  return Make(5701, 10, "Changed database context to '" + S(name) + "'.", 2);
}

ServerMessage UnsupportedRequest(std::string_view what) {
  return Make(7221, 16, "This server does not handle " + S(what) + " requests.");
}

ServerMessage StorageFailure(std::string_view detail) {
  return Make(1105, 17, "Storage failure: " + S(detail) + ".", 3);
}

}  // namespace vq::ase_server::messages
