#include "support/fake_provider.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "common/ascii.h"
#include "dataaccess/memory_cursor.h"

namespace vq::testing {
namespace {

// The table named after the first "FROM" and its blanks, with an optional `
// or [ before it, up to the closing delimiter or the end of the statement.
std::optional<std::string> TableNamedIn(const std::string& sql) {
  auto upper = [](char c) { return ascii::Upper(c); };
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  for (size_t at = 0; at + 4 < sql.size(); ++at) {
    if (upper(sql[at]) != 'F' || upper(sql[at + 1]) != 'R' || upper(sql[at + 2]) != 'O' ||
        upper(sql[at + 3]) != 'M' || !blank(sql[at + 4])) {
      continue;
    }
    size_t i = at + 4;
    while (i < sql.size() && blank(sql[i])) ++i;
    if (i < sql.size() && (sql[i] == '`' || sql[i] == '[')) ++i;
    size_t end = sql.find_first_of("`]", i);
    std::string name = sql.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (!name.empty()) return name;
  }
  return std::nullopt;
}

// The rows of a fake table, of which one may fail to fetch.
class FakeCursor : public MemoryCursor {
 public:
  FakeCursor(const FakeTable& t, int fail_fetch_of_row)
      : MemoryCursor(t.columns, t.rows), fail_fetch_of_row_(fail_fetch_of_row) {}
  bool Fetch(std::vector<Value>& row) override {
    if (++fetched_ == fail_fetch_of_row_) {
      throw DatabaseError(errors::kUnspecified,
                          "fake failure: fetching row " + std::to_string(fetched_));
    }
    return MemoryCursor::Fetch(row);
  }

 private:
  int fail_fetch_of_row_;
  int fetched_ = 0;  // the fetches so far, the query's own of the first row included
};

class FakeConnection : public Connection {
 public:
  explicit FakeConnection(std::shared_ptr<FakeDatabase> db) : db_(std::move(db)) {}
  void Execute(const std::string& sql) override {
    db_->executed.push_back(sql);
    if (!db_->fail_statement_containing.empty() &&
        sql.find(db_->fail_statement_containing) != std::string::npos) {
      throw DatabaseError(errors::kUnspecified, "fake failure: " + sql);
    }
    if (std::find(db_->fail_statements.begin(), db_->fail_statements.end(), sql) !=
        db_->fail_statements.end()) {
      throw DatabaseError(errors::kUnspecified, "fake failure: " + sql);
    }
  }
  std::unique_ptr<Cursor> OpenSchema(int schema) override {
    if (schema != kAdSchemaTables) throw DatabaseError(errors::kNotSupported, "no such schema");
    std::vector<std::vector<Value>> rows;
    for (const auto& [name, t] : db_->tables) rows.push_back({name, t.type});
    return std::make_unique<MemoryCursor>(
        std::vector<FieldInfo>{{"TABLE_NAME", 202}, {"TABLE_TYPE", 202}}, rows);
  }
  std::unique_ptr<Cursor> Query(const std::string& sql, const QueryOptions&) override {
    auto name = TableNamedIn(sql);
    if (!name) throw DatabaseError(errors::kSyntaxError, sql);
    auto it = db_->tables.find(*name);
    if (it == db_->tables.end()) throw DatabaseError(errors::kNoSuchTable, "no table " + *name);
    return std::make_unique<FakeCursor>(it->second, db_->fail_fetch_of_row);
  }
  void Close() override {}

 private:
  std::shared_ptr<FakeDatabase> db_;
};

}  // namespace

FakeProvider::FakeProvider(std::string name, std::shared_ptr<FakeDatabase> db)
    : name_(std::move(name)), displaced_(ProviderRegistry::Global().Find(name_)) {
  ProviderRegistry::Global().Register(
      name_, [db](const std::string& cs, const SessionOptions&) -> std::unique_ptr<Connection> {
        db->opened.push_back(cs);
        if (db->refuse_open) throw DatabaseError(errors::kLoginFailed, "fake refusal");
        return std::make_unique<FakeConnection>(db);
      });
}

FakeProvider::~FakeProvider() {
  // A double registered under a real provider's name hands the name back, so
  // tests that run later in the same process meet the real provider again.
  if (displaced_) {
    ProviderRegistry::Global().Register(name_, displaced_);
  } else {
    ProviderRegistry::Global().Unregister(name_);
  }
}

}  // namespace vq::testing
