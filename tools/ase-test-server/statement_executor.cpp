#include "statement_executor.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <set>

#include "catalogue_query.h"
#include "common/ascii.h"
#include "date_time.h"
#include "result_rows.h"
#include "row_encoding.h"
#include "row_size.h"
#include "server_message.h"
#include "sql_parser.h"
#include "tokens.h"
#include "value_conversion.h"

namespace vq::ase_server {
namespace {

// ASE's default @@textsize when the client sets none.
constexpr std::size_t kDefaultTextSize = 32768;

std::mutex log_mutex;

void Log(const std::string& line) {
  std::lock_guard lock(log_mutex);
  std::cerr << line << '\n';
}

// Result column and value of a literal in a select list.
std::pair<ResultColumn, CellValue> LiteralColumn(const Literal& l, const std::string& name) {
  switch (l.kind) {
    case Literal::Kind::kNull:
      return {Column(name, TypeKind::kInt, true), std::monostate{}};
    case Literal::Kind::kInteger:
    case Literal::Kind::kDecimal: {
      ResultColumn c = Column(name, TypeKind::kNumeric, false);
      const auto point = l.text.find('.');
      const std::size_t digits =
          l.text.size() - (point == std::string::npos ? 0 : 1) - (l.text[0] == '-' ? 1 : 0);
      c.type.scale = point == std::string::npos ? 0 : static_cast<int>(l.text.size() - point - 1);
      c.type.precision = std::clamp(static_cast<int>(digits), std::max(1, c.type.scale), 38);
      if (l.kind == Literal::Kind::kInteger && LiteralTypeName(l) == "INT") {
        c = Column(name, TypeKind::kInt, false);
      }
      ColumnDefinition def{name, c.type, false};
      return {c, ConvertLiteral(l, def, "")};
    }
    case Literal::Kind::kFloat: {
      ResultColumn c = Column(name, TypeKind::kFloat, false);
      return {c, ConvertLiteral(l, ColumnDefinition{name, c.type, false}, "")};
    }
    case Literal::Kind::kString: {
      ResultColumn c = Column(name, TypeKind::kVarChar, false,
                              std::max<int>(1, static_cast<int>(l.text.size())));
      return {c, ConvertLiteral(l, ColumnDefinition{name, c.type, false}, "")};
    }
    case Literal::Kind::kBinary: {
      ResultColumn c = Column(name, TypeKind::kVarBinary, false,
                              std::max<int>(1, static_cast<int>((l.text.size() + 1) / 2)));
      return {c, ConvertLiteral(l, ColumnDefinition{name, c.type, false}, "")};
    }
  }
  return {Column(name, TypeKind::kInt, true), std::monostate{}};
}

// Errors ASE raises while compiling a batch (syntax, names, implicit
// conversions, NULL into NOT NULL, table limits): such an error stops the
// whole batch before any of it runs. Data errors (overflow, scale, bad dates)
// and missing objects at DROP come while running and end only their statement.
bool IsCompileError(int number) {
  switch (number) {
    case 102:
    case 103:
    case 156:
    case 207:
    case 208:
    case 213:
    case 233:
    case 257:
    case 306:
    case 420:
    case 1701:
    case 1767:
    case 2705:
    case 2714:
    case 2716:
      return true;
    default:
      return false;
  }
}

bool IsTemporaryName(const std::string& table) {
  return !table.empty() && table[0] == '#';
}

std::int64_t NowAsDateTime() {
  const auto now = std::chrono::system_clock::now();
  const auto micro =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
  const std::int64_t day_micro = 86400LL * 1000000;
  const std::int64_t days = micro / day_micro + DaysFrom1900(1970, 1, 1);
  return days * 25920000 + TicksFromMicroseconds(micro % day_micro);
}

}  // namespace

StatementExecutor::StatementExecutor(const ServerConfig& config, int spid, std::string user)
    : config_(config),
      spid_(spid),
      user_(std::move(user)),
      database_("master"),
      text_size_(kDefaultTextSize) {}

StatementExecutor::~StatementExecutor() {
  // A connection that goes away ends its transaction, as ASE rolls it back.
  EndTransaction();
}

void StatementExecutor::EndTransaction() {
  trancount_ = 0;
  LockTable::Global().ReleaseAll(spid_);
}

std::string StatementExecutor::LockKey(const std::string& table) const {
  if (IsTemporaryName(table)) return "tempdb." + std::to_string(spid_) + "." + table;
  return database_ + "." + table;
}

void StatementExecutor::TakeLock(const std::string& table, LockMode mode, PacketChannel& out) {
  const bool granted = LockTable::Global().Acquire(LockKey(table), spid_, mode,
                                                   [&] { return out.AttentionArrived(0); });
  if (!granted) throw BatchCancelled{};
}

void StatementExecutor::WaitUntilReadable(const std::string& table, PacketChannel& out) {
  const bool readable = LockTable::Global().WaitUntilReadable(
      LockKey(table), spid_, [&] { return out.AttentionArrived(0); });
  if (!readable) throw BatchCancelled{};
}

void StatementExecutor::RefuseInTransaction(const char* command) const {
  if (trancount_ == 0) return;
  throw ServerError(ServerMessage{2762, 16, 4,
                                  std::string("The '") + command +
                                      "' command is not allowed within a multi-statement "
                                      "transaction in the '" +
                                      database_ + "' database.\n"});
}

void StatementExecutor::RunTransaction(const std::string& verb, std::uint16_t more,
                                       PacketChannel& out) {
  if (verb == "begin") {
    ++trancount_;
  } else if (verb == "commit") {
    // COMMIT outside a transaction does nothing, as in ASE's unchained mode.
    if (trancount_ > 0 && --trancount_ == 0) EndTransaction();
  } else {
    EndTransaction();
  }
  Bytes b;
  WriteDone(b, more, 0);
  out.Append(b);
}

void StatementExecutor::UseDatabase(const std::string& name) {
  if (!config_.HasDatabase(name)) throw ServerError(messages::DatabaseNotFound(name));
  if (name == database_ && store_) return;
  store_ = std::make_unique<TableStore>(config_.DatabasePath(name));
  database_ = name;
}

TableStore& StatementExecutor::Store() {
  if (!store_) store_ = std::make_unique<TableStore>(config_.DatabasePath(database_));
  return *store_;
}

TableStore& StatementExecutor::StoreFor(const std::string& table) {
  if (!IsTemporaryName(table)) return Store();
  if (!temp_store_) temp_store_ = std::make_unique<TableStore>(":memory:");
  return *temp_store_;
}

TablePages StatementExecutor::CountPages(const TableDefinition& table) {
  std::vector<int> all;
  for (std::size_t i = 0; i < table.columns.size(); ++i) all.push_back(static_cast<int>(i));
  TablePages pages;
  auto cursor = StoreFor(table.name).SelectRows(table, all, {}, {});
  std::vector<CellValue> row;
  while (cursor->Next(row)) {
    pages.Add(RowSize(table.columns, row), LargeObjectPages(table.columns, row, config_.page_size),
              config_.page_size);
  }
  return pages;
}

std::map<std::string, TablePages> StatementExecutor::CountDatabasePages() {
  std::map<std::string, TablePages> out;
  for (const std::string& name : Store().TableNames()) {
    if (const auto table = Store().FindTable(name)) out[name] = CountPages(*table);
  }
  return out;
}

void StatementExecutor::Recount(const TableDefinition& table) {
  if (config_.max_pages == 0 || IsTemporaryName(table.name)) return;
  PageBudget::Global().SetTable(database_, table.name, CountPages(table));
}

TableDefinition StatementExecutor::RequireTable(const std::string& name) {
  if (const auto found = compiled_.find(name); found != compiled_.end()) return found->second;
  auto table = StoreFor(name).FindTable(name);
  if (!table) throw ServerError(messages::ObjectNotFound(name));
  return *table;
}

void StatementExecutor::RunBatch(const std::string& sql, PacketChannel& out) {
  compiled_.clear();
  RunStatements(sql, out);
  compiled_.clear();
}

void StatementExecutor::RunStatements(const std::string& sql, PacketChannel& out) {
  std::vector<ParsedStatement> statements;
  try {
    statements = ParseBatch(sql, quoted_identifier_);
    CompileBatch(statements);
  } catch (const ServerError& e) {
    if (config_.verbose)
      Log("[" + std::to_string(spid_) + "] error " + std::to_string(e.message().number) + ": " +
          sql.substr(0, 200));
    Bytes b;
    WriteMessage(b, e.message());
    WriteDone(b, kDoneError, 0);
    out.Append(b);
    return;
  }
  if (statements.empty()) {
    Bytes b;
    WriteDone(b, kDoneFinal, 0);
    out.Append(b);
    return;
  }
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const bool more = i + 1 < statements.size();
    std::string outcome = "ok";
    bool stop = false;
    const Statement& statement = statements[i].statement;
    if (!std::holds_alternative<InsertStatement>(statement) &&
        !std::holds_alternative<SelectStatement>(statement) &&
        !std::holds_alternative<UpdateStatement>(statement) &&
        !std::holds_alternative<DeleteStatement>(statement)) {
      compiled_.clear();
    }
    try {
      Run(statement, more, out);
      // Outside a transaction a statement's locks end with it.
      if (trancount_ == 0) LockTable::Global().ReleaseAll(spid_);
    } catch (const BatchCancelled&) {
      if (trancount_ == 0) LockTable::Global().ReleaseAll(spid_);
      // The rest of the batch is abandoned; the client waits for the cancel bit.
      if (config_.verbose) Log("[" + std::to_string(spid_) + "] cancelled by the client");
      out.DiscardPending();
      Bytes b;
      WriteDone(b, kDoneAttention, 0);
      out.Append(b);
      return;
    } catch (const ServerError& e) {
      // The victim of a deadlock loses its transaction, as in ASE.
      if (trancount_ == 0 || e.message().number == 1205) EndTransaction();
      outcome = "error " + std::to_string(e.message().number);
      // A statement compiled only when reached (its table is made earlier in
      // the batch) that does not compile ends the batch there.
      const bool abort = IsCompileError(e.message().number);
      Bytes b;
      WriteMessage(b, e.message());
      WriteDone(b, static_cast<std::uint16_t>(kDoneError | (more && !abort ? kDoneMore : 0)), 0);
      out.Append(b);
      stop = abort;
    }
    if (config_.verbose) {
      std::string text = statements[i].text;
      std::replace(text.begin(), text.end(), '\n', ' ');
      if (text.size() > 300) text = text.substr(0, 300) + "...";
      Log("[" + std::to_string(spid_) + "] " + database_ + ": " + text + " -> " + outcome);
    }
    if (stop) break;
  }
}

