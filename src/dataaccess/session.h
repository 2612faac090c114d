// DatabaseSession and RecordSet: the ADO-shaped surface every command uses.
//
//   DatabaseSession db;
//   db.SetCursorLocation(kAdUseClient);
//   db.Open(BuildAccessConnectionString("", ""));
//   RecordSet rs;
//   rs.Open("SELECT * FROM `Orders`", db, kAdOpenStatic, kAdLockOptimistic);
//   while (!rs.Eof()) { ... rs.Fields().Item(0).Value() ...; rs.MoveNext(); }
//   rs.Close(); db.Close();
//
// Every failure is a DatabaseError with a number and a description.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataaccess/backend.h"
#include "dataaccess/error.h"
#include "dataaccess/value.h"

namespace vq {

class RecordSet;

// One connection to one database, chosen by the "Provider=" of its connection string.
class DatabaseSession {
 public:
  DatabaseSession() = default;
  ~DatabaseSession();
  DatabaseSession(const DatabaseSession&) = delete;
  DatabaseSession& operator=(const DatabaseSession&) = delete;

  // kAdUseServer or kAdUseClient; takes effect at Open.
  void SetCursorLocation(int location);
  int CursorLocation() const { return options_.cursor_location; }
  // kAdModeReadWrite or the default; takes effect at Open.
  void SetMode(int mode);
  int Mode() const { return options_.mode; }

  // Opens the connection. A missing or unknown provider is error -2146824582.
  void Open(const std::string& connection_string);
  // Carries out one statement; no result is read.
  void Execute(const std::string& sql);
  // Carries out `statements` as one command where the backend can (see
  // Connection::ExecuteBatch); returns how many have an outcome in `outcomes`.
  size_t ExecuteBatch(const std::vector<std::string_view>& statements,
                      std::vector<std::exception_ptr>& outcomes);
  // Whether the open database's CREATE TABLE takes a column of `sql_type`
  // (see Connection::TakesColumnType). REQUIRES: IsOpen().
  bool TakesColumnType(std::string_view sql_type);
  // The catalogue `schema`; 20 is the tables catalogue.
  RecordSet OpenSchema(int schema);
  // Releases the connection. Closing a closed session does nothing.
  void Close();

  bool IsOpen() const { return connection_ != nullptr; }
  // The open backend connection. REQUIRES: IsOpen().
  Connection& Backend();

 private:
  SessionOptions options_;
  std::unique_ptr<Connection> connection_;
};

// A view of one column of a RecordSet's current row.
class Field {
 public:
  const std::string& Name() const;
  int Type() const;
  // The current row's value; throws when there is no current row.
  const vq::Value& Value() const;
  const FieldInfo& Info() const;

 private:
  friend class Fields;
  Field(const RecordSet* rs, int index) : rs_(rs), index_(index) {}
  const RecordSet* rs_;
  int index_;
};

// The columns of a RecordSet, by position (from 0) or by name (any case).
class Fields {
 public:
  int Count() const;
  Field Item(int index) const;
  Field Item(std::string_view name) const;

 private:
  friend class RecordSet;
  explicit Fields(const RecordSet* rs) : rs_(rs) {}
  const RecordSet* rs_;
};

// One result set: the rows of a query or a catalogue, read forward.
class RecordSet {
 public:
  RecordSet();
  ~RecordSet();
  RecordSet(RecordSet&&) noexcept;
  RecordSet& operator=(RecordSet&&) noexcept;

  // Runs `sql` on `session`; the first row becomes current. The cursor and lock
  // types are accepted as ADO takes them (-1: not given).
  void Open(const std::string& sql, DatabaseSession& session, int cursor_type = -1,
            int lock_type = -1);
  // Takes the rows of an already opened cursor (used by OpenSchema).
  void Attach(std::unique_ptr<Cursor> cursor);

  // True past the last row (at once for an empty result). (ADO calls this EOF,
  // a name the C library keeps as a macro.)
  bool Eof() const;
  // Makes the next row current; past the end it is an error. When the fetch
  // fails, the error is thrown and the row stays unreadable (its values fail
  // to read, Eof stays false) until a later MoveNext fetches one.
  void MoveNext();
  vq::Fields Fields() const { return vq::Fields(this); }
  // The exact number of rows of the result.
  int64_t RecordCount();
  // Releases the rows; the RecordSet can be opened again.
  void Close();
  bool IsOpen() const { return cursor_ != nullptr; }

 private:
  friend class Field;
  friend class Fields;
  void RequireOpen() const;
  int IndexOf(std::string_view name) const;
  // Fetches the next row into row_; on failure leaves no readable row.
  void FetchRow();

  std::unique_ptr<Cursor> cursor_;
  std::vector<vq::Value> row_;
  bool eof_ = true;
  bool row_readable_ = false;  // row_ holds the current row, fetched whole
  // Why the current row cannot be read, when the cursor passed it damaged.
  std::string row_error_;
  int32_t row_error_number_ = 0;
};

}  // namespace vq
