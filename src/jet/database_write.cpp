// The writing statements of a Database: each runs as one statement of the
// page file, so it keeps all its changes or none, and the statements that
// create or drop tables end in a checkpoint.
#include <algorithm>
#include <cstring>
#include <set>

#include "jet/calculated_copy.h"
#include "jet/catalogue_writer.h"
#include "jet/data_page_writer.h"
#include "jet/database.h"
#include "jet/file_store.h"
#include "jet/index_maintenance.h"
#include "jet/index_tree.h"
#include "jet/integrity_check.h"
#include "jet/literal_conversion.h"
#include "jet/property_blob.h"
#include "jet/sql.h"
#include "jet/table_writer.h"
#include "jet/text_codec.h"
#include "jet/usage_map_writer.h"

namespace jet {
namespace {

constexpr size_t kCheckpointRows = 5000;
constexpr auto kCheckpointInterval = std::chrono::seconds(1);
// Appends a fresh usage-map row to the map page `page`; its place, or a null
// pointer when the page is full.
RowPointer AddMapRow(PageStore& store, uint32_t page, uint8_t kind) {
  std::vector<uint8_t> row(store.FileLayout().InlineMapRowLength());
  InitUsageMapRow(row.data(), row.size(), kind, 0);
  int slot = AddRowToPage(store.Modify(page), store.FileLayout(), ByteView(row.data(), row.size()));
  if (slot < 0) return RowPointer{};
  return RowPointer{page, static_cast<uint8_t>(slot)};
}

}  // namespace

uint16_t Database::NameCodePage() const {
  return store_->FileLayout().unicode_text ? 0 : header_.code_page;
}

void Database::EnableWriting() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (file_->Writable()) return;
  if (!checked_for_damage_) {
    damage_ = FindDamageForWriting(*file_, file_->FileSize(), header_, catalogue_);
    checked_for_damage_ = true;
  }
  if (!damage_.empty()) {
    ThrowCorrupt(damage_ +
                 ". Nothing has been written to it, and nothing will be: repair the file (in "
                 "Access, Compact and Repair) or use a copy made before the damage.");
  }
  file_->EnableWriting();
  store_ = std::make_unique<FileStore>(*file_, LayoutFor(header_.IsJet3()));
  last_checkpoint_ = std::chrono::steady_clock::now();
}

void Database::ReloadCatalogue() {
  catalogue_ = ReadCatalogue(*file_, header_);
}

void Database::LoseUnsavedChanges(const SaveFailed& failure, bool running) {
  // A statement that spilled saved the statements before it first.
  if (running && file_->Checkpoints() != statement_checkpoints_) unsaved_statements_ = 0;
  const uint64_t lost = unsaved_statements_ + (running ? 1 : 0);
  file_->DiscardChanges();
  unsaved_statements_ = 0;
  rows_since_checkpoint_ = 0;
  writers_.clear();
  ReloadCatalogue();
  std::string message = failure.what();
  if (!message.empty() && message.back() != '.') message += '.';
  const std::string before = std::to_string(lost - (running ? 1 : 0));
  if (running && lost == 1) {
    message += " This statement was not saved; the file holds what it held before it.";
  } else if (running) {
    message += " This statement and the " + before +
               " before it since the last save were not saved; the file holds what it held "
               "before them.";
  } else {
    message += " The " + before +
               " statements since the last save were not saved; the file holds what it held "
               "before them.";
  }
  throw SaveFailed(failure.Number(), message, lost);
}

template <typename Body>
void Database::RunStatement(bool ddl, Body&& body) {
  EnableWriting();
  file_->BeginStatement();
  statement_checkpoints_ = file_->Checkpoints();
  try {
    body();
    auto now = std::chrono::steady_clock::now();
    if (ddl || rows_since_checkpoint_ >= kCheckpointRows ||
        (rows_since_checkpoint_ > 0 && now - last_checkpoint_ >= kCheckpointInterval)) {
      file_->Checkpoint();
      rows_since_checkpoint_ = 0;
      unsaved_statements_ = 0;
      last_checkpoint_ = now;
    } else {
      ++unsaved_statements_;
    }
    file_->CommitStatement();
  } catch (const SaveFailed& failure) {
    LoseUnsavedChanges(failure, true);
  } catch (...) {
    file_->RollbackStatement();
    writers_.clear();
    if (ddl) ReloadCatalogue();
    throw;
  }
  if (ddl) {
    writers_.clear();
    ReloadCatalogue();
  }
}