void StatementExecutor::SetTextSize(std::size_t bytes) {
  text_size_ = bytes == 0 ? kDefaultTextSize : std::min<std::size_t>(bytes, 2147483647);
}

void StatementExecutor::RunScriptBatch(const std::string& sql) {
  PacketChannel sink(-1);
  const std::vector<ParsedStatement> statements = ParseBatch(sql, quoted_identifier_);
  CompileBatch(statements);
  for (const ParsedStatement& s : statements) {
    try {
      Run(s.statement, false, sink);
    } catch (const ServerError& e) {
      if (trancount_ == 0 || e.message().number == 1205) EndTransaction();
      throw;
    }
    if (trancount_ == 0) LockTable::Global().ReleaseAll(spid_);
  }
}

void StatementExecutor::Run(const Statement& statement, bool more_follow, PacketChannel& out) {
  const std::uint16_t more = more_follow ? kDoneMore : 0;
  Bytes b;
  if (const auto* s = std::get_if<SelectStatement>(&statement)) {
    RunSelect(*s, more, out);
  } else if (const auto* s = std::get_if<InsertStatement>(&statement)) {
    RunInsert(*s, more, out);
  } else if (const auto* s = std::get_if<CreateTableStatement>(&statement)) {
    RunCreate(*s, more, out);
  } else if (const auto* s = std::get_if<DropTableStatement>(&statement)) {
    RefuseInTransaction("DROP TABLE");
    TakeLock(s->table, LockMode::kExclusive, out);
    StoreFor(s->table).DropTable(s->table);
    if (!IsTemporaryName(s->table)) PageBudget::Global().Forget(database_, s->table);
    WriteDone(b, more, 0);
  } else if (const auto* s = std::get_if<UpdateStatement>(&statement)) {
    RunUpdate(*s, more, out);
  } else if (const auto* s = std::get_if<DeleteStatement>(&statement)) {
    RunDelete(*s, more, out);
  } else if (const auto* s = std::get_if<UseStatement>(&statement)) {
    RunUse(*s, more, out);
  } else if (const auto* s = std::get_if<SetStatement>(&statement)) {
    if (s->option == "quoted_identifier") quoted_identifier_ = s->value == "on";
    if (s->option == "transaction") isolation_ = std::stoi(s->value);
    if (s->option == "textsize" && !s->value.empty() &&
        s->value.find_first_not_of("0123456789") == std::string::npos) {
      const unsigned long long v = s->value.size() > 10 ? 2147483647ULL : std::stoull(s->value);
      text_size_ = v == 0 ? kDefaultTextSize : static_cast<std::size_t>(std::min(v, 2147483647ULL));
    }
    WriteDone(b, more, 0);
  } else if (const auto* s = std::get_if<WaitForStatement>(&statement)) {
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(s->milliseconds);
    while (std::chrono::steady_clock::now() < until) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            until - std::chrono::steady_clock::now())
                            .count();
      if (out.AttentionArrived(static_cast<int>(std::clamp<long long>(left, 1, 200)))) {
        throw BatchCancelled{};
      }
    }
    WriteDone(b, more, 0);
  } else if (const auto* s = std::get_if<ExecStatement>(&statement)) {
    throw ServerError(messages::ProcedureNotFound(s->procedure));
  } else if (const auto* s = std::get_if<TransactionStatement>(&statement)) {
    RunTransaction(s->verb, more, out);
  }
  if (!b.empty()) out.Append(b);
}

