#include "ase/ase_result.h"

#include <cstring>
#include <string>
#include <variant>

#include "ase/ase_result_internal.h"

namespace vq::ase {

// ---- ResultReader ----------------------------------------------------------

ResultReader::ResultReader(std::shared_ptr<detail::ActiveResult> result)
    : result_(std::move(result)) {}

ResultReader::~ResultReader() = default;

const std::vector<Column>& ResultReader::Columns() const {
  return result_->Columns();
}

bool ResultReader::Next(std::vector<Value>& row) {
  return result_->Next(row);
}

namespace detail {
namespace {

constexpr CS_INT kChunk = 64 * 1024;

// The value of type T the library wrote into a bound column's buffer.
template <class T>
T Load(const unsigned char* buffer) {
  T v;
  std::memcpy(&v, buffer, sizeof v);
  return v;
}

// The text columns of `row` that hold a '?', the library's stand-in for what it
// could not convert; all its text columns when none does.
std::string SuspectColumns(const std::vector<Column>& columns, const std::vector<Value>& row) {
  std::string with_mark, texts;
  for (size_t i = 0; i < columns.size() && i < row.size(); ++i) {
    const auto* text = std::get_if<std::string>(&row[i]);
    if (text == nullptr) continue;
    std::string& list = text->find('?') != std::string::npos ? with_mark : texts;
    list += (list.empty() ? "" : ", ") + columns[i].name;
  }
  return with_mark.empty() ? texts : with_mark;
}

}  // namespace

// ---- ActiveResult ----------------------------------------------------------

ActiveResult::ActiveResult(std::shared_ptr<Link> link, CS_COMMAND* cmd)
    : link_(std::move(link)), cmd_(cmd), streaming_(cmd != nullptr) {}

ActiveResult::~ActiveResult() {
  if (cmd_ != nullptr) {
    // Rows left unread: tell the server to stop sending them.
    ct_cancel(nullptr, cmd_, CS_CANCEL_ALL);
    DropCommand();
  }
  if (link_) link_->Release(this);
}

void ActiveResult::DropCommand() {
  if (cmd_ != nullptr) ct_cmd_drop(cmd_);
  cmd_ = nullptr;
  streaming_ = false;
}

void ActiveResult::Describe() {
  CS_INT count = 0;
  if (ct_res_info(cmd_, CS_NUMDATA, &count, CS_UNUSED, nullptr) != CS_SUCCEED || count < 0) {
    throw link_->Failure("reading the result's columns");
  }
  columns_.resize(static_cast<size_t>(count));
  slots_ = std::make_unique<Slot[]>(static_cast<size_t>(count));
  for (CS_INT i = 0; i < count; ++i) {
    CS_DATAFMT fmt;
    std::memset(&fmt, 0, sizeof fmt);
    if (ct_describe(cmd_, i + 1, &fmt) != CS_SUCCEED) {
      throw link_->Failure("reading the result's columns");
    }
    Column& col = columns_[i];
    size_t namelen = fmt.namelen > 0 ? std::min<size_t>(fmt.namelen, sizeof fmt.name)
                                     : strnlen(fmt.name, sizeof fmt.name);
    col.name.assign(fmt.name, namelen);
    col.cs_datatype = fmt.datatype;
    col.user_type = fmt.usertype;
    col.max_length = fmt.maxlength;
    col.precision = fmt.precision;
    col.scale = fmt.scale;
    col.nullable = (fmt.status & CS_CANBENULL) != 0;
    Slot& slot = slots_[i];
    slot.mapping = MapColumnType(fmt.datatype, fmt.usertype);
    col.ado_type = slot.mapping.ado_type;

    CS_DATAFMT bind;
    std::memset(&bind, 0, sizeof bind);
    bind.count = 1;
    bind.format = CS_FMT_UNUSED;
    switch (slot.mapping.read_as) {
      case ReadAs::kInteger:
        bind.datatype = CS_BIGINT_TYPE;
        bind.maxlength = sizeof(CS_BIGINT);
        break;
      case ReadAs::kUnsignedBigInt:
        bind.datatype = CS_UBIGINT_TYPE;
        bind.maxlength = sizeof(CS_UBIGINT);
        break;
      case ReadAs::kFloat:
        bind.datatype = CS_FLOAT_TYPE;
        bind.maxlength = sizeof(CS_FLOAT);
        break;
      case ReadAs::kReal:
        bind.datatype = CS_REAL_TYPE;
        bind.maxlength = sizeof(CS_REAL);
        break;
      case ReadAs::kBit:
        bind.datatype = CS_BIT_TYPE;
        bind.maxlength = sizeof(CS_BIT);
        break;
      case ReadAs::kMoney:
        bind.datatype = CS_MONEY_TYPE;
        bind.maxlength = sizeof(CS_MONEY);
        break;
      case ReadAs::kDecimalText:
      case ReadAs::kConvertedText:
        bind.datatype = CS_CHAR_TYPE;
        bind.format = CS_FMT_NULLTERM;
        bind.maxlength = sizeof slot.buffer;
        break;
      case ReadAs::kDateTime:
        bind.datatype = CS_DATETIME_TYPE;
        bind.maxlength = sizeof(CS_DATETIME);
        break;
      case ReadAs::kDate:
        bind.datatype = CS_DATE_TYPE;
        bind.maxlength = sizeof(CS_DATE);
        break;
      case ReadAs::kTime:
        bind.datatype = CS_TIME_TYPE;
        bind.maxlength = sizeof(CS_TIME);
        break;
      case ReadAs::kBigDateTime:
        bind.datatype = CS_BIGDATETIME_TYPE;
        bind.maxlength = sizeof(CS_BIGDATETIME);
        break;
      case ReadAs::kBigTime:
        bind.datatype = CS_BIGTIME_TYPE;
        bind.maxlength = sizeof(CS_BIGTIME);
        break;
      case ReadAs::kText:
      case ReadAs::kBytes:
        continue;  // copied whole with ct_get_data at each row
    }
    if (ct_bind(cmd_, i + 1, &bind, slot.buffer, &slot.copied, &slot.indicator) != CS_SUCCEED) {
      throw link_->Failure("binding column " + col.name);
    }
    slot.bound = true;
  }
}

bool ActiveResult::Next(std::vector<Value>& row) {
  if (!buffered_.empty()) {
    Buffered next = std::move(buffered_.front());
    buffered_.pop_front();
    if (next.unreadable) throw *next.unreadable;
    row = std::move(next.row);
    return true;
  }
  if (deferred_) {
    AseError error = *deferred_;
    deferred_.reset();
    throw error;
  }
  if (!streaming_) return false;
  std::optional<AseError> unreadable;
  const bool fetched = FetchFromServer(row, unreadable);
  if (unreadable) throw *unreadable;
  return fetched;
}

bool ActiveResult::FetchFromServer(std::vector<Value>& row, std::optional<AseError>& unreadable) {
  // The diagnostics are kept from the statement's start: the library may
  // report a fault while reading ahead, before the fetch that fails on it.
  CS_INT rows = 0;
  CS_RETCODE rc = ct_fetch(cmd_, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rows);
  if (rc == CS_SUCCEED) {
    row.clear();
    row.reserve(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) row.push_back(ReadColumn(static_cast<int>(i)));
    ++rows_read_;
    Diagnostics& diag = link_->Diag();
    if (diag.lost_characters) {
      // The library converts a row's texts while it fetches the row.
      diag.lost_characters = false;
      unreadable = AseError(
          ErrorKind::kClient, kUnreadableRow,
          "row " + std::to_string(rows_read_) + " of the result could not be read: server " +
              link_->ServerName() + " sent characters in column " + SuspectColumns(columns_, row) +
              " that are not valid in the server's character set, so the client library could "
              "not convert them (it puts '?' in their place). The row is not read; the rows "
              "after it are.");
      row.clear();
    }
    return true;
  }
  if (rc == CS_END_DATA) {
    Finish();
    return false;
  }
  AseError error =
      rc == CS_ROW_FAIL
          ? AseError(ErrorKind::kClient, 0,
                     "a value of row " + std::to_string(rows_read_ + 1) + " could not be converted")
          : link_->Failure("reading the rows");
  if (rc == CS_FAIL) link_->Diag().broken = link_->Diag().broken || !link_->Diag().timed_out;
  ct_cancel(nullptr, cmd_, CS_CANCEL_ALL);
  DropCommand();
  link_->Release(this);
  throw error;
}

Value ActiveResult::ReadColumn(int index) {
  const Slot& slot = slots_[index];
  if (!slot.bound) return ReadWhole(index, slot);
  if (slot.indicator == -1) return std::monostate{};
  const unsigned char* b = slot.buffer;
  switch (slot.mapping.read_as) {
    case ReadAs::kInteger:
      return static_cast<int64_t>(Load<CS_BIGINT>(b));
    case ReadAs::kUnsignedBigInt: {
      auto v = Load<CS_UBIGINT>(b);
      if (v <= static_cast<CS_UBIGINT>(INT64_MAX)) return static_cast<int64_t>(v);
      return Numeric{v, 0, false};
    }
    case ReadAs::kFloat:
      return static_cast<double>(Load<CS_FLOAT>(b));
    case ReadAs::kReal:
      return DoubleFromReal(Load<CS_REAL>(b));
    case ReadAs::kBit:
      return b[0] != 0;
    case ReadAs::kMoney: {
      auto v = Load<CS_MONEY>(b);
      return MoneyFromHalves(v.mnyhigh, v.mnylow);
    }
    case ReadAs::kDecimalText:
      return NumericFromText(
          std::string_view(reinterpret_cast<const char*>(b),
                           strnlen(reinterpret_cast<const char*>(b), sizeof slot.buffer)));
    case ReadAs::kConvertedText:
      return std::string(reinterpret_cast<const char*>(b),
                         strnlen(reinterpret_cast<const char*>(b), sizeof slot.buffer));
    case ReadAs::kDateTime: {
      auto v = Load<CS_DATETIME>(b);
      return DateTimeFromDaysTicks(v.dtdays, v.dttime);
    }
    case ReadAs::kDate:
      return DateFromDays(Load<CS_DATE>(b));
    case ReadAs::kTime:
      return TimeFromTicks(Load<CS_TIME>(b));
    case ReadAs::kBigDateTime:
      return DateTimeFromBigMicros(Load<CS_BIGDATETIME>(b));
    case ReadAs::kBigTime:
      return TimeFromBigMicros(Load<CS_BIGTIME>(b));
    case ReadAs::kText:
    case ReadAs::kBytes:
      break;
  }
  return std::monostate{};
}

Value ActiveResult::ReadWhole(int index, const Slot& slot) {
  std::string data;
  if (chunk_.size() < static_cast<size_t>(kChunk)) chunk_.resize(static_cast<size_t>(kChunk));
  for (;;) {
    CS_INT got = 0;
    CS_RETCODE rc = ct_get_data(cmd_, index + 1, chunk_.data(), kChunk, &got);
    if (got > 0) data.append(chunk_.data(), static_cast<size_t>(got));
    if (rc == CS_END_ITEM || rc == CS_END_DATA) break;
    if (rc != CS_SUCCEED) throw link_->Failure("reading column " + columns_[index].name);
  }
  if (data.empty()) {
    // The length the library holds for the value is negative for NULL. (The
    // text pointer cannot tell: FreeTDS keeps the previous row's for a NULL.)
    CS_IODESC io;
    std::memset(&io, 0, sizeof io);
    bool is_null = ct_data_info(cmd_, CS_GET, index + 1, &io) != CS_SUCCEED || io.total_txtlen < 0;
    if (is_null || !slot.mapping.is_long) return std::monostate{};
  }
  if (slot.mapping.read_as == ReadAs::kBytes) {
    return Bytes{std::vector<uint8_t>(data.begin(), data.end())};
  }
  return data;
}

void ActiveResult::Finish() {
  // The rows are done; read what follows (counts, later statements' errors).
  bool failed = link_->ReadResults(cmd_, false).failed;
  DropCommand();
  link_->Release(this);
  if (failed) throw link_->Failure("the query");
}

void ActiveResult::BufferRest() {
  try {
    while (streaming_) {
      Buffered next;
      if (!FetchFromServer(next.row, next.unreadable)) break;
      buffered_.push_back(std::move(next));
    }
  } catch (const AseError& e) {
    deferred_ = e;
  }
  if (cmd_ != nullptr) {
    ct_cancel(nullptr, cmd_, CS_CANCEL_ALL);
    DropCommand();
  }
  link_->Release(this);
}

void ActiveResult::Abandon() {
  if (cmd_ != nullptr) {
    ct_cancel(nullptr, cmd_, CS_CANCEL_ALL);
    DropCommand();
  }
  if (!deferred_) {
    deferred_ =
        AseError(ErrorKind::kClient, 0, "the connection was closed before all rows were read");
  }
  link_.reset();
}

}  // namespace detail
}  // namespace vq::ase