void Database::RunSchemaStatement(const std::function<void()>& body) {
  RunStatement(true, body);
}

void Database::Execute(std::string_view sql) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!parsed_) parsed_ = std::make_unique<Statement>();
  Statement& s = *parsed_;
  ParseStatement(sql, s);
  switch (s.kind) {
    case Statement::Kind::kInsert:
      RunStatement(false, [&] { Insert(s); });
      return;
    case Statement::Kind::kCreateTable: {
      std::vector<NewColumn> columns;
      for (const StatementColumn& c : s.columns) {
        NewColumn n;
        n.name = c.name;
        n.type = c.type;
        n.length = c.length;
        n.precision = c.precision;
        n.scale = c.scale;
        n.autonumber = c.autoincrement;
        n.required = c.not_null;
        columns.push_back(std::move(n));
      }
      CreateTable(s.table, columns);
      return;
    }
    case Statement::Kind::kDropTable:
      DropTable(s.table);
      return;
    case Statement::Kind::kSelectInto:
      CopyTable(s.table, s.source);
      return;
    case Statement::Kind::kCreateIndex:
      CreateIndex(s.table, s.index);
      return;
    case Statement::Kind::kRenameTable:
      RenameTable(s.table, s.new_name);
      return;
    case Statement::Kind::kSelectAll:
      throw JetError(error_numbers::kNotSupported,
                     "A SELECT statement returns rows; open it as a query, not as a command.");
  }
}

void Database::Checkpoint() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!file_->Writable()) return;
  try {
    file_->Checkpoint();
  } catch (const SaveFailed& failure) {
    LoseUnsavedChanges(failure, false);
  }
  rows_since_checkpoint_ = 0;
  unsaved_statements_ = 0;
  last_checkpoint_ = std::chrono::steady_clock::now();
}

void Database::Close() {
  Checkpoint();
}

TableWriter& Database::WriterFor(const CatalogueEntry& table) {
  auto it = writers_.find(table.DefinitionPage());
  if (it != writers_.end()) return *it->second;
  TableDefinition def = Definition(table.name);
  auto writer = std::make_unique<TableWriter>(*store_, std::move(def));
  if (!writer->Definition().real_indexes.empty()) {
    writer->KeepIndexes(
        header_, table.name,
        ParentLinksOf(*store_, header_, catalogue_, writer->Definition(), table.name));
  }
  TableWriter& ref = *writer;
  writers_[table.DefinitionPage()] = std::move(writer);
  return ref;
}

void Database::Insert(const Statement& s) {
  const CatalogueEntry& entry = FindTable(s.table);
  if (entry.kind != ObjectKind::kUserTable) {
    throw JetError(
        error_numbers::kNotSupported,
        "Rows cannot be added to '" + entry.name + "': it is " +
            (entry.kind == ObjectKind::kLinkedTable ? "a linked table" : "a system table") + ".");
  }
  TableWriter& writer = WriterFor(entry);
  const TableDefinition& def = writer.Definition();
  const size_t n = def.columns.size();
  const auto unit_bytes = static_cast<unsigned>(store_->FileLayout().text_char_bytes);
  values_.resize(n);
  for (Value& v : values_) v = std::monostate{};
  if (s.insert_columns.empty()) {
    if (s.values.size() != n) {
      throw JetError(error_numbers::kSyntaxError,
                     "The INSERT gives " + std::to_string(s.values.size()) + " values for the " +
                         std::to_string(n) + " columns of table '" + entry.name + "'.");
    }
    for (size_t k = 0; k < n; ++k)
      ConvertLiteral(s.values[k], def.columns[k], values_[k], unit_bytes);
  } else {
    if (s.values.size() != s.insert_columns.size()) {
      throw JetError(error_numbers::kSyntaxError,
                     "The INSERT names " + std::to_string(s.insert_columns.size()) +
                         " columns but gives " + std::to_string(s.values.size()) + " values.");
    }
    std::vector<bool> given(n, false);
    for (size_t i = 0; i < s.insert_columns.size(); ++i) {
      size_t k = 0;
      while (k < n && !NamesEqual(def.columns[k].name, s.insert_columns[i])) ++k;
      if (k == n) {
        throw JetError(
            error_numbers::kSyntaxError,
            "Table '" + entry.name + "' has no column named '" + s.insert_columns[i] + "'.");
      }
      if (given[k])
        throw JetError(error_numbers::kSyntaxError,
                       "The INSERT names the column '" + def.columns[k].name + "' twice.");
      given[k] = true;
      ConvertLiteral(s.values[i], def.columns[k], values_[k], unit_bytes);
    }
  }
  for (size_t k = 0; k < n; ++k) {
    const Column& c = def.columns[k];
    if (c.required && std::holds_alternative<std::monostate>(values_[k]) &&
        !((c.flags & 0x04) && c.type == kLong) && c.type != kComplex)
      throw NullInRequiredColumnError(c.name);
  }
  writer.Insert(values_);
  ++rows_since_checkpoint_;
}