void StatementExecutor::RunUse(const UseStatement& s, std::uint16_t more, PacketChannel& out) {
  const std::string old = database_;
  UseDatabase(s.database);
  Bytes b;
  WriteEnvChange(b, kEnvDatabase, database_, old);
  WriteMessage(b, messages::ChangedDatabase(database_));
  WriteDone(b, more, 0);
  out.Append(b);
}

std::vector<ColumnDefinition> StatementExecutor::CheckCreate(const CreateTableStatement& s,
                                                             std::string& warning) {
  std::vector<ColumnDefinition> columns = s.columns;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    ColumnDefinition& c = columns[i];
    for (std::size_t j = 0; j < i; ++j) {
      if (columns[j].name == c.name) throw ServerError(messages::DuplicateColumn(c.name));
    }
    if (TakesLength(c.type.kind) && (c.type.length < 1 || c.type.length > 16384)) {
      throw ServerError(messages::BadTypeLength(c.name, "the length must be 1 to 16384."));
    }
    if (TakesPrecision(c.type.kind) &&
        (c.type.precision < 1 || c.type.precision > 38 || c.type.scale > c.type.precision)) {
      throw ServerError(messages::BadTypeLength(
          c.name, "the precision must be 1 to 38 and the scale at most the precision."));
    }
    // bit columns are never NULL, whatever the declaration says.
    if (c.type.kind == TypeKind::kBit) c.nullable = false;
    // A type the server's version does not have yet is not found.
    const int since = c.type.kind == TypeKind::kBigDateTime                                   ? 1550
                      : c.type.kind == TypeKind::kBigInt || c.type.kind == TypeKind::kUniText ? 1500
                                                                                              : 0;
    if (config_.version_number < since) {
      throw ServerError(ServerMessage{
          2715, 16, 1,
          "Can't find type '" + ascii::Lowered(TypeMessageName(c.type.kind)) + "'.\n"});
    }
  }
  if (IsSystemTableName(s.table)) {
    throw ServerError(messages::AlreadyExists(s.table));
  }
  // Allpages locking, ASE's default scheme, bounds the variable-length
  // columns and the row; a row that only might overflow is a warning, and the
  // INSERT that really overflows it fails.
  if (VariableColumnCount(columns) > kMaxVariableColumns) {
    throw ServerError(messages::TooManyVariableColumns(s.table));
  }
  const int limit = MaxRowSize(config_.page_size);
  if (const int narrowest = NarrowestRowSize(columns); narrowest > limit) {
    throw ServerError(messages::TableRowTooLarge(s.table, narrowest, limit));
  }
  warning.clear();
  if (const int widest = WidestRowSize(columns); widest > limit) {
    warning = std::to_string(widest);
  }
  return columns;
}

