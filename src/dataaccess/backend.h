// What a database backend implements so that DatabaseSession and RecordSet can
// stand on it. The Access engine and the ASE client each provide one; tests may
// register a double of their own.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "dataaccess/value.h"

namespace vq {

// ADO constants the program uses.
inline constexpr int kAdUseServer = 2;       // CursorLocation: server-side cursors
inline constexpr int kAdUseClient = 3;       // CursorLocation: client-side cursors
inline constexpr int kAdModeUnknown = 0;     // Mode: the provider's default
inline constexpr int kAdModeReadWrite = 3;   // Mode: read and write
inline constexpr int kAdSchemaTables = 20;   // OpenSchema: the tables catalogue
inline constexpr int kAdOpenStatic = 3;      // RecordSet cursor type
inline constexpr int kAdLockOptimistic = 3;  // RecordSet lock type

// One column of a result: its name, ADO type code and, where known, its shape.
struct FieldInfo {
  std::string name;
  int type = 0;              // ADO data type code (adInteger = 3, adVarWChar = 202, ...)
  int64_t defined_size = 0;  // characters for text, bytes for binary; 0 when unbounded
  uint8_t precision = 0;
  uint8_t scale = 0;
  bool nullable = true;  // false where the column requires a value
  // The column's place (from 1) in its table's primary key; 0 when it is not
  // part of one, or the backend does not say.
  int key_position = 0;
};

// Properties set on a session before it is opened.
struct SessionOptions {
  int cursor_location = kAdUseServer;
  int mode = kAdModeUnknown;
};

// How a RecordSet asked for its rows; backends may ignore what they cannot honour.
struct QueryOptions {
  int cursor_location = kAdUseServer;
  int cursor_type = -1;  // -1: not given
  int lock_type = -1;
};

// The rows of one result, read forward once. Implementations stream where they
// can; RowCount() must be exact whatever the cursor location.
class Cursor {
 public:
  virtual ~Cursor() = default;
  // The result's columns, fixed for its life.
  virtual const std::vector<FieldInfo>& Columns() const = 0;
  // Replaces `row` with the next row's values (one per column); false past the end.
  virtual bool Fetch(std::vector<Value>& row) = 0;
  // The exact number of rows in the whole result, fetched or not.
  virtual int64_t RowCount() = 0;
};

// An open connection of one backend.
class Connection {
 public:
  virtual ~Connection() = default;
  // Carries out one statement at once; any rows it produces are discarded.
  virtual void Execute(const std::string& sql) = 0;
  // Carries out `statements` as one command where the backend can, each
  // one's failure in `outcomes` (null for a success). Returns how many of the
  // first statements were carried out or refused; the rest were not sent and
  // must go one at a time. A backend without such commands sends none.
  virtual size_t ExecuteBatch(const std::vector<std::string_view>& statements,
                              std::vector<std::exception_ptr>& outcomes) {
    outcomes.assign(statements.size(), nullptr);
    return 0;
  }
  // The catalogue `schema` (only kAdSchemaTables is required): at least the
  // columns TABLE_NAME and TABLE_TYPE.
  virtual std::unique_ptr<Cursor> OpenSchema(int schema) = 0;
  // The rows of a query.
  virtual std::unique_ptr<Cursor> Query(const std::string& sql, const QueryOptions& options) = 0;
  // Whether CREATE TABLE here takes a column of `sql_type` (upper case, as
  // "BIGINT"), for callers choosing between a type and a wider fallback.
  virtual bool TakesColumnType(std::string_view sql_type) const {
    (void)sql_type;
    return true;
  }
  // Releases the connection; later calls may fail.
  virtual void Close() = 0;
};

// Opens a connection for a provider. Throws DatabaseError when it cannot.
using ProviderFactory = std::function<std::unique_ptr<Connection>(
    const std::string& connection_string, const SessionOptions& options)>;

// The providers known by name (case-insensitive), as "Provider=" names them.
class ProviderRegistry {
 public:
  // The process-wide registry, with the built-in providers already in it.
  static ProviderRegistry& Global();

  // Adds or replaces the provider called `name`.
  void Register(const std::string& name, ProviderFactory factory);
  // Removes the provider called `name`, if present.
  void Unregister(std::string_view name);
  // The factory for `name`, or an empty function when there is none.
  ProviderFactory Find(std::string_view name) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, ProviderFactory>> providers_;
};

// Puts the program's real providers into `registry`. Defined beside the
// providers themselves.
void RegisterStandardProviders(ProviderRegistry& registry);

}  // namespace vq
