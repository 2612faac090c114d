#include "dataaccess/access_provider.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "common/ascii.h"
#include "dataaccess/connection_string.h"
#include "dataaccess/error.h"
#include "dataaccess/memory_cursor.h"
#include "jet/database.h"
#include "jet/sql.h"

namespace vq {
namespace {

// ADO type codes of the columns this provider reports.
constexpr int kAdSmallInt = 2, kAdInteger = 3, kAdSingle = 4, kAdDouble = 5, kAdCurrency = 6,
              kAdDate = 7, kAdBoolean = 11, kAdUnsignedTinyInt = 17, kAdBigInt = 20, kAdGuid = 72,
              kAdNumeric = 131, kAdVarWChar = 202, kAdLongVarWChar = 203, kAdVarBinary = 204,
              kAdLongVarBinary = 205;

// Runs `body`, turning the engine's failures into the layer's: a failed save
// and a damaged file become DatabaseNotWritable, so callers stop sending.
template <typename F>
auto Translate(F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const jet::SaveFailed& e) {
    throw DatabaseNotWritable(e.Number(), e.what(), static_cast<int64_t>(e.LostStatements()));
  } catch (const jet::DamagedFile& e) {
    throw DatabaseNotWritable(e.Number(), e.what(), 0);
  } catch (const jet::JetError& e) {
    throw DatabaseError(e.Number(), e.what());
  } catch (const std::bad_alloc&) {
    throw DatabaseError(errors::kUnspecified, "Not enough memory to read the database.");
  }
}

// A calculated column is reported as its result type, the type its values have.
int AdoType(const jet::Column& c) {
  switch (jet::ValueType(c)) {
    case jet::kBool:
      return kAdBoolean;
    case jet::kByte:
      return kAdUnsignedTinyInt;
    case jet::kInt:
      return kAdSmallInt;
    case jet::kLong:
      return kAdInteger;
    case jet::kComplex:
      return kAdInteger;
    case jet::kMoney:
      return kAdCurrency;
    case jet::kFloat:
      return kAdSingle;
    case jet::kDouble:
      return kAdDouble;
    case jet::kDateTime:
      return kAdDate;
    case jet::kExtDateTime:
      return kAdDate;
    case jet::kText:
      return kAdVarWChar;
    case jet::kMemo:
      return kAdLongVarWChar;
    case jet::kOle:
      return kAdLongVarBinary;
    case jet::kGuid:
      return kAdGuid;
    case jet::kNumeric:
      return kAdNumeric;
    case jet::kBigInt:
      return kAdBigInt;
    default:
      return kAdVarBinary;
  }
}

// Bytes a calculated column's length counts beyond its value.
constexpr int kCalculatedOverhead = 23;

FieldInfo Describe(const jet::Column& c, bool jet3) {
  FieldInfo f;
  f.name = c.name;
  f.type = AdoType(c);
  const uint8_t type = jet::ValueType(c);
  if (c.IsCalculated()) {
    // The descriptor may be of another type than the result, so only a text
    // result's length means anything; a calculated decimal has the widest
    // precision, and any result may be missing.
    if (type == jet::kText && c.type == jet::kText)
      f.defined_size = std::max(0, c.length - kCalculatedOverhead) / 2;
    if (type == jet::kNumeric) {
      f.precision = 28;
      f.scale = c.type == jet::kNumeric ? c.scale : 0;
    }
    f.nullable = true;
    return f;
  }
  if (type == jet::kText) f.defined_size = jet3 ? c.length : c.length / 2;
  if (type == jet::kBinary) f.defined_size = c.length;
  if (type == jet::kNumeric) {
    f.precision = c.precision;
    f.scale = c.scale;
  }
  // Yes/No columns hold no null; others may be required.
  f.nullable = type != jet::kBool && !c.required;
  return f;
}

// Numbers each column of `table`'s primary key by its place in the key.
void MarkPrimaryKey(const jet::TableDefinition& table, std::vector<FieldInfo>& fields) {
  for (const jet::LogicalIndex& logical : table.logical_indexes) {
    if (logical.kind != 1 || logical.real_index >= table.real_indexes.size()) continue;
    const jet::RealIndex& real = table.real_indexes[logical.real_index];
    int position = 0;
    for (const jet::IndexColumn& key : real.columns) {
      ++position;
      for (size_t k = 0; k < table.columns.size() && k < fields.size(); ++k) {
        if (table.columns[k].number == key.column_number) fields[k].key_position = position;
      }
    }
    return;
  }
}

// A single-precision value as the double that prints the same, so that 1.1f
// reads back as 1.1 rather than 1.100000023841858.
double SingleToDouble(double widened) {
  float f = static_cast<float>(widened);
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, f);
  double d = widened;
  std::from_chars(buf, r.ptr, d);
  return d;
}