void StatementExecutor::RunCreate(const CreateTableStatement& s, std::uint16_t more,
                                  PacketChannel& out) {
  RefuseInTransaction("CREATE TABLE");
  std::string warning;
  const std::vector<ColumnDefinition> columns = CheckCreate(s, warning);
  StoreFor(s.table).CreateTable(s.table, columns);
  Bytes b;
  if (!warning.empty()) {
    WriteMessage(b, messages::RowMayNotFit(std::stoi(warning), MaxRowSize(config_.page_size)));
  }
  WriteDone(b, more, 0);
  out.Append(b);
}

std::vector<CellValue> StatementExecutor::InsertRow(const InsertStatement& s,
                                                    const TableDefinition& table) const {
  std::vector<int> targets;
  if (s.columns.empty()) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) targets.push_back(static_cast<int>(i));
  } else {
    for (const std::string& name : s.columns) {
      const int index = table.ColumnIndex(name);
      if (index < 0) throw ServerError(messages::InvalidColumn(name));
      targets.push_back(index);
    }
  }
  if (targets.size() != s.values.size()) throw ServerError(messages::InsertColumnCount());
  std::vector<CellValue> row(table.columns.size());
  std::vector<bool> given(table.columns.size(), false);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const auto at = static_cast<std::size_t>(targets[i]);
    row[at] = ConvertLiteral(s.values[i], table.columns[at], table.name);
    given[at] = true;
  }
  for (std::size_t i = 0; i < row.size(); ++i) {
    const ColumnDefinition& c = table.columns[i];
    if (!given[i] && (!c.nullable || c.type.kind == TypeKind::kBit)) {
      throw ServerError(messages::NullNotAllowed(c.name, table.name));
    }
  }
  return row;
}

