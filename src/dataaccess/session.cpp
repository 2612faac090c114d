#include "dataaccess/session.h"

#include "dataaccess/connection_string.h"

namespace vq {

// ---- ProviderRegistry ------------------------------------------------------

ProviderRegistry& ProviderRegistry::Global() {
  static ProviderRegistry* registry = [] {
    auto* r = new ProviderRegistry;
    RegisterStandardProviders(*r);
    return r;
  }();
  return *registry;
}

void ProviderRegistry::Register(const std::string& name, ProviderFactory factory) {
  std::lock_guard lock(mutex_);
  for (auto& [n, f] : providers_) {
    if (EqualsIgnoreCase(n, name)) {
      f = std::move(factory);
      return;
    }
  }
  providers_.emplace_back(name, std::move(factory));
}

void ProviderRegistry::Unregister(std::string_view name) {
  std::lock_guard lock(mutex_);
  std::erase_if(providers_, [&](const auto& p) { return EqualsIgnoreCase(p.first, name); });
}

ProviderFactory ProviderRegistry::Find(std::string_view name) const {
  std::lock_guard lock(mutex_);
  for (const auto& [n, f] : providers_) {
    if (EqualsIgnoreCase(n, name)) return f;
  }
  return {};
}

// ---- DatabaseSession -------------------------------------------------------

namespace {
[[noreturn]] void ThrowClosed() {
  throw DatabaseError(errors::kObjectClosed, "Operation is not allowed when the object is closed.");
}
}  // namespace

DatabaseSession::~DatabaseSession() {
  try {
    Close();
  } catch (...) {
    // A failing close while unwinding must not take the program down.
  }
}

void DatabaseSession::SetCursorLocation(int location) {
  if (location != kAdUseServer && location != kAdUseClient) {
    throw DatabaseError(errors::kInvalidArgument,
                        "Arguments are of the wrong type, are out of acceptable range, or are in "
                        "conflict with one another.");
  }
  options_.cursor_location = location;
}

void DatabaseSession::SetMode(int mode) {
  options_.mode = mode;
}

void DatabaseSession::Open(const std::string& connection_string) {
  if (connection_) {
    throw DatabaseError(errors::kUnspecified, "Operation is not allowed when the object is open.");
  }
  auto cs = ConnectionString::Parse(connection_string);
  auto provider = cs.Get("Provider");
  if (!provider || provider->empty()) {
    throw DatabaseError(errors::kProviderNotFound,
                        "Provider cannot be found. It may not be properly installed. (no "
                        "Provider= in the connection string)");
  }
  ProviderFactory factory = ProviderRegistry::Global().Find(*provider);
  if (!factory) {
    throw DatabaseError(errors::kProviderNotFound,
                        "Provider cannot be found. It may not be "
                        "properly installed. (provider \"" +
                            *provider + "\")");
  }
  connection_ = factory(connection_string, options_);
  if (!connection_) {
    throw DatabaseError(errors::kUnspecified, "Provider \"" + *provider + "\" opened nothing.");
  }
}

void DatabaseSession::Execute(const std::string& sql) {
  Backend().Execute(sql);
}

size_t DatabaseSession::ExecuteBatch(const std::vector<std::string_view>& statements,
                                     std::vector<std::exception_ptr>& outcomes) {
  return Backend().ExecuteBatch(statements, outcomes);
}

bool DatabaseSession::TakesColumnType(std::string_view sql_type) {
  return Backend().TakesColumnType(sql_type);
}

RecordSet DatabaseSession::OpenSchema(int schema) {
  RecordSet rs;
  rs.Attach(Backend().OpenSchema(schema));
  return rs;
}

void DatabaseSession::Close() {
  if (!connection_) return;
  auto c = std::move(connection_);
  c->Close();
}

Connection& DatabaseSession::Backend() {
  if (!connection_) ThrowClosed();
  return *connection_;
}

// ---- RecordSet -------------------------------------------------------------

RecordSet::RecordSet() = default;
RecordSet::~RecordSet() = default;
RecordSet::RecordSet(RecordSet&&) noexcept = default;
RecordSet& RecordSet::operator=(RecordSet&&) noexcept = default;

void RecordSet::Open(const std::string& sql, DatabaseSession& session, int cursor_type,
                     int lock_type) {
  QueryOptions options;
  options.cursor_location = session.CursorLocation();
  options.cursor_type = cursor_type;
  options.lock_type = lock_type;
  Attach(session.Backend().Query(sql, options));
}

void RecordSet::Attach(std::unique_ptr<Cursor> cursor) {
  if (!cursor) throw DatabaseError(errors::kUnspecified, "The provider returned no rows object.");
  cursor_ = std::move(cursor);
  row_.clear();
  eof_ = false;
  FetchRow();
}

void RecordSet::FetchRow() {
  // Until the fetch has succeeded there is no current row: a fetch that fails
  // must leave nothing behind that reads as the row before it.
  // The values of the row before stay in row_ until the fetch replaces them,
  // so that text and byte values can reuse their storage.
  row_readable_ = false;
  row_error_.clear();
  try {
    eof_ = !cursor_->Fetch(row_);
  } catch (const UnreadableRow& e) {
    // The cursor is past the row: it is current, and its values fail to read
    // with the reason, so that a walk over the rows reports it and goes on.
    eof_ = false;
    row_.clear();
    row_error_ = e.what();
    row_error_number_ = e.Number();
    return;
  } catch (...) {
    row_.clear();
    throw;
  }
  if (eof_) row_.clear();
  row_readable_ = !eof_;
}

void RecordSet::RequireOpen() const {
  if (!cursor_) ThrowClosed();
}

bool RecordSet::Eof() const {
  RequireOpen();
  return eof_;
}

void RecordSet::MoveNext() {
  RequireOpen();
  if (eof_) {
    throw DatabaseError(errors::kEndOfRecordSet,
                        "Either BOF or EOF is True, or the current record has been deleted. "
                        "Requested operation requires a current record.");
  }
  FetchRow();
}

int64_t RecordSet::RecordCount() {
  RequireOpen();
  return cursor_->RowCount();
}

void RecordSet::Close() {
  RequireOpen();
  cursor_.reset();
  row_.clear();
  row_readable_ = false;
  eof_ = true;
}

int RecordSet::IndexOf(std::string_view name) const {
  RequireOpen();
  const auto& cols = cursor_->Columns();
  for (size_t i = 0; i < cols.size(); ++i) {
    if (EqualsIgnoreCase(cols[i].name, name)) return static_cast<int>(i);
  }
  throw DatabaseError(errors::kInvalidArgument,
                      "Item cannot be found in the collection corresponding to the requested name "
                      "or ordinal. (" +
                          std::string(name) + ")");
}

// ---- Fields and Field ------------------------------------------------------

int Fields::Count() const {
  rs_->RequireOpen();
  return static_cast<int>(rs_->cursor_->Columns().size());
}

Field Fields::Item(int index) const {
  if (index < 0 || index >= Count()) {
    throw DatabaseError(errors::kInvalidArgument,
                        "Item cannot be found in the collection corresponding to the requested "
                        "name or ordinal. (" +
                            std::to_string(index) + ")");
  }
  return Field(rs_, index);
}

Field Fields::Item(std::string_view name) const {
  return Field(rs_, rs_->IndexOf(name));
}

const FieldInfo& Field::Info() const {
  rs_->RequireOpen();
  return rs_->cursor_->Columns()[index_];
}

const std::string& Field::Name() const {
  return Info().name;
}
int Field::Type() const {
  return Info().type;
}

const Value& Field::Value() const {
  rs_->RequireOpen();
  if (!rs_->eof_ && !rs_->row_readable_ && !rs_->row_error_.empty())
    throw DatabaseError(rs_->row_error_number_, rs_->row_error_);
  if (!rs_->eof_ && !rs_->row_readable_) {
    throw DatabaseError(errors::kUnspecified,
                        "The current row could not be read: fetching it failed.");
  }
  if (rs_->eof_ || static_cast<size_t>(index_) >= rs_->row_.size()) {
    throw DatabaseError(errors::kEndOfRecordSet,
                        "Either BOF or EOF is True, or the current record has been deleted. "
                        "Requested operation requires a current record.");
  }
  return rs_->row_[index_];
}

}  // namespace vq
