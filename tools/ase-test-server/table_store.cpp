#include "table_store.h"

#include <sqlite3.h>

#include <cctype>

#include "common/ascii.h"
#include "server_message.h"

namespace vq::ase_server {
namespace {

constexpr int kBusyTimeoutMs = 15000;

// Finalizes a prepared statement when it goes out of scope.
struct StatementGuard {
  sqlite3_stmt* s;
  ~StatementGuard() { sqlite3_finalize(s); }
};

// Makes a kept statement ready for its next use when it goes out of scope.
struct KeptGuard {
  sqlite3_stmt* s;
  ~KeptGuard() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

// How many tables' INSERT statements a store keeps prepared.
constexpr std::size_t kKeptInserts = 32;

std::string DataTable(std::int64_t id) {
  return "t" + std::to_string(id);
}
std::string DataColumn(int index) {
  return "c" + std::to_string(index + 1);
}

std::string TypeName(TypeKind kind) {
  return ascii::Lowered(TypeMessageName(kind));
}

CellValue ReadCell(sqlite3_stmt* s, int i, const ColumnDefinition& column) {
  if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::monostate{};
  const TypeKind kind = column.type.kind;
  if (kind == TypeKind::kFloat || kind == TypeKind::kReal) return sqlite3_column_double(s, i);
  if (kind == TypeKind::kNumeric || kind == TypeKind::kDecimal) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    Int128 v = 0;
    ParseInt128(text ? text : "0", v);
    return Numeric{v};
  }
  if (IsCharacterType(kind)) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return Text{
        std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(s, i)))};
  }
  if (IsBinaryType(kind)) {
    const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, i));
    const auto n = static_cast<std::size_t>(sqlite3_column_bytes(s, i));
    return Binary{std::vector<std::uint8_t>(blob, blob + n)};
  }
  return static_cast<std::int64_t>(sqlite3_column_int64(s, i));
}

}  // namespace

int TableDefinition::ColumnIndex(const std::string& column) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == column) return static_cast<int>(i);
  }
  return -1;
}

RowCursor::RowCursor(sqlite3_stmt* statement, std::vector<ColumnDefinition> columns)
    : statement_(statement), columns_(std::move(columns)) {}

RowCursor::~RowCursor() {
  sqlite3_finalize(statement_);
}

bool RowCursor::Next(std::vector<CellValue>& row) {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) {
    throw ServerError(messages::StorageFailure(sqlite3_errmsg(sqlite3_db_handle(statement_))));
  }
  row.clear();
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    row.push_back(ReadCell(statement_, static_cast<int>(i), columns_[i]));
  }
  return true;
}

TableStore::TableStore(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw ServerError(messages::StorageFailure(why));
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=NORMAL");
  Exec(
      "CREATE TABLE IF NOT EXISTS ase_objects(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, "
      "type TEXT NOT NULL)");
  Exec(
      "CREATE TABLE IF NOT EXISTS ase_columns(object_id INTEGER NOT NULL, position INTEGER NOT "
      "NULL, name TEXT NOT NULL, type_name TEXT NOT NULL, length INTEGER, precision INTEGER, "
      "scale INTEGER, nullable INTEGER, PRIMARY KEY(object_id, position))");
}

TableStore::~TableStore() {
  for (sqlite3_stmt* s : {find_table_, table_columns_}) sqlite3_finalize(s);
  for (const auto& [sql, s] : inserts_) sqlite3_finalize(s);
  sqlite3_close(db_);
}

sqlite3_stmt* TableStore::Kept(sqlite3_stmt*& slot, const char* sql) {
  if (slot == nullptr) slot = Prepare(sql);
  return slot;
}

void TableStore::Fail(const char* what) {
  throw ServerError(messages::StorageFailure(std::string(what) + ": " + sqlite3_errmsg(db_)));
}

void TableStore::Exec(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string why = error ? error : "unknown";
    sqlite3_free(error);
    throw ServerError(messages::StorageFailure(why));
  }
}