void Database::CreateTable(const std::string& name, const std::vector<NewColumn>& columns) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunStatement(true, [&] { CreateTableInStatement(name, columns); });
}

uint32_t Database::CreateTableInStatement(const std::string& name,
                                          const std::vector<NewColumn>& columns) {
  CheckName(name, "table", NameCodePage());
  if (columns.empty())
    throw JetError(error_numbers::kSyntaxError, "A table needs at least one column.");
  if (columns.size() > 255)
    throw JetError(error_numbers::kNotSupported, "A table can have at most 255 columns.");
  for (size_t k = 0; k < columns.size(); ++k) {
    CheckName(columns[k].name, "column", NameCodePage());
    for (size_t j = 0; j < k; ++j)
      if (NamesEqual(columns[j].name, columns[k].name))
        throw JetError(error_numbers::kSyntaxError,
                       "The column name '" + columns[k].name + "' is used twice.");
    if (columns[k].type == kBigInt && header_.version < 5)
      throw JetError(error_numbers::kNotSupported,
                     "Large Number (BIGINT) columns need an Access 2016 or later file; '" +
                         columns[k].name + "' cannot be made in this one.");
    if (columns[k].type == kExtDateTime && header_.version < 6)
      throw JetError(error_numbers::kNotSupported,
                     "Date/Time Extended columns need an Access 2019 or later file.");
    if (columns[k].type == kComplex)
      throw JetError(error_numbers::kNotSupported,
                     "Attachment and multi-value columns cannot be created.");
    if (columns[k].type == kNumeric && !store_->FileLayout().decimal_columns)
      throw JetError(error_numbers::kNotSupported,
                     "Access 97 files have no Decimal type, so the column '" + columns[k].name +
                         "' cannot be made in this one: choose Double or Currency, or use an "
                         "Access 2000 or later file.");
  }
  CatalogueWriter catalogue(*store_, header_, catalogue_);
  for (const CatalogueEntry& e : catalogue_) {
    if (e.parent_id == catalogue.TablesContainer() && NamesEqual(e.name, name))
      throw JetError(error_numbers::kTableExists, "Table '" + e.name + "' already exists.");
  }

  PageStore& store = *store_;
  const Layout& l = store.FileLayout();
  TableDefinition def;
  def.page = store.AllocatePage();
  def.chain = {def.page};
  def.table_type = 0x4E;
  def.columns = LayOutColumns(columns, header_);
  if (!l.unicode_text) def.text_code_page = header_.code_page;
  def.max_columns = static_cast<uint16_t>(def.columns.size());

  // The table's usage maps: rows on map pages of their own.
  uint32_t map_page = 0;
  auto new_map = [&](uint8_t kind) {
    RowPointer where;
    if (map_page != 0) where = AddMapRow(store, map_page, kind);
    if (where.IsNull()) {
      map_page = store.AllocatePage();
      InitDataPage(store.Modify(map_page), l, 0);
      where = AddMapRow(store, map_page, kind);
    }
    return where;
  };
  def.owned_pages = new_map(0);
  def.free_pages = new_map(0);
  for (const Column& c : def.columns) {
    if (c.type != kMemo && c.type != kOle) continue;
    LongValueMaps maps;
    maps.column_number = c.number;
    maps.owned_pages = new_map(0);
    maps.free_pages = new_map(0);
    def.long_value_maps.push_back(maps);
  }
  WriteDefinition(store, def, EncodeDefinition(def, l));
  std::vector<PropertySet> properties;
  for (const NewColumn& c : columns)
    if (c.required) properties.push_back(RequiredColumnProperties(c.name));
  catalogue.AddTable(
      name, def.page,
      properties.empty() ? Binary{} : EncodePropertyBlob(properties, def.text_code_page));
  return def.page;
}

