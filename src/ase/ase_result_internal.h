// The result of a command while its rows come in. Private to src/ase.
#pragma once

#include <ctpublic.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ase/ase_ctlib.h"
#include "ase/ase_result.h"
#include "ase/ase_types.h"

namespace vq::ase::detail {

// One row result on its way from the server, or (cmd null) an empty one.
class ActiveResult {
 public:
  // Takes over `cmd` (null for a statement without rows) on `link`.
  ActiveResult(std::shared_ptr<Link> link, CS_COMMAND* cmd);
  ~ActiveResult();
  ActiveResult(const ActiveResult&) = delete;
  ActiveResult& operator=(const ActiveResult&) = delete;

  // Reads the column descriptions and binds the fixed-size columns. Throws AseError.
  void Describe();
  const std::vector<Column>& Columns() const { return columns_; }
  // The next row; false past the end. Throws AseError.
  bool Next(std::vector<Value>& row);
  // Takes every row not yet read into memory and frees the connection, so that
  // another statement can run. A failure is kept and thrown by Next.
  void BufferRest();
  // The connection is closing: the rows not yet read are lost.
  void Abandon();

 private:
  // Where a bound column's value lands at each fetch.
  struct Slot {
    TypeMapping mapping{};
    bool bound = false;
    alignas(8) unsigned char buffer[1024];
    CS_INT copied = 0;
    CS_SMALLINT indicator = 0;
  };

  // One row kept in memory, or why it could not be read.
  struct Buffered {
    std::vector<Value> row;
    std::optional<AseError> unreadable;
  };

  // Fetches the next row; false past the end. A row that lost characters on
  // the way is read to its end, so that the rows after it still come, and
  // `unreadable` says why it cannot be used. Throws AseError when the rows end
  // in a failure.
  bool FetchFromServer(std::vector<Value>& row, std::optional<AseError>& unreadable);
  Value ReadColumn(int index);
  Value ReadWhole(int index, const Slot& slot);
  // Reads the results after the rows and frees the command. Throws AseError.
  void Finish();
  void DropCommand();

  std::shared_ptr<Link> link_;
  CS_COMMAND* cmd_;
  std::vector<Column> columns_;
  std::unique_ptr<Slot[]> slots_;
  // ct_get_data's buffer for long values, made once: a fresh zeroed 64 KB
  // for every text and image value of every row was most of a row's reading.
  std::string chunk_;
  std::deque<Buffered> buffered_;
  std::optional<AseError> deferred_;
  bool streaming_ = false;
  long long rows_read_ = 0;
};

}  // namespace vq::ase::detail
