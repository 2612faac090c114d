#include "dataaccess/ase_provider.h"

#include <algorithm>
#include <optional>

#include "ase/ase_connection.h"
#include "ase/ase_error.h"
#include "common/ascii.h"
#include "dataaccess/error.h"
#include "dataaccess/memory_cursor.h"

namespace vq {
namespace {

// ADO's "Query timeout expired" (DB_E_ABORTLIMITREACHED).
constexpr int32_t kTimeoutExpired = -2147217871;
// ASE's "object not found", and its "cannot drop the table, because it
// doesn't exist": both say the table is not there.
constexpr int kAseObjectNotFound = 208;
constexpr int kAseNoTableToDrop = 3701;
// ASE's duplicate key in a unique index, and in a unique or primary key
// constraint; ADO's "would violate the integrity" (DB_E_INTEGRITYVIOLATION).
constexpr int kAseDuplicateKey = 2601;
constexpr int kAseDuplicateKeyConstraint = 2627;
constexpr int32_t kIntegrityViolation = -2147217873;

// The data-access error for an ASE client error: ADO's number for the kind of
// failure, the client's text (with the server's message number in it) as description.
DatabaseError Translate(const ase::AseError& e) {
  switch (e.Kind()) {
    case ase::ErrorKind::kLoginRefused:
      return DatabaseError(errors::kLoginFailed, e.what());
    case ase::ErrorKind::kServer:
      if (e.Number() == kAseDuplicateKey || e.Number() == kAseDuplicateKeyConstraint) {
        return DatabaseError(kIntegrityViolation, e.what(), e.Number());
      }
      return DatabaseError(e.Number() == kAseObjectNotFound || e.Number() == kAseNoTableToDrop
                               ? errors::kNoSuchTable
                               : errors::kSyntaxError,
                           e.what(), e.Number());
    case ase::ErrorKind::kTimeout:
      return DatabaseError(kTimeoutExpired, e.what());
    case ase::ErrorKind::kConnect:
    case ase::ErrorKind::kClient:
      break;
  }
  return DatabaseError(errors::kUnspecified, e.what());
}

// Runs `f`, turning the client's errors into the layer's.
template <class F>
auto Translated(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const ase::AseError& e) {
    throw Translate(e);
  }
}

Value ToValue(ase::Value&& v) {
  struct Visitor {
    Value operator()(std::monostate) const { return std::monostate{}; }
    Value operator()(bool b) const { return b; }
    Value operator()(int64_t i) const { return i; }
    Value operator()(double d) const { return d; }
    Value operator()(const ase::Money& m) const { return Currency{m.ten_thousandths}; }
    Value operator()(const ase::Numeric& n) const {
      return Decimal{n.magnitude, n.scale, n.negative};
    }
    Value operator()(const ase::DateTime& t) const {
      return DateTime{t.year, t.month, t.day, t.hour, t.minute, t.second, t.nanosecond};
    }
    Value operator()(std::string& s) const { return std::move(s); }
    Value operator()(ase::Bytes& b) const { return Bytes{std::move(b.data)}; }
  };
  return std::visit(Visitor{}, v);
}

// `char_factor`: how many bytes the client library counts for each byte of a
// character column, since it sizes them for their UTF-8 form (see
// AseConnection::CharFactor).
std::vector<FieldInfo> ToFields(const std::vector<ase::Column>& columns, int char_factor) {
  std::vector<FieldInfo> out;
  out.reserve(columns.size());
  for (const auto& c : columns) {
    FieldInfo f;
    f.name = c.name;
    f.type = c.ado_type;
    f.nullable = c.nullable;
    if (c.ado_type == 131 || c.ado_type == 14) {
      f.precision = static_cast<uint8_t>(c.precision);
      f.scale = static_cast<uint8_t>(c.scale);
    } else if (c.max_length > 0 && c.max_length < (1 << 30)) {
      f.defined_size = c.max_length;
      // The client library sizes unichar and univarchar for their UTF-8 form,
      // four bytes a UTF-16 unit; their own size is two bytes a unit.
      if (c.ado_type == 130 || c.ado_type == 202) f.defined_size = c.max_length / 2;
      if ((c.ado_type == 129 || c.ado_type == 200) && char_factor > 1) {
        f.defined_size = std::max<int64_t>(1, c.max_length / char_factor);
      }
    }
    out.push_back(std::move(f));
  }
  return out;
}

// The transaction that keeps a streamed table as it was counted. The count
// runs with HOLDLOCK inside it, so the shared lock it takes on the table lasts
// until the transaction ends: no other client can add or remove rows while
// they stream, and the count and the rows agree. It ends when the last row has
// been read, when the cursor goes, or when the connection is needed for another
// statement (the rows not yet read are then taken into memory first).
class HeldRead {
 public:
  explicit HeldRead(std::shared_ptr<ase::Connection> connection)
      : connection_(std::move(connection)) {}
  // Commits the transaction, once; a closed connection has nothing left to commit.
  void End() {
    if (!open_) return;
    open_ = false;
    if (connection_->IsOpen()) connection_->Execute("commit tran");
  }