DateTime FromExtended(const jet::ExtDateTime& e) {
  DateTime dt;
  CivilFromDays(e.days, dt.year, dt.month, dt.day);
  int64_t seconds = e.ticks / 10000000;
  dt.hour = static_cast<uint8_t>(seconds / 3600 % 24);
  dt.minute = static_cast<uint8_t>(seconds / 60 % 60);
  dt.second = static_cast<uint8_t>(seconds % 60);
  dt.nanosecond = static_cast<uint32_t>(e.ticks % 10000000) * 100u;
  return dt;
}

// Converts one engine value into `out`, reusing its storage where it can.
void Convert(const jet::Column& c, jet::Value& in, Value& out) {
  std::visit(
      [&](auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          out = std::monostate{};
        } else if constexpr (std::is_same_v<T, bool>) {
          out = x;
        } else if constexpr (std::is_same_v<T, int64_t>) {
          out = x;
        } else if constexpr (std::is_same_v<T, double>) {
          out = jet::ValueType(c) == jet::kFloat ? SingleToDouble(x) : x;
        } else if constexpr (std::is_same_v<T, jet::Money>) {
          out = Currency{x.ten_thousandths};
        } else if constexpr (std::is_same_v<T, jet::Numeric>) {
          out = Decimal{x.magnitude, x.scale, x.negative && x.magnitude != 0};
        } else if constexpr (std::is_same_v<T, jet::OleDate>) {
          out = DateTimeFromOleDays(x.days);
        } else if constexpr (std::is_same_v<T, jet::ExtDateTime>) {
          out = FromExtended(x);
        } else if constexpr (std::is_same_v<T, std::string>) {
          if (auto* s = std::get_if<std::string>(&out)) {
            s->swap(x);
          } else {
            out = std::move(x);
          }
        } else if constexpr (std::is_same_v<T, jet::Binary>) {
          if (auto* b = std::get_if<Bytes>(&out)) {
            b->data.swap(x);
          } else {
            out = Bytes{std::move(x)};
          }
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          Guid g;
          g.bytes = x.bytes;
          out = g;
        }
      },
      in);
}

// The rows of one table, streamed from the file.
class TableCursor : public Cursor {
 public:
  TableCursor(std::shared_ptr<jet::Database> db, const std::string& table) : db_(std::move(db)) {
    reader_ = db_->OpenTable(table);
    const bool jet3 = db_->FileHeader().IsJet3();
    for (const jet::Column& c : reader_->Definition().columns)
      columns_.push_back(Describe(c, jet3));
    MarkPrimaryKey(reader_->Definition(), columns_);
  }

  const std::vector<FieldInfo>& Columns() const override { return columns_; }

  bool Fetch(std::vector<Value>& row) override {
    std::lock_guard<std::recursive_mutex> lock(db_->Mutex());
    return Translate([&] {
      if (!reader_->Next(values_)) return false;
      const auto& defs = reader_->Definition().columns;
      row.resize(values_.size());
      for (size_t k = 0; k < values_.size(); ++k) Convert(defs[k], values_[k], row[k]);
      return true;
    });
  }

  int64_t RowCount() override {
    std::lock_guard<std::recursive_mutex> lock(db_->Mutex());
    if (!count_) count_ = Translate([&] { return static_cast<int64_t>(reader_->CountRows()); });
    return *count_;
  }

 private:
  std::shared_ptr<jet::Database> db_;
  std::unique_ptr<jet::TableReader> reader_;
  std::vector<FieldInfo> columns_;
  std::vector<jet::Value> values_;
  std::optional<int64_t> count_;
};

