// The engine's one failure type: a number and a message.
//
// The numbers follow the ADO convention the layers above report, so a caller
// can pass them on unchanged; the engine itself knows nothing of those layers.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace jet {

// Error numbers the engine raises.
namespace error_numbers {
inline constexpr int32_t kCorrupt = -2147467259;       // damaged or unreadable file
inline constexpr int32_t kBadPassword = -2147217843;   // wrong or missing database password
inline constexpr int32_t kNoSuchTable = -2147217865;   // table not in the catalogue
inline constexpr int32_t kSyntaxError = -2147217900;   // statement not understood
inline constexpr int32_t kNotSupported = -2146825037;  // valid request the engine cannot do yet
inline constexpr int32_t kReadOnly = -2147217911;      // the file or its folder cannot be written
inline constexpr int32_t kFileInUse = -2147467259;     // another program is changing the file
inline constexpr int32_t kDiskFull = -2147467259;      // a write or sync failed
inline constexpr int32_t kDatabaseFull = -2147467259;  // the format's size limit is reached
inline constexpr int32_t kTableExists = -2147217900;   // CREATE TABLE of a name already taken
inline constexpr int32_t kBadName = -2147217900;       // a name Access does not accept
inline constexpr int32_t kDuplicateKey = -2147217873;  // a unique index already holds the key
inline constexpr int32_t kTypeMismatch = -2147217913;  // a value of the wrong kind for its column
inline constexpr int32_t kOutOfRange = -2147217833;    // a value or row too large for where it goes
// Creating a database where a file already is.
inline constexpr int32_t kDatabaseExists = -2147217897;
// A value that cannot become its column's type.
inline constexpr int32_t kDataTypeMismatch = -2147217913;
// A value too large, or text or bytes too long, for its column.
inline constexpr int32_t kDataOverflow = -2147217833;
// A rule of the table broken, such as NULL in a column that requires a value.
inline constexpr int32_t kIntegrityViolation = -2147217873;
}  // namespace error_numbers

// A failure inside the engine.
class JetError : public std::runtime_error {
 public:
  JetError(int32_t number, const std::string& message)
      : std::runtime_error(message), number_(number) {}
  int32_t Number() const { return number_; }

 private:
  int32_t number_;
};

// A failure because the file is damaged: what it says about itself cannot be
// trusted, so nothing more is written to it.
class DamagedFile : public JetError {
 public:
  using JetError::JetError;
};

// A save (a checkpoint) that could not be written: a full disk, an I/O error,
// a file changed by another program. The file still holds what the last save
// left, and every statement since that save has been undone in memory too;
// LostStatements() counts them, the statement that failed included.
class SaveFailed : public JetError {
 public:
  SaveFailed(int32_t number, const std::string& message, uint64_t lost_statements = 0)
      : JetError(number, message), lost_statements_(lost_statements) {}
  uint64_t LostStatements() const { return lost_statements_; }

 private:
  uint64_t lost_statements_;
};

// Throws a kCorrupt error with `message`.
[[noreturn]] inline void ThrowCorrupt(const std::string& message) {
  throw DamagedFile(error_numbers::kCorrupt, "The database file is damaged: " + message);
}

}  // namespace jet