void Database::DropTable(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunStatement(true, [&] {
    const CatalogueEntry& entry = FindTable(name);
    if (entry.kind != ObjectKind::kUserTable) {
      throw JetError(
          error_numbers::kNotSupported,
          "'" + entry.name + "' cannot be dropped: it is " +
              (entry.kind == ObjectKind::kLinkedTable ? "a linked table" : "a system table") + ".");
    }
    CatalogueWriter catalogue(*store_, header_, catalogue_);
    std::vector<std::string> related = catalogue.RelationshipsOf(entry.name);
    if (!related.empty()) {
      throw JetError(error_numbers::kNotSupported, "Table '" + entry.name +
                                                       "' cannot be dropped: it takes part in a "
                                                       "relationship with '" +
                                                       related.front() +
                                                       "'. Delete the relationship first.");
    }
    TableDefinition def = Definition(entry.name);
    const int32_t id = entry.id;
    PageStore& store = *store_;
    const Layout& l = store.FileLayout();
    const uint32_t pages = store.PageCount();

    // Attachment and multi-value columns keep their values in hidden tables,
    // one per column, that go with the table; the template tables they are
    // shaped after are shared and stay.
    std::vector<TableDefinition> hidden;
    std::vector<int32_t> hidden_ids;
    std::vector<std::string> hidden_names;
    const bool complex = std::any_of(def.columns.begin(), def.columns.end(),
                                     [](const Column& c) { return c.type == kComplex; });
    if (complex) {
      const std::vector<ComplexColumnRow> rows = catalogue.ComplexColumnsOf(id);
      for (const ComplexColumnRow& r : rows) {
        if (std::find(hidden_ids.begin(), hidden_ids.end(), r.flat_table_id) != hidden_ids.end())
          continue;
        auto flat = std::find_if(catalogue_.begin(), catalogue_.end(),
                                 [&](const CatalogueEntry& e) { return e.id == r.flat_table_id; });
        if (flat == catalogue_.end()) continue;  // already gone: only the row is left to remove
        // Never a table that is not the column's own to drop.
        const bool template_table =
            flat->name.rfind("MSysComplexType", 0) == 0 ||
            std::any_of(rows.begin(), rows.end(),
                        [&](const ComplexColumnRow& o) { return o.type_table_id == flat->id; });
        if (flat->kind != ObjectKind::kSystemTable || flat->id == id || template_table)
          ThrowCorrupt("the values of column '" + r.column + "' of table '" + entry.name +
                       "' are said to be kept in '" + flat->name +
                       "', which is not a hidden table of that column. The table was not "
                       "dropped: repair the file (in Access, Compact and Repair) first");
        hidden_ids.push_back(flat->id);
        hidden_names.push_back(flat->name);
        hidden.push_back(ReadTableDefinition(store, header_, flat->DefinitionPage()));
      }
    }

    std::set<uint32_t> freed;
    std::vector<RowPointer> maps;
    // A table's definition chain, and the data, long-value and index pages
    // its maps name, where they are indeed its own.
    auto collect = [&](const TableDefinition& t) {
      freed.insert(t.chain.begin(), t.chain.end());
      maps.push_back(t.owned_pages);
      maps.push_back(t.free_pages);
      auto take = [&](RowPointer map, bool long_values) {
        if (map.IsNull()) return;
        maps.push_back(map);
        for (uint32_t p : UsageMapEditor(store, map).Pages()) {
          if (p < 3 || p >= pages) continue;
          PageBuffer b = store.Read(p);
          ByteView v = View(b);
          uint32_t owner = v.U32(l.data_owner);
          if (v.U8(0) == 0x01 && (long_values ? owner == kLongValueOwner : owner == t.page))
            freed.insert(p);
        }
      };
      take(t.owned_pages, false);
      for (const LongValueMaps& m : t.long_value_maps) {
        take(m.owned_pages, true);
        if (!m.free_pages.IsNull()) maps.push_back(m.free_pages);
      }
      for (const RealIndex& index : t.real_indexes) {
        if (index.usage_map.IsNull()) continue;
        maps.push_back(index.usage_map);
        for (uint32_t p : UsageMapEditor(store, index.usage_map).Pages()) {
          if (p < 3 || p >= pages) continue;
          PageBuffer b = store.Read(p);
          ByteView v = View(b);
          if ((v.U8(0) == 0x03 || v.U8(0) == 0x04) && v.U32(4) == t.page) freed.insert(p);
        }
      }
    };
    collect(def);
    for (const TableDefinition& t : hidden) collect(t);
    // The maps' own bitmap pages, and map pages that hold nothing but this
    // table's maps.
    std::set<uint32_t> hosts;
    std::set<std::pair<uint32_t, uint8_t>> own_rows;
    for (RowPointer m : maps) {
      if (m.IsNull()) continue;
      own_rows.insert({m.page, m.row});
      hosts.insert(m.page);
      PageBuffer b = store.Read(m.page);
      DataPage data(View(b), l, m.page);
      ByteView row = data.Row(m.row);
      if (row.U8(0) == 1)
        for (size_t off = 1; off + 4 <= row.size(); off += 4)
          if (uint32_t p = row.U32(off); p >= 3 && p < pages) freed.insert(p);
    }
    for (uint32_t host : hosts) {
      if (host < 3) continue;
      PageBuffer b = store.Read(host);
      DataPage data(View(b), l, host);
      bool only_ours = true;
      for (int i = 0; i < data.RowCount() && only_ours; ++i)
        if (!data.Slot(i).deleted && !own_rows.count({host, static_cast<uint8_t>(i)}))
          only_ours = false;
      if (only_ours) freed.insert(host);
    }
    catalogue.RemoveTable(id);
    for (int32_t hidden_id : hidden_ids) catalogue.RemoveTable(hidden_id);
    if (complex) catalogue.RemoveComplexColumns(id);
    catalogue.RemoveNavigationEntries(entry.name);
    // Access lists the hidden tables in the navigation pane's tables too.
    for (const std::string& hidden_name : hidden_names)
      catalogue.RemoveNavigationEntries(hidden_name);
    for (uint32_t p : freed) store.FreePage(p);
  });
}