// The catalogue type the Jet provider reports for an object, or nothing when
// it leaves the object out of the tables catalogue.
std::optional<std::string> TableType(const jet::CatalogueEntry& e) {
  switch (e.kind) {
    case jet::ObjectKind::kUserTable:
      return "TABLE";
    case jet::ObjectKind::kSystemTable:
      return (e.flags & 0x80000000u) ? "SYSTEM TABLE" : "ACCESS TABLE";
    case jet::ObjectKind::kLinkedTable:
      return "LINK";
    case jet::ObjectKind::kQuery:
      if (e.select_query) return "VIEW";
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

class AccessConnection : public Connection {
 public:
  explicit AccessConnection(std::shared_ptr<jet::Database> db) : db_(std::move(db)) {}

  void Execute(const std::string& sql) override {
    RequireOpen();
    Translate([&] { db_->Execute(sql); });
  }

  std::unique_ptr<Cursor> OpenSchema(int schema) override {
    RequireOpen();
    if (schema != kAdSchemaTables) {
      throw DatabaseError(errors::kNotSupported,
                          "Only the tables catalogue (20) is available from an Access database.");
    }
    std::vector<std::pair<std::string, std::string>> tables;
    for (const jet::CatalogueEntry& e : db_->Catalogue()) {
      if (auto type = TableType(e)) tables.emplace_back(*type, e.name);
    }
    std::stable_sort(tables.begin(), tables.end(), [](const auto& a, const auto& b) {
      if (a.first != b.first) return a.first < b.first;
      return ascii::LessIgnoreCase(a.second, b.second);
    });
    std::vector<FieldInfo> columns;
    for (const char* name : {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}) {
      FieldInfo f;
      f.name = name;
      f.type = kAdVarWChar;
      columns.push_back(f);
    }
    std::vector<std::vector<Value>> rows;
    for (auto& [type, name] : tables)
      rows.push_back({std::monostate{}, std::monostate{}, std::move(name), std::move(type)});
    return std::make_unique<MemoryCursor>(std::move(columns), std::move(rows));
  }

  std::unique_ptr<Cursor> Query(const std::string& sql, const QueryOptions&) override {
    RequireOpen();
    return Translate([&]() -> std::unique_ptr<Cursor> {
      jet::Statement s = jet::ParseStatement(sql);
      if (s.kind != jet::Statement::Kind::kSelectAll) {
        throw DatabaseError(errors::kNotSupported,
                            "Only \"SELECT * FROM table\" can be read from an Access database "
                            "yet: " +
                                sql);
      }
      return std::make_unique<TableCursor>(db_, s.table);
    });
  }

  // Large Number columns came with the Access 2016 file format (header
  // version 5); older files refuse them at CREATE TABLE.
  bool TakesColumnType(std::string_view sql_type) const override {
    if (!db_) return false;
    if (ascii::EqualsIgnoreCase(sql_type, "BIGINT")) return db_->FileHeader().version >= 5;
    return true;
  }

  // Brings the session's changes to the file; the database stays open for
  // other sessions on it.
  void Close() override {
    if (!db_) return;
    std::shared_ptr<jet::Database> db = std::move(db_);
    Translate([&] { db->Close(); });
  }

 private:
  void RequireOpen() const {
    if (!db_) {
      throw DatabaseError(errors::kObjectClosed,
                          "Operation is not allowed when the object is closed.");
    }
  }
  std::shared_ptr<jet::Database> db_;
};

}  // namespace

std::unique_ptr<Connection> OpenAccessConnection(const std::string& connection_string,
                                                 const SessionOptions&) {
  static const std::vector<std::string> kKeys = {"Provider",
                                                 "Data Source",
                                                 "Jet OLEDB:Database Password",
                                                 "User ID",
                                                 "Password",
                                                 "Mode",
                                                 "Persist Security Info",
                                                 "Jet OLEDB:Engine Type",
                                                 "Jet OLEDB:System database"};
  ConnectionString cs = ConnectionString::Parse(connection_string, kKeys);
  std::string path = cs.GetOr("Data Source", "");
  std::string password = cs.GetOr("Jet OLEDB:Database Password", "");
  if (path.empty()) {
    throw DatabaseError(errors::kUnspecified,
                        "The connection string names no database file (Data Source=).");
  }
  return Translate([&]() -> std::unique_ptr<Connection> {
    return std::make_unique<AccessConnection>(jet::Database::Open(path, password));
  });
}

void RegisterAccessProvider(ProviderRegistry& registry) {
  for (const char* name : {"Microsoft.Jet.OLEDB.4.0", "Microsoft.ACE.OLEDB.12.0"})
    registry.Register(name, OpenAccessConnection);
}

}  // namespace vq