sqlite3_stmt* TableStore::Prepare(const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr) !=
      SQLITE_OK) {
    Fail("prepare");
  }
  return s;
}

void TableStore::Bind(sqlite3_stmt* s, const std::vector<CellValue>& binds) {
  for (std::size_t i = 0; i < binds.size(); ++i) {
    const int at = static_cast<int>(i) + 1;
    const CellValue& v = binds[i];
    int rc = SQLITE_OK;
    if (IsNull(v)) {
      rc = sqlite3_bind_null(s, at);
    } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
      rc = sqlite3_bind_int64(s, at, *n);
    } else if (const auto* num = std::get_if<Numeric>(&v)) {
      rc = sqlite3_bind_text(s, at, Int128ToString(num->unscaled).c_str(), -1, SQLITE_TRANSIENT);
    } else if (const auto* d = std::get_if<double>(&v)) {
      rc = sqlite3_bind_double(s, at, *d);
    } else if (const auto* t = std::get_if<Text>(&v)) {
      rc =
          sqlite3_bind_text64(s, at, t->utf8.data(), t->utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else if (const auto* b = std::get_if<Binary>(&v)) {
      rc = sqlite3_bind_blob64(s, at, b->bytes.data(), b->bytes.size(), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) Fail("bind");
  }
}

std::optional<TableDefinition> TableStore::FindTable(const std::string& name) {
  sqlite3_stmt* s = Kept(find_table_, "SELECT id FROM ase_objects WHERE name = ?1 AND type = 'U'");
  KeptGuard guard{s};
  sqlite3_bind_text(s, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(s) != SQLITE_ROW) return std::nullopt;
  TableDefinition table;
  table.id = sqlite3_column_int64(s, 0);
  table.name = name;
  sqlite3_stmt* c =
      Kept(table_columns_,
           "SELECT name, type_name, length, precision, scale, nullable FROM ase_columns "
           "WHERE object_id = ?1 ORDER BY position");
  KeptGuard column_guard{c};
  sqlite3_bind_int64(c, 1, table.id);
  while (sqlite3_step(c) == SQLITE_ROW) {
    ColumnDefinition col;
    col.name = reinterpret_cast<const char*>(sqlite3_column_text(c, 0));
    const auto kind = TypeKindFromName(reinterpret_cast<const char*>(sqlite3_column_text(c, 1)));
    if (!kind) throw ServerError(messages::StorageFailure("unknown type in catalogue"));
    col.type.kind = *kind;
    col.type.length = sqlite3_column_int(c, 2);
    col.type.precision = sqlite3_column_int(c, 3);
    col.type.scale = sqlite3_column_int(c, 4);
    col.nullable = sqlite3_column_int(c, 5) != 0;
    table.columns.push_back(std::move(col));
  }
  return table;
}

std::vector<std::string> TableStore::TableNames() {
  sqlite3_stmt* s = Prepare("SELECT name FROM ase_objects WHERE type = 'U' ORDER BY id");
  StatementGuard guard{s};
  std::vector<std::string> names;
  while (sqlite3_step(s) == SQLITE_ROW) {
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  }
  return names;
}

void TableStore::CreateTable(const std::string& name,
                             const std::vector<ColumnDefinition>& columns) {
  Exec("BEGIN IMMEDIATE");
  try {
    if (FindTable(name)) throw ServerError(messages::AlreadyExists(name));
    sqlite3_stmt* s = Prepare("INSERT INTO ase_objects(name, type) VALUES(?1, 'U')");
    {
      StatementGuard guard{s};
      sqlite3_bind_text(s, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      if (sqlite3_step(s) != SQLITE_DONE) Fail("create");
    }
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    std::string ddl = "CREATE TABLE " + DataTable(id) + "(";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const ColumnDefinition& col = columns[i];
      sqlite3_stmt* c = Prepare(
          "INSERT INTO ase_columns(object_id, position, name, type_name, length, precision, "
          "scale, nullable) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
      StatementGuard guard{c};
      const std::string type = TypeName(col.type.kind);
      sqlite3_bind_int64(c, 1, id);
      sqlite3_bind_int(c, 2, static_cast<int>(i));
      sqlite3_bind_text(c, 3, col.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(c, 4, type.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(c, 5, col.type.length);
      sqlite3_bind_int(c, 6, col.type.precision);
      sqlite3_bind_int(c, 7, col.type.scale);
      sqlite3_bind_int(c, 8, col.nullable ? 1 : 0);
      if (sqlite3_step(c) != SQLITE_DONE) Fail("create column");
      ddl += (i ? "," : "") + DataColumn(static_cast<int>(i));
    }
    // A primary key is a unique index over its columns, in key order.
    std::vector<std::string> key;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const int at = columns[i].key_position;
      if (at <= 0) continue;
      if (key.size() < static_cast<std::size_t>(at)) key.resize(static_cast<std::size_t>(at));
      key[static_cast<std::size_t>(at - 1)] = DataColumn(static_cast<int>(i));
    }
    if (!key.empty()) {
      ddl += ",UNIQUE(";
      for (std::size_t k = 0; k < key.size(); ++k) ddl += (k ? "," : "") + key[k];
      ddl += ")";
    }
    ddl += ")";
    Exec(ddl.c_str());
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void TableStore::DropTable(const std::string& name) {
  Exec("BEGIN IMMEDIATE");
  try {
    const auto table = FindTable(name);
    if (!table) throw ServerError(messages::CannotDrop(name));
    const std::string id = std::to_string(table->id);
    Exec(("DROP TABLE " + DataTable(table->id)).c_str());
    Exec(("DELETE FROM ase_columns WHERE object_id = " + id).c_str());
    Exec(("DELETE FROM ase_objects WHERE id = " + id).c_str());
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void TableStore::InsertRow(const TableDefinition& table, const std::vector<CellValue>& values) {
  std::string sql = "INSERT INTO " + DataTable(table.id) + " VALUES(";
  for (std::size_t i = 0; i < values.size(); ++i) sql += i ? ",?" : "?";
  sql += ")";
  // Every row of a transfer comes this way: the statement is prepared once a table.
  auto kept = inserts_.find(sql);
  if (kept == inserts_.end()) {
    if (inserts_.size() >= kKeptInserts) {
      for (const auto& [text, s] : inserts_) sqlite3_finalize(s);
      inserts_.clear();
    }
    kept = inserts_.emplace(sql, Prepare(sql)).first;
  }
  sqlite3_stmt* s = kept->second;
  KeptGuard guard{s};
  Bind(s, values);
  // A single statement in autocommit mode: SQLite applies it whole or not at all.
  if (sqlite3_step(s) == SQLITE_DONE) return;
  // The one constraint a data table has is its primary key's.
  if (sqlite3_errcode(db_) != SQLITE_CONSTRAINT) Fail("insert");
  throw ServerError(ServerMessage{2601, 14, 6,
                                  "Attempt to insert duplicate key row in object '" + table.name +
                                      "' with unique index '" + table.name + "_pk'\n"});
}

std::int64_t TableStore::RunChange(const std::string& sql, const std::vector<CellValue>& binds,
                                   const char* what) {
  sqlite3_stmt* s = Prepare(sql);
  StatementGuard guard{s};
  Bind(s, binds);
  // A single statement in autocommit mode: SQLite applies it whole or not at all.
  if (sqlite3_step(s) != SQLITE_DONE) Fail(what);
  return sqlite3_changes(db_);
}

std::string TableStore::WhereClause(const TableDefinition& table,
                                    const std::vector<StoredCondition>& where,
                                    std::vector<CellValue>& binds) const {
  std::string sql;
  for (const StoredCondition& c : where) {
    sql += sql.empty() ? " WHERE " : " AND ";
    const std::string col = DataColumn(c.column);
    const TypeKind kind = table.columns[static_cast<std::size_t>(c.column)].type.kind;
    const bool numeric = kind == TypeKind::kNumeric || kind == TypeKind::kDecimal;
    const std::string lhs = numeric ? "CAST(" + col + " AS REAL)" : col;
    auto placeholder = [&](const CellValue& v) {
      binds.push_back(v);
      return numeric ? std::string("CAST(? AS REAL)") : std::string("?");
    };
    switch (c.op) {
      case StoredCondition::Op::kIsNull:
        sql += col + " IS NULL";
        break;
      case StoredCondition::Op::kIsNotNull:
        sql += col + " IS NOT NULL";
        break;
      case StoredCondition::Op::kIn: {
        sql += lhs + " IN (";
        for (std::size_t i = 0; i < c.values.size(); ++i) {
          sql += (i ? "," : "") + placeholder(c.values[i]);
        }
        sql += ")";
        break;
      }
      default: {
        static const char* const kOps[] = {"=", "<>", "<", "<=", ">", ">="};
        sql += lhs + " " + kOps[static_cast<int>(c.op)] + " " + placeholder(c.values.at(0));
        break;
      }
    }
  }
  return sql;
}

std::int64_t TableStore::DeleteRows(const TableDefinition& table,
                                    const std::vector<StoredCondition>& where) {
  std::vector<CellValue> binds;
  std::string sql = "DELETE FROM " + DataTable(table.id) + WhereClause(table, where, binds);
  return RunChange(sql, binds, "delete");
}

std::int64_t TableStore::UpdateRows(const TableDefinition& table,
                                    const std::vector<std::pair<int, CellValue>>& assignments,
                                    const std::vector<StoredCondition>& where) {
  std::vector<CellValue> binds;
  std::string sql = "UPDATE " + DataTable(table.id) + " SET ";
  for (std::size_t i = 0; i < assignments.size(); ++i) {
    sql += (i ? ", " : "") + DataColumn(assignments[i].first) + " = ?";
    binds.push_back(assignments[i].second);
  }
  sql += WhereClause(table, where, binds);
  // One statement: every matching row changes, or none does.
  return RunChange(sql, binds, "update");
}

std::int64_t TableStore::CountRows(const TableDefinition& table,
                                   const std::vector<StoredCondition>& where) {
  std::vector<CellValue> binds;
  sqlite3_stmt* s =
      Prepare("SELECT count(*) FROM " + DataTable(table.id) + WhereClause(table, where, binds));
  StatementGuard guard{s};
  Bind(s, binds);
  if (sqlite3_step(s) != SQLITE_ROW) Fail("count");
  return sqlite3_column_int64(s, 0);
}

std::unique_ptr<RowCursor> TableStore::SelectRows(const TableDefinition& table,
                                                  const std::vector<int>& columns,
                                                  const std::vector<StoredCondition>& where,
                                                  const std::vector<StoredOrder>& order) {
  std::string sql = "SELECT ";
  std::vector<ColumnDefinition> chosen;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    sql += (i ? "," : "") + DataColumn(columns[i]);
    chosen.push_back(table.columns[static_cast<std::size_t>(columns[i])]);
  }
  if (columns.empty()) sql += "1";
  sql += " FROM " + DataTable(table.id);
  std::vector<CellValue> binds;
  sql += WhereClause(table, where, binds);
  for (std::size_t i = 0; i < order.size(); ++i) {
    const TypeKind kind = table.columns[static_cast<std::size_t>(order[i].column)].type.kind;
    const std::string col = DataColumn(order[i].column);
    sql += i ? ", " : " ORDER BY ";
    sql += kind == TypeKind::kNumeric || kind == TypeKind::kDecimal ? "CAST(" + col + " AS REAL)"
                                                                    : col;
    if (order[i].descending) sql += " DESC";
  }
  if (order.empty()) sql += " ORDER BY rowid";
  sqlite3_stmt* s = Prepare(sql);
  try {
    Bind(s, binds);
  } catch (...) {
    sqlite3_finalize(s);
    throw;
  }
  return std::make_unique<RowCursor>(s, std::move(chosen));
}

}  // namespace vq::ase_server