 private:
  std::shared_ptr<ase::Connection> connection_;
  bool open_ = true;
};

// Rows read from the server as they are asked for, with the count the server
// gave just before under the same lock. Once the last row is read the count is
// the number of rows actually delivered, whatever happened.
class StreamingCursor : public Cursor {
 public:
  StreamingCursor(std::unique_ptr<ase::ResultReader> reader, int64_t count,
                  std::shared_ptr<HeldRead> held, int char_factor)
      : reader_(std::move(reader)),
        columns_(ToFields(reader_->Columns(), char_factor)),
        count_(count),
        held_(std::move(held)) {}
  ~StreamingCursor() override {
    // Stop the rows first: the commit needs the connection.
    reader_.reset();
    try {
      held_->End();
    } catch (...) {
      // A connection that fails now has lost the transaction with it.
    }
  }
  const std::vector<FieldInfo>& Columns() const override { return columns_; }
  bool Fetch(std::vector<Value>& row) override {
    if (done_) return false;
    bool more = false;
    try {
      more = reader_->Next(raw_);
    } catch (const ase::AseError& e) {
      if (e.Kind() != ase::ErrorKind::kClient || e.Number() != ase::kUnreadableRow)
        throw Translate(e);
      ++delivered_;  // passed, and counted, but not given
      const DatabaseError d = Translate(e);
      throw UnreadableRow(d.Number(), d.Description());
    }
    if (!more) {
      done_ = true;
      count_ = delivered_;
      Translated([&] { held_->End(); });
      return false;
    }
    ++delivered_;
    row.clear();
    row.reserve(raw_.size());
    for (auto& v : raw_) row.push_back(ToValue(std::move(v)));
    return true;
  }
  int64_t RowCount() override { return count_; }

 private:
  std::unique_ptr<ase::ResultReader> reader_;
  std::vector<FieldInfo> columns_;
  std::vector<ase::Value> raw_;
  int64_t count_;
  int64_t delivered_ = 0;
  bool done_ = false;
  std::shared_ptr<HeldRead> held_;
};

std::unique_ptr<MemoryCursor> ReadAll(ase::ResultReader& reader, int char_factor) {
  std::vector<std::vector<Value>> rows;
  std::vector<ase::Value> raw;
  while (reader.Next(raw)) {
    std::vector<Value> row;
    row.reserve(raw.size());
    for (auto& v : raw) row.push_back(ToValue(std::move(v)));
    rows.push_back(std::move(row));
  }
  return std::make_unique<MemoryCursor>(ToFields(reader.Columns(), char_factor), std::move(rows));
}

FieldInfo TextField(const char* name, bool nullable) {
  FieldInfo f;
  f.name = name;
  f.type = 202;  // adVarWChar, as ADO's tables schema has it
  f.nullable = nullable;
  return f;
}

class AseConnection : public Connection {
 public:
  AseConnection(std::unique_ptr<ase::Connection> connection, std::string catalog)
      : connection_(std::move(connection)), catalog_(std::move(catalog)) {}
  ~AseConnection() override {
    try {
      EndHeldRead();
    } catch (...) {
      // The connection goes anyway; the server ends the transaction with it.
    }
  }

