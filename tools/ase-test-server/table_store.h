// One ASE database kept in one SQLite file. SQLite holds the rows; the declared
// ASE types live in two catalogue tables, since SQLite columns have no types:
//   ase_objects(id, name, type)                  one row per table, name case-sensitive
//   ase_columns(object_id, position, name, type_name, length, precision, scale, nullable)
// A user table's rows sit in the SQLite table "t<id>" with columns c1..cN, so
// no user-chosen name ever reaches SQLite's own SQL text.
//
// Every statement is one SQLite transaction: a client that drops half way
// through a statement leaves either all of it or none of it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cell_value.h"
#include "column_type.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vq::ase_server {

// A user table as the catalogue describes it.
struct TableDefinition {
  std::int64_t id = 0;
  std::string name;
  std::vector<ColumnDefinition> columns;

  // Index of the column with exactly this name, or -1.
  int ColumnIndex(const std::string& column) const;
};

// A comparison on one column with values already converted to its storage form.
struct StoredCondition {
  enum class Op { kEq, kNe, kLt, kLe, kGt, kGe, kIn, kIsNull, kIsNotNull };
  int column = 0;
  Op op = Op::kEq;
  std::vector<CellValue> values;
};

// One ORDER BY key on a column index.
struct StoredOrder {
  int column = 0;
  bool descending = false;
};

// Steps through the rows of a SELECT without holding them all.
class RowCursor {
 public:
  // Takes over `statement`, which yields rows shaped as `columns`.
  RowCursor(sqlite3_stmt* statement, std::vector<ColumnDefinition> columns);
  ~RowCursor();
  RowCursor(const RowCursor&) = delete;
  RowCursor& operator=(const RowCursor&) = delete;

  // Reads the next row into `row`; false after the last one.
  bool Next(std::vector<CellValue>& row);

 private:
  sqlite3_stmt* statement_;
  std::vector<ColumnDefinition> columns_;
};

// An open database file. One per client connection; not shared between threads.
class TableStore {
 public:
  // Opens (creating if needed) the database file; throws ServerError on failure.
  explicit TableStore(const std::string& path);
  ~TableStore();
  TableStore(const TableStore&) = delete;
  TableStore& operator=(const TableStore&) = delete;

  // The table with exactly this name, if any.
  std::optional<TableDefinition> FindTable(const std::string& name);
  // Names of the user tables in creation order.
  std::vector<std::string> TableNames();

  // Creates a table; 2714 if the name is taken.
  void CreateTable(const std::string& name, const std::vector<ColumnDefinition>& columns);
  // Drops a table; 3701 if there is none of that name.
  void DropTable(const std::string& name);
  // Appends one row holding a value for every column.
  void InsertRow(const TableDefinition& table, const std::vector<CellValue>& values);
  // Deletes the rows that meet every condition; returns how many.
  std::int64_t DeleteRows(const TableDefinition& table, const std::vector<StoredCondition>& where);
  // Sets columns of the rows that meet every condition; returns how many.
  std::int64_t UpdateRows(const TableDefinition& table,
                          const std::vector<std::pair<int, CellValue>>& assignments,
                          const std::vector<StoredCondition>& where);
  // Counts the rows that meet every condition.
  std::int64_t CountRows(const TableDefinition& table, const std::vector<StoredCondition>& where);
  // Opens a cursor over the chosen columns of the rows that meet every condition.
  std::unique_ptr<RowCursor> SelectRows(const TableDefinition& table,
                                        const std::vector<int>& columns,
                                        const std::vector<StoredCondition>& where,
                                        const std::vector<StoredOrder>& order);

 private:
  void Exec(const char* sql);
  sqlite3_stmt* Prepare(const std::string& sql);
  std::string WhereClause(const TableDefinition& table, const std::vector<StoredCondition>& where,
                          std::vector<CellValue>& binds) const;
  void Bind(sqlite3_stmt* statement, const std::vector<CellValue>& binds);
  // Runs one INSERT, UPDATE or DELETE with its bound values; gives the rows changed.
  std::int64_t RunChange(const std::string& sql, const std::vector<CellValue>& binds,
                         const char* what);
  [[noreturn]] void Fail(const char* what);
  // The statement in `slot`, prepared from `sql` on first use and kept.
  sqlite3_stmt* Kept(sqlite3_stmt*& slot, const char* sql);

  sqlite3* db_ = nullptr;
  // Statements every INSERT runs, prepared once: the two catalogue queries
  // of FindTable and, by text, the INSERTs of the tables written lately.
  sqlite3_stmt* find_table_ = nullptr;
  sqlite3_stmt* table_columns_ = nullptr;
  std::map<std::string, sqlite3_stmt*> inserts_;
};

}  // namespace vq::ase_server