void StatementExecutor::RunInsert(const InsertStatement& s, std::uint16_t more,
                                  PacketChannel& out) {
  const TableDefinition table = RequireTable(s.table);
  TakeLock(table.name, LockMode::kExclusive, out);
  const std::vector<CellValue> row = InsertRow(s, table);
  const int size = RowSize(table.columns, row);
  if (const int limit = MaxRowSize(config_.page_size); size > limit) {
    throw ServerError(messages::RowTooLarge(size, limit));
  }
  // #temporary tables live in tempdb, outside the database's pages.
  if (config_.max_pages > 0 && !IsTemporaryName(table.name)) {
    PageBudget::Global().AddRow(
        database_, table.name, size, LargeObjectPages(table.columns, row, config_.page_size),
        config_.page_size, config_.max_pages, [this] { return CountDatabasePages(); });
  }
  StoreFor(table.name).InsertRow(table, row);
  last_row_count_ = 1;
  Bytes b;
  WriteDone(b, static_cast<std::uint16_t>(kDoneCount | more), 1);
  out.Append(b);
}

void StatementExecutor::RunUpdate(const UpdateStatement& s, std::uint16_t more,
                                  PacketChannel& out) {
  const TableDefinition table = RequireTable(s.table);
  TakeLock(table.name, LockMode::kExclusive, out);
  std::vector<std::pair<int, CellValue>> assignments;
  for (const auto& [name, literal] : s.assignments) {
    const int index = table.ColumnIndex(name);
    if (index < 0) throw ServerError(messages::InvalidColumn(name));
    assignments.emplace_back(
        index, ConvertLiteral(literal, table.columns[static_cast<std::size_t>(index)], table.name));
  }
  const auto where = ConvertConditions(s.where, table.columns, table.name);
  const std::int64_t n = StoreFor(table.name).UpdateRows(table, assignments, where);
  if (n > 0) Recount(table);
  last_row_count_ = n;
  Bytes b;
  WriteDone(b, static_cast<std::uint16_t>(kDoneCount | more), static_cast<std::uint32_t>(n));
  out.Append(b);
}

