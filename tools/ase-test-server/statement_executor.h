// Runs the statements of a batch for one connection and writes their reply
// tokens: rows as ROWFMT/ROW/DONE(count), failures as EED + DONE(error), and
// DONE(more) between the statements of a batch.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lock_table.h"
#include "packet_channel.h"
#include "page_budget.h"
#include "row_encoding.h"
#include "server_config.h"
#include "sql_parser.h"
#include "sql_statement.h"
#include "table_store.h"

namespace vq::ase_server {

// Thrown when the client cancels the running batch with an attention.
struct BatchCancelled {};

// Per-connection state: current database, text size, the open store, and the
// transaction with the table locks it holds.
class StatementExecutor {
 public:
  // The state of connection `spid`, logged in as `user`.
  StatementExecutor(const ServerConfig& config, int spid, std::string user);
  ~StatementExecutor();

  // Switches to a database as `use` does; throws ServerError (911) for an unknown one.
  void UseDatabase(const std::string& name);
  const std::string& database() const { return database_; }

  // Parses and runs a language batch, writing the reply to `out` (not finished).
  void RunBatch(const std::string& sql, PacketChannel& out);

  // Applies an option the client set with an OPTIONCMD token (only textsize matters).
  void SetTextSize(std::size_t bytes);

  // Runs a batch with no client, stopping at the first failure (ServerError).
  void RunScriptBatch(const std::string& sql);

  // Names of the user tables of the current database.
  std::vector<std::string> TableNames() { return Store().TableNames(); }

 private:
  // What a SELECT on a table reads and sends, worked out before it runs.
  struct SelectPlan {
    std::vector<StoredCondition> where;
    bool counting = false;  // select count(*)
    std::vector<int> chosen;
    std::vector<ResultColumn> columns;
    std::vector<StoredOrder> order;
  };

  // RunBatch's work, between forgetting the tables of the batch before and after.
  void RunStatements(const std::string& sql, PacketChannel& out);
  // Checks every statement of a batch before any of them runs, as ASE
  // compiles a whole batch first; throws the first compile-time error.
  void CompileBatch(const std::vector<ParsedStatement>& statements);
  SelectPlan PlanSelect(const SelectStatement& s, const TableDefinition& table) const;
  // The stored row an INSERT makes, with ASE's conversions applied.
  std::vector<CellValue> InsertRow(const InsertStatement& s, const TableDefinition& table) const;
  // The columns of a CREATE TABLE as stored; refuses what ASE refuses.
  std::vector<ColumnDefinition> CheckCreate(const CreateTableStatement& s, std::string& warning);
  // Runs one statement; `more` is set on its final DONE when others follow.
  void Run(const Statement& statement, bool more, PacketChannel& out);
  void RunSelect(const SelectStatement& s, std::uint16_t more, PacketChannel& out);
  void RunSelectWithoutTable(const SelectStatement& s, std::uint16_t more, PacketChannel& out);
  void RunInsert(const InsertStatement& s, std::uint16_t more, PacketChannel& out);
  void RunCreate(const CreateTableStatement& s, std::uint16_t more, PacketChannel& out);
  void RunUse(const UseStatement& s, std::uint16_t more, PacketChannel& out);
  void RunUpdate(const UpdateStatement& s, std::uint16_t more, PacketChannel& out);
  void RunDelete(const DeleteStatement& s, std::uint16_t more, PacketChannel& out);
  void RunTransaction(const std::string& verb, std::uint16_t more, PacketChannel& out);
  TableStore& Store();
  // The store that holds `table`: the connection's own for #temporary tables.
  TableStore& StoreFor(const std::string& table);
  // The lock table's name for `table` (temporary tables are the connection's own).
  std::string LockKey(const std::string& table) const;
  // Page counts of one table or of every table of the current database.
  TablePages CountPages(const TableDefinition& table);
  std::map<std::string, TablePages> CountDatabasePages();
  // Counts a table's pages afresh after rows went or changed size.
  void Recount(const TableDefinition& table);
  TableDefinition RequireTable(const std::string& name);
  // Takes a lock on `table` of the current database for this connection,
  // waiting for other connections as ASE does; a cancel from the client ends
  // the wait with BatchCancelled.
  void TakeLock(const std::string& table, LockMode mode, PacketChannel& out);
  // Waits until no other connection holds `table` exclusively.
  void WaitUntilReadable(const std::string& table, PacketChannel& out);
  // Refuses a statement ASE does not allow inside a transaction (2762).
  void RefuseInTransaction(const char* command) const;
  // Ends the open transaction, if any, and gives up every lock.
  void EndTransaction();

  const ServerConfig& config_;
  int spid_;
  std::string user_;
  std::string database_;
  std::unique_ptr<TableStore> store_;
  // #temporary tables: in memory, gone when the connection ends, whatever the database.
  std::unique_ptr<TableStore> temp_store_;
  std::size_t text_size_;
  std::int64_t last_row_count_ = 0;
  bool quoted_identifier_ = false;  // takes effect from the next batch, as in ASE
  int trancount_ = 0;               // @@trancount: BEGIN TRANs not yet committed
  int isolation_ = 1;               // SET TRANSACTION ISOLATION LEVEL, 1 as in ASE
  // The tables the batch under way was compiled against, by name: ASE
  // resolves a batch's tables when it compiles it, and its INSERTs, UPDATEs,
  // DELETEs and SELECTs use what it found. Forgotten at every other statement
  // (one may create, drop or change a table) and when the batch ends.
  std::map<std::string, TableDefinition> compiled_;
};

}  // namespace vq::ase_server