void Database::CopyTable(const std::string& new_name, const std::string& source) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunStatement(true, [&] {
    const CatalogueEntry& entry = FindTable(source);
    if (entry.kind == ObjectKind::kLinkedTable)
      throw JetError(error_numbers::kNotSupported,
                     "'" + entry.name + "' is a linked table; it cannot be copied.");
    TableDefinition from = Definition(entry.name);
    std::vector<NewColumn> columns;
    for (const Column& c : from.columns) {
      if (c.type == kComplex)
        throw JetError(error_numbers::kNotSupported, "Table '" + entry.name +
                                                         "' cannot be copied: its attachment or "
                                                         "multi-value column '" +
                                                         c.name +
                                                         "' cannot be copied by this engine.");
      NewColumn n;
      n.name = c.name;
      n.type = ValueType(c);
      if (n.type == kText)
        n.length = c.IsCalculated() ? CalculatedTextLength(c)
                                    : static_cast<uint16_t>(std::max<int>(
                                          1, c.length / store_->FileLayout().text_char_bytes));
      if (n.type == kText && n.length > 255) n.type = kMemo;
      if (n.type == kBinary) n.length = c.length ? c.length : 255;
      n.precision = c.precision;
      n.scale = c.scale;
      if (n.type == kNumeric && (n.precision == 0 || n.precision > 28)) {
        n.precision = 28;
      }
      n.autonumber = (c.flags & 0x04) && c.type == kLong && !c.IsCalculated();
      n.required = c.required;
      columns.push_back(std::move(n));
    }
    CalculatedDecimals decimals(from);
    if (decimals.Any()) {
      TableReader scan(*file_, header_, from);
      decimals.Measure(scan);
      decimals.Shape(columns);
    }
    const uint32_t page = CreateTableInStatement(new_name, columns);
    TableWriter writer(*store_, ReadTableDefinition(*store_, header_, page));
    TableReader reader(*file_, header_, from);
    std::vector<Value> row;
    while (reader.Next(row)) {
      decimals.Fit(row);
      writer.Insert(row);
      // A big copy brings its pages to the file as it goes, rather than
      // holding the whole new table in memory until the statement ends.
      file_->SpillIfLarge();
    }
    writer.RaiseAutonumber(from.autonumber);
  });
}

}  // namespace jet