void StatementExecutor::RunDelete(const DeleteStatement& s, std::uint16_t more,
                                  PacketChannel& out) {
  const TableDefinition table = RequireTable(s.table);
  TakeLock(table.name, LockMode::kExclusive, out);
  const auto where = ConvertConditions(s.where, table.columns, table.name);
  const std::int64_t n = StoreFor(table.name).DeleteRows(table, where);
  if (n > 0) Recount(table);
  last_row_count_ = n;
  Bytes b;
  WriteDone(b, s.truncate ? more : static_cast<std::uint16_t>(kDoneCount | more),
            static_cast<std::uint32_t>(n));
  out.Append(b);
}

StatementExecutor::SelectPlan StatementExecutor::PlanSelect(const SelectStatement& s,
                                                            const TableDefinition& table) const {
  SelectPlan plan;
  plan.where = ConvertConditions(s.where, table.columns, table.name);
  plan.counting = std::any_of(s.items.begin(), s.items.end(), [](const SelectItem& i) {
    return i.kind == SelectItem::Kind::kCountStar;
  });
  if (plan.counting) {
    for (const SelectItem& item : s.items) {
      if (item.kind != SelectItem::Kind::kCountStar) {
        throw ServerError(messages::SyntaxNear(item.name.empty() ? "*" : item.name));
      }
      plan.columns.push_back(Column(item.alias, TypeKind::kInt, false));
    }
    return plan;
  }
  for (const SelectItem& item : s.items) {
    std::vector<int> add;
    if (item.kind == SelectItem::Kind::kStar) {
      for (std::size_t i = 0; i < table.columns.size(); ++i) add.push_back(static_cast<int>(i));
    } else if (item.kind == SelectItem::Kind::kColumn) {
      const int index = table.ColumnIndex(item.name);
      if (index < 0) throw ServerError(messages::InvalidColumn(item.name));
      add.push_back(index);
    } else {
      throw ServerError(messages::SyntaxNear(item.name.empty() ? item.literal.text : item.name));
    }
    for (int index : add) {
      const ColumnDefinition& def = table.columns[static_cast<std::size_t>(index)];
      ResultColumn c;
      c.name = item.alias.empty() ? def.name : item.alias;
      c.type = def.type;
      c.nullable = def.nullable;
      c.table = table.name;
      plan.columns.push_back(std::move(c));
      plan.chosen.push_back(index);
    }
  }
  for (const OrderKey& key : s.order_by) {
    const int index = table.ColumnIndex(key.column);
    if (index < 0) throw ServerError(messages::InvalidColumn(key.column));
    if (IsLargeObject(table.columns[static_cast<std::size_t>(index)].type.kind)) {
      throw ServerError(ServerMessage{
          420, 16, 1,
          "TEXT, IMAGE, UNITEXT and off-row Java datatypes may not be used in an ORDER BY "
          "clause.\n"});
    }
    plan.order.push_back(StoredOrder{index, key.descending});
  }
  return plan;
}

