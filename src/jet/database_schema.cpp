// The statements of a Database that change a table's shape without touching
// its rows: CREATE INDEX, and the rename of a table in place.
#include <algorithm>

#include "jet/catalogue_writer.h"
#include "jet/data_page_writer.h"
#include "jet/database.h"
#include "jet/file_store.h"
#include "jet/index_maintenance.h"
#include "jet/index_tree.h"
#include "jet/sql.h"
#include "jet/table_definition_writer.h"
#include "jet/usage_map_writer.h"

namespace jet {
namespace {

// The column types whose index keys the engine builds.
bool Indexable(uint8_t type) {
  switch (type) {
    case kBool:
    case kByte:
    case kInt:
    case kLong:
    case kBigInt:
    case kMoney:
    case kFloat:
    case kDouble:
    case kDateTime:
    case kGuid:
    case kBinary:
    case kText:
      return true;
    default:
      return false;
  }
}

// A new index's usage map: inline, starting at its root page, which it holds.
RowPointer AddIndexMap(PageStore& store, uint32_t near_page, uint32_t root) {
  const Layout& l = store.FileLayout();
  std::vector<uint8_t> row(l.InlineMapRowLength());
  InitUsageMapRow(row.data(), row.size(), 0, root);
  row[5] |= 0x01;
  const ByteView bytes(row.data(), row.size());
  if (near_page != 0) {
    int slot = AddRowToPage(store.Modify(near_page), l, bytes);
    if (slot >= 0) return RowPointer{near_page, static_cast<uint8_t>(slot)};
  }
  uint32_t page = store.AllocatePage();
  InitDataPage(store.Modify(page), l, 0);
  int slot = AddRowToPage(store.Modify(page), l, bytes);
  if (slot < 0) throw std::logic_error("a fresh page refused a usage map");
  return RowPointer{page, static_cast<uint8_t>(slot)};
}

}  // namespace

void Database::CreateIndex(const std::string& table, const StatementIndex& wanted) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunSchemaStatement([&] {
    const CatalogueEntry& entry = FindTable(table);
    if (entry.kind != ObjectKind::kUserTable)
      throw JetError(error_numbers::kNotSupported,
                     "'" + entry.name + "' cannot take an index: it is not a local table.");
    CheckName(wanted.name, "index", NameCodePage());
    TableDefinition def = Definition(entry.name);
    for (const LogicalIndex& l : def.logical_indexes) {
      if (NamesEqual(l.name, wanted.name))
        throw JetError(error_numbers::kTableExists,
                       "Table '" + entry.name + "' already has an index named '" + l.name + "'.");
      if (wanted.primary && l.kind == 1)
        throw JetError(error_numbers::kTableExists,
                       "Table '" + entry.name + "' already has a primary key ('" + l.name + "').");
    }
    if (wanted.columns.empty() || wanted.columns.size() > 10)
      throw JetError(error_numbers::kNotSupported, "An index takes 1 to 10 columns.");
    RealIndex index;
    for (const StatementIndexColumn& c : wanted.columns) {
      auto it = std::find_if(def.columns.begin(), def.columns.end(),
                             [&](const Column& col) { return NamesEqual(col.name, c.name); });
      if (it == def.columns.end())
        throw JetError(error_numbers::kSyntaxError,
                       "Table '" + entry.name + "' has no column named '" + c.name + "'.");
      if (!Indexable(it->type) || it->IsCalculated())
        throw JetError(error_numbers::kNotSupported,
                       "The column '" + it->name + "' cannot be indexed by this engine: only " +
                           "text, number, currency, date, Yes/No, GUID and binary columns can.");
      for (const IndexColumn& have : index.columns)
        if (have.column_number == it->number)
          throw JetError(error_numbers::kSyntaxError,
                         "The index names the column '" + it->name + "' twice.");
      index.columns.push_back(IndexColumn{it->number, c.ascending});
    }
    index.flags = store_->FileLayout().new_index_flags;
    if (wanted.unique || wanted.primary) index.flags |= 0x01;
    if (wanted.ignore_null) index.flags |= 0x02;
    if (wanted.primary || wanted.disallow_null) index.flags |= 0x08;

    PageStore& store = *store_;
    index.root_page = store.AllocatePage();
    IndexTree::WriteEmptyRoot(store, index.root_page, def.page);
    index.usage_map = AddIndexMap(store, def.owned_pages.page, index.root_page);
    LogicalIndex logical;
    logical.name = wanted.name;
    logical.number = static_cast<uint32_t>(def.logical_indexes.size());
    logical.real_index = static_cast<uint32_t>(def.real_indexes.size());
    logical.kind = wanted.primary ? 1 : 0;
    def.real_indexes.push_back(index);
    def.logical_indexes.push_back(logical);
    WriteDefinition(store, def, EncodeDefinition(def, store.FileLayout()));

    // The new index takes an entry for every row already in the table.
    const TableDefinition stored = ReadTableDefinition(store, header_, def.page);
    TableDefinition only = stored;
    only.real_indexes = {stored.real_indexes.back()};
    only.logical_indexes = {stored.logical_indexes.back()};
    only.logical_indexes[0].real_index = 0;
    TableIndexes keeper(store, header_, only, entry.name);
    std::vector<std::pair<RowPointer, std::vector<Value>>> rows;
    ForEachRow(store, header_, stored, [&](RowPointer where, std::vector<Value>& values) {
      rows.emplace_back(where, values);
      return true;
    });
    for (auto& [where, values] : rows) {
      try {
        keeper.Check(values);
        keeper.Add(where);
      } catch (const JetError& e) {
        std::string why = e.what();
        const std::string lead = "The row was not added to '" + entry.name + "': ";
        if (why.rfind(lead, 0) == 0) why = why.substr(lead.size());
        throw JetError(e.Number(), "The index '" + wanted.name + "' cannot be made on '" +
                                       entry.name + "': for a row already in the table, " + why);
      }
    }
  });
}

void Database::RenameTable(const std::string& old_name, const std::string& new_name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunSchemaStatement([&] {
    const CatalogueEntry& entry = FindTable(old_name);
    if (entry.kind != ObjectKind::kUserTable) {
      throw JetError(
          error_numbers::kNotSupported,
          "'" + entry.name + "' cannot be renamed: it is " +
              (entry.kind == ObjectKind::kLinkedTable ? "a linked table" : "a system table") + ".");
    }
    CheckName(new_name, "table", NameCodePage());
    if (entry.name == new_name) return;
    CatalogueWriter catalogue(*store_, header_, catalogue_);
    for (const CatalogueEntry& e : catalogue_) {
      if (e.id != entry.id && e.parent_id == catalogue.TablesContainer() &&
          NamesEqual(e.name, new_name))
        throw JetError(error_numbers::kTableExists,
                       "'" + new_name + "' cannot be the table's new name: the database already " +
                           "has an object called '" + e.name + "'.");
    }
    catalogue.RenameTable(entry.id, entry.name, new_name);
  });
}

}  // namespace jet
