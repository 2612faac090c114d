// The statements the server understands, as the parser hands them to the executor.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "column_type.h"

namespace vq::ase_server {

// A constant written in the statement.
struct Literal {
  enum class Kind { kNull, kInteger, kDecimal, kFloat, kString, kBinary };
  Kind kind = Kind::kNull;
  std::string text;  // digits with sign, unescaped string, or hex digits
};

// One entry of a select list.
struct SelectItem {
  enum class Kind { kStar, kColumn, kCountStar, kGlobal, kFunction, kLiteral };
  Kind kind = Kind::kStar;
  std::string name;  // column, global variable or function name
  Literal literal;
  std::string alias;
};

// A WHERE term; terms are joined by AND.
struct Condition {
  enum class Op { kEq, kNe, kLt, kLe, kGt, kGe, kIn, kIsNull, kIsNotNull };
  std::string column;
  Op op = Op::kEq;
  std::vector<Literal> values;
};

// One ORDER BY key.
struct OrderKey {
  std::string column;
  bool descending = false;
};

// SELECT list [FROM table [HOLDLOCK | NOHOLDLOCK] [WHERE ...] [ORDER BY ...]
// [AT ISOLATION level]].
struct SelectStatement {
  std::vector<SelectItem> items;
  std::optional<std::string> table;
  std::vector<Condition> where;
  std::vector<OrderKey> order_by;
  std::optional<int> isolation;  // 0 to 3 when the statement names one; else the session's
};

// INSERT [INTO] table [(columns)] VALUES (literals).
struct InsertStatement {
  std::string table;
  std::vector<std::string> columns;
  std::vector<Literal> values;
};

// CREATE TABLE table (column definitions).
struct CreateTableStatement {
  std::string table;
  std::vector<ColumnDefinition> columns;
};

// DROP TABLE table.
struct DropTableStatement {
  std::string table;
};

// DELETE [FROM] table [WHERE ...], and TRUNCATE TABLE table.
struct DeleteStatement {
  std::string table;
  std::vector<Condition> where;
  bool truncate = false;
};

// UPDATE table SET column = literal, ... [WHERE ...].
struct UpdateStatement {
  std::string table;
  std::vector<std::pair<std::string, Literal>> assignments;
  std::vector<Condition> where;
};

// USE database.
struct UseStatement {
  std::string database;
};

// SET option value...; textsize, quoted_identifier and the transaction
// isolation level change anything here.
struct SetStatement {
  std::string option;  // lower case; "transaction" for SET TRANSACTION ISOLATION LEVEL
  std::string value;   // first value word or number; the level's digit for "transaction"
};

// EXEC procedure ...: the server has no procedures.
struct ExecStatement {
  std::string procedure;
};

// BEGIN TRAN / COMMIT / ROLLBACK. A transaction holds the locks its statements
// take until the outermost COMMIT or ROLLBACK (lock_table.h); the rows each
// statement writes are stored at once, so a ROLLBACK does not take them back.
struct TransactionStatement {
  std::string verb;  // "begin", "commit" or "rollback"
};

// WAITFOR DELAY 'hh:mm:ss[.fff]': holds the batch, for testing client timeouts;
// an attention from the client cuts it short.
struct WaitForStatement {
  long long milliseconds = 0;
};

// Any statement of a batch.
using Statement = std::variant<SelectStatement, InsertStatement, CreateTableStatement,
                               DropTableStatement, DeleteStatement, UpdateStatement, UseStatement,
                               SetStatement, ExecStatement, TransactionStatement, WaitForStatement>;

}  // namespace vq::ase_server