void StatementExecutor::RunSelect(const SelectStatement& s, std::uint16_t more,
                                  PacketChannel& out) {
  if (!s.table) return RunSelectWithoutTable(s, more, out);
  if (*s.table == "sysobjects") return AnswerSysobjects(s, Store().TableNames(), more, out);
  const TableDefinition table = RequireTable(*s.table);
  const SelectPlan plan = PlanSelect(s, table);
  // Level 2 and 3 reads keep a shared lock (until the transaction ends, if one
  // is open), so no other connection changes the table meanwhile; level 1
  // waits for other connections' writes to end; level 0 reads what is there.
  const int level = s.isolation.value_or(isolation_);
  if (level >= 2) {
    TakeLock(table.name, LockMode::kShared, out);
  } else if (level == 1) {
    WaitUntilReadable(table.name, out);
  }

  TableStore& store = StoreFor(table.name);
  if (plan.counting) {
    const std::int64_t n = store.CountRows(table, plan.where);
    const std::vector<CellValue> row(plan.columns.size(), CellValue{n});
    last_row_count_ = 1;
    SendRows(out, plan.columns, {row}, more, text_size_);
    return;
  }

  // Rows are read and sent one at a time, so a large table is never held whole.
  auto cursor = store.SelectRows(table, plan.chosen, plan.where, plan.order);
  Bytes b;
  WriteRowFormat(b, plan.columns);
  std::vector<CellValue> row;
  std::uint32_t count = 0;
  while (cursor->Next(row)) {
    WriteRow(b, plan.columns, row, text_size_);
    ++count;
    if (b.size() >= 16384) {
      out.Append(b);
      b.clear();
    }
  }
  last_row_count_ = count;
  WriteDone(b, static_cast<std::uint16_t>(kDoneCount | more), count);
  out.Append(b);
}

void StatementExecutor::CompileBatch(const std::vector<ParsedStatement>& statements) {
  // Tables that earlier statements of the batch create: statements on them
  // are compiled when they are reached.
  std::set<std::string> created;
  auto lookup = [&](const std::string& name) -> std::optional<TableDefinition> {
    if (created.count(name) != 0) return std::nullopt;
    if (const auto found = compiled_.find(name); found != compiled_.end()) return found->second;
    auto table = StoreFor(name).FindTable(name);
    if (!table) throw ServerError(messages::ObjectNotFound(name));
    compiled_.emplace(name, *table);
    return table;
  };
  for (const ParsedStatement& parsed : statements) {
    const Statement& statement = parsed.statement;
    // After `use`, later statements name another database's tables.
    if (std::holds_alternative<UseStatement>(statement)) return;
    try {
      if (const auto* s = std::get_if<SelectStatement>(&statement)) {
        if (!s->table || *s->table == "sysobjects") continue;
        if (const auto table = lookup(*s->table)) PlanSelect(*s, *table);
      } else if (const auto* s = std::get_if<InsertStatement>(&statement)) {
        if (const auto table = lookup(s->table)) InsertRow(*s, *table);
      } else if (const auto* s = std::get_if<UpdateStatement>(&statement)) {
        if (const auto table = lookup(s->table)) {
          for (const auto& [name, literal] : s->assignments) {
            const int index = table->ColumnIndex(name);
            if (index < 0) throw ServerError(messages::InvalidColumn(name));
            ConvertLiteral(literal, table->columns[static_cast<std::size_t>(index)], table->name);
          }
          ConvertConditions(s->where, table->columns, table->name);
        }
      } else if (const auto* s = std::get_if<DeleteStatement>(&statement)) {
        if (const auto table = lookup(s->table)) {
          ConvertConditions(s->where, table->columns, table->name);
        }
      } else if (const auto* s = std::get_if<CreateTableStatement>(&statement)) {
        if (created.count(s->table) != 0) continue;
        std::string warning;
        CheckCreate(*s, warning);
        if (StoreFor(s->table).FindTable(s->table)) {
          throw ServerError(messages::AlreadyExists(s->table));
        }
        created.insert(s->table);
      }
    } catch (const ServerError& e) {
      // Errors of values (overflow, scale, dates) come when the statement runs.
      if (IsCompileError(e.message().number)) throw;
    }
  }
}

