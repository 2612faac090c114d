// The one failure type of the data-access layer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vq {

// ADO-style error numbers used across the layer.
namespace errors {
inline constexpr int32_t kUnspecified = -2147467259;       // E_FAIL
inline constexpr int32_t kProviderNotFound = -2146824582;  // provider cannot be found
inline constexpr int32_t kLoginFailed = -2147217843;       // refused login or wrong password
inline constexpr int32_t kNoSuchTable = -2147217865;       // object not found
inline constexpr int32_t kSyntaxError = -2147217900;       // statement not understood
inline constexpr int32_t kNotSupported = -2146825037;      // operation not supported
inline constexpr int32_t kInvalidArgument = -2146825287;   // arguments out of range or conflicting
inline constexpr int32_t kObjectClosed = -2146824584;      // operation not allowed when closed
inline constexpr int32_t kEndOfRecordSet = -2146825267;    // EOF or BOF is true
}  // namespace errors

// A failure of a database operation: a signed number (ADO's where ADO has one)
// and a description, usually the engine's or server's own message.
class DatabaseError : public std::runtime_error {
 public:
  DatabaseError(int32_t number, const std::string& description, int32_t native_number = 0)
      : std::runtime_error(description), number_(number), native_number_(native_number) {}

  int32_t Number() const { return number_; }
  std::string Description() const { return what(); }
  // The database's own number for the failure (an ASE message number), 0 when
  // it gave none: many of its failures share one ADO number.
  int32_t NativeNumber() const { return native_number_; }

 private:
  int32_t number_;
  int32_t native_number_;
};

// A row the cursor has passed but cannot give: its values are damaged (text
// the server sent in a form the client could not convert). The rows after it
// can still be read, so the record set moves on and only this row's values
// fail to read.
class UnreadableRow : public DatabaseError {
 public:
  using DatabaseError::DatabaseError;
};

// A database that cannot take changes: a save failed, or the file is damaged.
// A later change cannot be trusted to be kept, so callers that send many stop
// sending. LostStatements() counts the statements whose changes the failure
// undid, the failing one included: those since the database last saved (0
// for a damaged file, which takes no change at all).
class DatabaseNotWritable : public DatabaseError {
 public:
  DatabaseNotWritable(int32_t number, const std::string& description, int64_t lost_statements)
      : DatabaseError(number, description), lost_statements_(lost_statements) {}
  int64_t LostStatements() const { return lost_statements_; }

 private:
  int64_t lost_statements_;
};

}  // namespace vq