  void Execute(const std::string& sql) override {
    Translated([&] {
      EndHeldRead();
      connection_->Execute(sql);
    });
  }

  size_t ExecuteBatch(const std::vector<std::string_view>& statements,
                      std::vector<std::exception_ptr>& outcomes) override {
    outcomes.assign(statements.size(), nullptr);
    std::vector<std::optional<ase::AseError>> results;
    const size_t known = Translated([&] {
      EndHeldRead();
      return connection_->ExecuteBatch(statements, results);
    });
    for (size_t i = 0; i < known && i < results.size(); ++i) {
      if (results[i]) outcomes[i] = std::make_exception_ptr(Translate(*results[i]));
    }
    return known;
  }

  std::unique_ptr<Cursor> OpenSchema(int schema) override {
    if (schema != kAdSchemaTables) {
      throw DatabaseError(errors::kNotSupported,
                          "Object or provider is not capable of performing requested operation. "
                          "(schema " +
                              std::to_string(schema) + ")");
    }
    return Translated([&]() -> std::unique_ptr<Cursor> {
      EndHeldRead();
      auto reader = connection_->Query(kAseTablesCatalogueSql);
      std::vector<std::vector<Value>> rows;
      std::vector<ase::Value> raw;
      Value catalog = catalog_.empty() ? Value{} : Value{catalog_};
      while (reader->Next(raw)) {
        if (raw.size() < 2) continue;
        auto* name = std::get_if<std::string>(&raw[0]);
        auto* code = std::get_if<std::string>(&raw[1]);
        if (name == nullptr || code == nullptr) continue;
        auto type = AseTableType(*code);
        if (!type) continue;
        rows.push_back({catalog, Value{}, Value{*name}, Value{*type}});
      }
      std::vector<FieldInfo> fields = {
          TextField("TABLE_CATALOG", true), TextField("TABLE_SCHEMA", true),
          TextField("TABLE_NAME", false), TextField("TABLE_TYPE", false)};
      return std::make_unique<MemoryCursor>(std::move(fields), std::move(rows));
    });
  }

  std::unique_ptr<Cursor> Query(const std::string& sql, const QueryOptions&) override {
    // Both cursor locations promise an exact count. A plain read of one table
    // is counted by the server and then streamed, so a large table never sits
    // in memory; the count holds the table's shared lock until the rows are
    // read (HeldRead), so they agree. Any other query is read whole.
    return Translated([&]() -> std::unique_ptr<Cursor> {
      EndHeldRead();
      const int factor = CharFactor();
      if (auto count_sql = AseCountQueryFor(sql)) {
        connection_->Execute("begin tran");
        auto held = std::make_shared<HeldRead>(connection_);
        try {
          int64_t count = CountRows(*count_sql + " holdlock");
          auto cursor =
              std::make_unique<StreamingCursor>(connection_->Query(sql), count, held, factor);
          held_ = held;
          return cursor;
        } catch (...) {
          try {
            held->End();
          } catch (...) {
            // The first failure is the one to report.
          }
          throw;
        }
      }
      auto reader = connection_->Query(sql);
      return ReadAll(*reader, factor);
    });
  }

  // The types that came with later servers: bigint and unitext with 15.0,
  // bigdatetime with 15.5 (ASE "What's New" of those versions). The version
  // is read from @@version once; a server that does not say is taken as older.
  bool TakesColumnType(std::string_view sql_type) const override {
    const int version = ServerVersion();
    const std::string type = ascii::Lowered(sql_type);
    if (type == "bigint" || type == "unitext") return version >= 1500;
    if (type == "bigdatetime" || type == "bigtime") return version >= 1550;
    return true;
  }

  void Close() override {
    Translated([&] {
      try {
        EndHeldRead();
      } catch (...) {
        connection_->Close();
        throw;
      }
      connection_->Close();
    });
  }