void StatementExecutor::RunSelectWithoutTable(const SelectStatement& s, std::uint16_t more,
                                              PacketChannel& out) {
  std::vector<ResultColumn> columns;
  std::vector<CellValue> row;
  for (const SelectItem& item : s.items) {
    const std::string& name = item.alias;
    switch (item.kind) {
      case SelectItem::Kind::kGlobal: {
        const std::string& g = item.name;
        if (g == "spid") {
          columns.push_back(Column(name, TypeKind::kSmallInt, false));
          row.push_back(std::int64_t{spid_});
        } else if (g == "version") {
          const std::string v = "Adaptive Server Enterprise/" + config_.version +
                                "/EBF 0 SQLite test server/P/x86_64/Linux/";
          columns.push_back(Column(name, TypeKind::kVarChar, false, 255));
          row.push_back(Text{v});
        } else if (g == "servername") {
          columns.push_back(Column(name, TypeKind::kVarChar, true, 30));
          row.push_back(Text{std::string(kServerName)});
        } else if (g == "language") {
          columns.push_back(Column(name, TypeKind::kVarChar, false, 30));
          row.push_back(Text{"us_english"});
        } else if (g == "textsize" || g == "maxpagesize" || g == "trancount" || g == "error" ||
                   g == "rowcount" || g == "nestlevel" || g == "char_convert" || g == "isolation") {
          std::int64_t v = 0;
          if (g == "textsize") v = static_cast<std::int64_t>(text_size_);
          if (g == "maxpagesize") v = config_.page_size;
          if (g == "rowcount") v = last_row_count_;
          if (g == "trancount") v = trancount_;
          if (g == "isolation") v = isolation_;
          columns.push_back(Column(name, TypeKind::kInt, false));
          row.push_back(v);
        } else {
          throw ServerError(ServerMessage{137, 15, 2, "Must declare variable '@@" + g + "'.\n"});
        }
        break;
      }
      case SelectItem::Kind::kFunction: {
        const std::string& f = item.name;
        if (f == "db_name" || f == "user_name" || f == "suser_name") {
          columns.push_back(Column(name, TypeKind::kVarChar, true, 30));
          row.push_back(Text{f == "db_name" ? database_ : f == "user_name" ? "dbo" : user_});
        } else if (f == "getdate") {
          columns.push_back(Column(name, TypeKind::kDateTime, false));
          row.push_back(NowAsDateTime());
        } else {
          throw ServerError(ServerMessage{14216, 16, 1, "Function '" + f + "' not found.\n"});
        }
        break;
      }
      case SelectItem::Kind::kLiteral: {
        auto [c, v] = LiteralColumn(item.literal, name);
        columns.push_back(std::move(c));
        row.push_back(std::move(v));
        break;
      }
      case SelectItem::Kind::kColumn:
        throw ServerError(messages::InvalidColumn(item.name));
      default:
        throw ServerError(
            messages::SyntaxNear(item.kind == SelectItem::Kind::kStar ? "*" : "count"));
    }
  }
  last_row_count_ = 1;
  SendRows(out, columns, {row}, more, text_size_);
}

}  // namespace vq::ase_server