 private:
  int64_t CountRows(const std::string& count_sql) {
    auto reader = connection_->Query(count_sql);
    std::vector<ase::Value> row;
    int64_t count = 0;
    if (reader->Next(row) && !row.empty()) {
      if (auto* n = std::get_if<int64_t>(&row[0])) count = *n;
    }
    while (reader->Next(row)) {
    }
    return count;
  }

  // How the client library sizes character columns: converting from the
  // server's character set to UTF-8 it reports n bytes as n times the most
  // bytes a UTF-8 character may take over the fewest the server's set takes
  // (four on a single-byte server, one on a utf8 server, where nothing is
  // converted). A one-character literal shows the factor; it is asked once.
  int CharFactor() {
    if (char_factor_) return *char_factor_;
    char_factor_ = 1;
    try {
      auto reader = connection_->Query("select 'x'");
      if (!reader->Columns().empty()) char_factor_ = std::max(1, reader->Columns()[0].max_length);
      std::vector<ase::Value> row;
      while (reader->Next(row)) {
      }
    } catch (const ase::AseError&) {
      // Sizes are then taken as reported.
    }
    return *char_factor_;
  }

  // The server's version as major * 100 + minor * 10 ("15.7" is 1570), from
  // "Adaptive Server Enterprise/15.7/EBF ..."; 0 when it cannot be read.
  int ServerVersion() const {
    if (version_) return *version_;
    version_ = 0;
    try {
      // Asking is not changing anything, but it needs the connection free.
      const_cast<AseConnection*>(this)->EndHeldRead();
      auto reader = connection_->Query("select @@version");
      std::vector<ase::Value> row;
      std::string text;
      if (reader->Next(row) && !row.empty()) {
        if (auto* t = std::get_if<std::string>(&row[0])) text = *t;
      }
      while (reader->Next(row)) {
      }
      version_ = ParseAseVersion(text);
    } catch (const ase::AseError&) {
      // An older or other server: none of the later types.
    }
    return *version_;
  }

  // Ends the transaction of a streamed read still open on this connection.
  void EndHeldRead() {
    if (auto held = std::move(held_)) held->End();
  }

  std::shared_ptr<ase::Connection> connection_;
  std::string catalog_;
  std::shared_ptr<HeldRead> held_;      // the last streamed read's transaction
  mutable std::optional<int> version_;  // ServerVersion, once read
  std::optional<int> char_factor_;      // CharFactor, once read
};

}  // namespace

int ParseAseVersion(std::string_view version) {
  const size_t slash = version.find('/');
  if (slash == std::string_view::npos) return 0;
  size_t i = slash + 1;
  int major = 0, minor = 0;
  bool digits = false;
  while (i < version.size() && version[i] >= '0' && version[i] <= '9') {
    major = major * 10 + (version[i++] - '0');
    digits = true;
    if (major > 99) return 0;
  }
  if (!digits) return 0;
  if (i + 1 < version.size() && version[i] == '.' && version[i + 1] >= '0' &&
      version[i + 1] <= '9') {
    minor = version[i + 1] - '0';
  }
  return major * 100 + minor * 10;
}

std::unique_ptr<Connection> OpenAseConnection(const std::string& connection_string,
                                              const SessionOptions& options) {
  (void)options;  // both cursor locations are served alike; see Query
  AseConnectionRequest request = ParseAseConnectionString(connection_string);
  ase::ConnectOptions o;
  o.server = request.data_source;
  o.user = request.user;
  o.password = request.password;
  o.database = request.catalog;
  o.connect_timeout = request.connect_timeout;
  o.statement_timeout = request.command_timeout;
  return Translated([&]() -> std::unique_ptr<Connection> {
    return std::make_unique<AseConnection>(ase::Connection::Open(o), request.catalog);
  });
}

void RegisterAseProvider(ProviderRegistry& registry) {
  registry.Register(kAseProviderName, &OpenAseConnection);
}

}  // namespace vq
