#include "jet/catalogue_writer.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>

#include "jet/data_page_writer.h"
#include "jet/database.h"
#include "jet/index_key.h"
#include "jet/index_maintenance.h"
#include "jet/index_tree.h"
#include "jet/row_codec.h"
#include "jet/table_writer.h"
#include "jet/text_codec.h"
#include "jet/usage_map.h"
#include "jet/usage_map_writer.h"

namespace jet {
namespace {

constexpr uint32_t kCataloguePage = 2;
constexpr int32_t kRootContainer = 0x0F000000;
// What Access grants a new table for each permission of the Tables container.
constexpr int64_t kTableAcm = 0xFFEFF;

int ColumnIndex(const TableDefinition& def, const char* name) {
  for (size_t k = 0; k < def.columns.size(); ++k)
    if (NamesEqual(def.columns[k].name, name)) return static_cast<int>(k);
  return -1;
}

int RequireColumn(const TableDefinition& def, const char* name, const char* table) {
  int k = ColumnIndex(def, name);
  if (k < 0)
    ThrowCorrupt(std::string("the catalogue table ") + table + " lacks its column " + name);
  return k;
}

// Now, as Access stores dates: local time in days since 1899-12-30.
double Now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  long long offset = local.tm_gmtoff;
  return (static_cast<double>(t) + static_cast<double>(offset)) / 86400.0 + 25569.0;
}

// `def` with its long-value columns read and written as the fields rows
// hold (header and inline bytes), so a row can be rewritten without touching
// its long values.
TableDefinition RawFields(TableDefinition def) {
  for (Column& c : def.columns) {
    if (c.type != kMemo && c.type != kOle) continue;
    c.type = kBinary;
    c.length = 0xFFFF;
  }
  return def;
}

}  // namespace

void CheckName(const std::string& name, const char* what, uint16_t code_page) {
  const std::string names = std::string("Access ") + what + " names";
  auto refuse = [&](const std::string& why) { throw JetError(error_numbers::kBadName, why); };
  if (name.empty()) refuse(names + " cannot be empty: enter a name.");
  std::vector<uint16_t> units;
  try {
    Utf8ToUtf16(name, units);
  } catch (const JetError&) {
    refuse("The " + std::string(what) + " name is not valid text: enter it again.");
  }
  if (units.size() > 64)
    refuse(names + " have at most 64 characters: choose a shorter name than '" + name + "'.");
  if (name[0] == ' ') refuse(names + " cannot start with a blank: remove it from '" + name + "'.");
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) refuse(names + " cannot hold control characters: remove them.");
    if (c == '.' || c == '!' || c == '`' || c == '[' || c == ']')
      refuse(names + " cannot hold '" + static_cast<char>(c) + "': choose another name.");
  }
  if (code_page == 0) return;
  std::vector<uint8_t> bytes;
  if (std::optional<uint32_t> refused = AppendCodePageText(name, code_page, bytes)) {
    refuse("The " + std::string(what) + " name '" + name + "' holds " +
           NotInCodePage(*refused, code_page) + ": choose another name.");
  }
  // Table names are keys of the catalogue's index, which sorts in General 97.
  if (std::strcmp(what, "table") != 0) return;
  if (std::optional<uint32_t> unkeyed = FirstUnkeyedGeneral97Character(name, code_page)) {
    refuse("The table name '" + name + "' holds " + DescribeCharacter(*unkeyed) +
           ", which this program cannot yet sort the way Access 97 sorts table names in this "
           "file (" +
           CodePageNote(code_page) +
           "; the order is known here for code page 1252 only): choose a name without it. "
           "Column names may hold it.");
  }
}

RowPointer InsertIndexedRow(PageStore& store, const Header& header, const TableDefinition& def,
                            std::vector<Value>& values) {
  TableWriter writer(store, def);
  RowPointer where = writer.Insert(values);
  for (size_t k = 0; k < def.real_indexes.size(); ++k) {
    const RealIndex& index = def.real_indexes[k];
    IndexTree tree(store, def, index, IndexMapKeeper(store, index.usage_map));
    tree.Insert(EncodeIndexKey(def, index, values, header.IsJet3()), where);
    ChangeIndexCount(store, def, k, +1);
  }
  return where;
}

void ForEachRow(PageSource& source, const Header& header, const TableDefinition& table,
                const std::function<bool(RowPointer, std::vector<Value>&)>& visit) {
  const bool jet3 = header.IsJet3();
  RowDecoder decoder(source, header, table);
  UsageMap pages(source, jet3, table.owned_pages);
  std::vector<Value> values;
  while (std::optional<uint32_t> next = pages.Next()) {
    PageBuffer page = source.Read(*next);
    ByteView v = View(page);
    if (v.U8(0) != 0x01 || v.U32(4) != table.page) continue;
    DataPage data(v, jet3, *next);
    for (int i = 0; i < data.RowCount(); ++i) {
      RowSlot slot = data.Slot(i);
      if (slot.deleted) continue;
      ByteView bytes = data.Row(i);
      PageBuffer hold;
      if (slot.overflow) {
        RowPointer target = ReadRowPointer(bytes, 0);
        hold = source.Read(target.page);
        DataPage t(View(hold), jet3, target.page);
        bytes = t.Row(target.row);
      }
      decoder.Decode(bytes, values);
      if (!visit(RowPointer{*next, static_cast<uint8_t>(i)}, values)) return;
    }
  }
}

CatalogueWriter::CatalogueWriter(PageStore& store, const Header& header,
                                 const std::vector<CatalogueEntry>& catalogue)
    : store_(store), header_(header), catalogue_(catalogue) {
  bool found = false;
  for (const CatalogueEntry& e : catalogue) {
    if (e.parent_id == kRootContainer && e.name == "Tables") {
      tables_container_ = e.id;
      found = true;
    }
  }
  if (!found) ThrowCorrupt("the catalogue has no Tables container");
  for (const CatalogueEntry& e : catalogue) {
    if (e.parent_id != tables_container_ || (e.type & 0x7F) != 1) continue;
    if (e.name == "MSysACEs") aces_page_ = e.DefinitionPage();
    if (e.name == "MSysRelationships") relationships_page_ = e.DefinitionPage();
    if (e.name == "MSysNavPaneObjectIDs") nav_objects_page_ = e.DefinitionPage();
    if (e.name == "MSysNavPaneGroupToObjects") nav_groups_page_ = e.DefinitionPage();
    if (e.name == "MSysComplexColumns") complex_columns_page_ = e.DefinitionPage();
  }
  if (aces_page_ == 0) ThrowCorrupt("the catalogue has no MSysACEs table");
}

void CatalogueWriter::AddToIndexCount(const TableDefinition& def, size_t index, int delta) {
  ChangeIndexCount(store_, def, index, delta);
}

RowPointer CatalogueWriter::InsertRow(const TableDefinition& def, std::vector<Value>& values) {
  return InsertIndexedRow(store_, header_, def, values);
}

void CatalogueWriter::DeleteRow(const TableDefinition& def, RowPointer where,
                                const std::vector<Value>& values) {
  for (size_t k = 0; k < def.real_indexes.size(); ++k) {
    const RealIndex& index = def.real_indexes[k];
    IndexTree tree(store_, def, index, IndexMapKeeper(store_, index.usage_map));
    tree.Remove(EncodeIndexKey(def, index, values, header_.IsJet3()), where);
    AddToIndexCount(def, k, -1);
  }
  const Layout& l = store_.FileLayout();
  // Catalogue rows come and go with every table made and dropped: their
  // space is given back at once, so the catalogue does not grow forever.
  PageBuffer page = store_.Read(where.page);
  RowSlot slot = DataPage(View(page), l, where.page).Slot(where.row);
  if (slot.overflow) {
    // The row lives elsewhere; its stub here and the row itself both go.
    RowPointer target = ReadRowPointer(DataPage(View(page), l, where.page).Row(where.row), 0);
    DeleteRowOnPage(store_.Modify(target.page), l, target.row);
    DeleteRowOnPage(store_.Modify(where.page), l, where.row);
  } else {
    RemoveRowFromPage(store_.Modify(where.page), l, where.row);
  }
  if (!def.free_pages.IsNull()) UsageMapEditor(store_, def.free_pages).Add(where.page);
  uint8_t* first = store_.Modify(def.page);
  uint32_t rows = Le32(first + l.tdef_row_count);
  if (rows > 0) --rows;
  for (int k = 0; k < 4; ++k) first[l.tdef_row_count + k] = static_cast<uint8_t>(rows >> (8 * k));
}

void CatalogueWriter::AddTable(const std::string& name, uint32_t page, const Binary& properties) {
  TableDefinition objects = ReadTableDefinition(store_, header_, kCataloguePage);
  const int id = RequireColumn(objects, "Id", "MSysObjects"),
            parent = RequireColumn(objects, "ParentId", "MSysObjects"),
            name_col = RequireColumn(objects, "Name", "MSysObjects"),
            type = RequireColumn(objects, "Type", "MSysObjects"),
            flags = RequireColumn(objects, "Flags", "MSysObjects");
  const int created = ColumnIndex(objects, "DateCreate"), lv_prop = ColumnIndex(objects, "LvProp"),
            updated = ColumnIndex(objects, "DateUpdate"), owner = ColumnIndex(objects, "Owner");

  // The owner of the database's own object, as Access gives new objects.
  Binary owner_sid = {0xA6, 0x33};
  if (owner >= 0) {
    ForEachRow(store_, header_, objects, [&](RowPointer, std::vector<Value>& row) {
      const std::string* n = std::get_if<std::string>(&row[name_col]);
      if (n && *n == "MSysDb") {
        if (const Binary* b = std::get_if<Binary>(&row[owner]); b && !b->empty()) owner_sid = *b;
        return false;
      }
      return true;
    });
  }
  std::vector<Value> row(objects.columns.size());
  row[id] = static_cast<int64_t>(page);
  row[parent] = static_cast<int64_t>(tables_container_);
  row[name_col] = name;
  row[type] = int64_t{1};
  row[flags] = int64_t{0};
  double now = Now();
  if (created >= 0) row[created] = OleDate{now};
  if (updated >= 0) row[updated] = OleDate{now};
  if (owner >= 0) row[owner] = owner_sid;
  if (!properties.empty()) {
    if (lv_prop < 0) ThrowCorrupt("the catalogue has no LvProp column for the table's properties");
    row[lv_prop] = properties;
  }
  InsertRow(objects, row);

  TableDefinition aces = ReadTableDefinition(store_, header_, aces_page_);
  const int object = RequireColumn(aces, "ObjectId", "MSysACEs"),
            sid = RequireColumn(aces, "SID", "MSysACEs"),
            acm = RequireColumn(aces, "ACM", "MSysACEs");
  const int inheritable = ColumnIndex(aces, "FInheritable");
  std::vector<Binary> sids;
  ForEachRow(store_, header_, aces, [&](RowPointer, std::vector<Value>& r) {
    const int64_t* o = std::get_if<int64_t>(&r[object]);
    if (o && *o == tables_container_) {
      if (const Binary* b = std::get_if<Binary>(&r[sid])) sids.push_back(*b);
    }
    return true;
  });
  if (sids.empty()) sids.push_back({0xA6, 0x33});
  for (const Binary& s : sids) {
    std::vector<Value> ace(aces.columns.size());
    ace[object] = static_cast<int64_t>(page);
    ace[sid] = s;
    ace[acm] = kTableAcm;
    if (inheritable >= 0) ace[inheritable] = false;
    InsertRow(aces, ace);
    // Each insert changed the definition's counts; read it afresh.
    aces = ReadTableDefinition(store_, header_, aces_page_);
  }
}

void CatalogueWriter::GiveBackIfEmpty(uint32_t page, const LongValueMaps* maps) {
  if (!maps) return;
  PageBuffer b = store_.Read(page);
  DataPage data(View(b), store_.FileLayout(), page);
  for (int i = 0; i < data.RowCount(); ++i)
    if (!data.Slot(i).deleted) return;
  // Each catalogue write starts a fresh long-value page, so without this
  // every table made and dropped would leave one empty page behind.
  UsageMapEditor(store_, maps->owned_pages).Remove(page);
  if (!maps->free_pages.IsNull()) UsageMapEditor(store_, maps->free_pages).Remove(page);
  store_.FreePage(page);
}

void CatalogueWriter::RemoveLongValue(ByteView field, const LongValueMaps* maps) {
  if (field.size() < 12) return;
  const uint32_t head = field.U32(0);
  if (head & 0x80000000u) return;  // inline: nothing elsewhere
  const bool single = (head & 0x40000000u) != 0;
  const Layout& l = store_.FileLayout();
  const uint32_t pages = store_.PageCount();
  RowPointer at = ReadRowPointer(field, 4);
  // A chain cannot be longer than the pages could hold; the bound stops a
  // damaged pointer loop.
  for (uint32_t hops = 0; !at.IsNull() && hops < pages * 256u; ++hops) {
    if (at.page < 3 || at.page >= pages)
      ThrowCorrupt("a long value of the catalogue points past the file");
    PageBuffer page = store_.Read(at.page);
    DataPage data(View(page), l, at.page);
    if (View(page).U8(0) != 0x01 || at.row >= data.RowCount() || data.Slot(at.row).deleted)
      ThrowCorrupt("a long value of the catalogue points at a row that is not there");
    RowPointer next;
    if (!single) next = ReadRowPointer(data.Row(at.row), 0);
    RemoveRowFromPage(store_.Modify(at.page), l, at.row);
    GiveBackIfEmpty(at.page, maps);
    if (single) return;
    at = next;
  }
}

void CatalogueWriter::RemoveTable(int32_t object_id) {
  TableDefinition objects = ReadTableDefinition(store_, header_, kCataloguePage);
  const int id = RequireColumn(objects, "Id", "MSysObjects");
  // The long values (the property blob, mostly) are read as the fields the
  // row holds, so that their LVAL rows can be given back with the row.
  TableDefinition raw = objects;
  for (Column& c : raw.columns)
    if (c.type == kMemo || c.type == kOle) c.type = kBinary;
  std::vector<std::pair<RowPointer, std::vector<Value>>> found;
  ForEachRow(store_, header_, raw, [&](RowPointer where, std::vector<Value>& row) {
    const int64_t* v = std::get_if<int64_t>(&row[id]);
    if (v && *v == object_id) found.emplace_back(where, row);
    return true;
  });
  if (found.size() != 1) ThrowCorrupt("the catalogue does not hold the table's row exactly once");
  for (size_t k = 0; k < objects.columns.size(); ++k) {
    const uint8_t type = objects.columns[k].type;
    if (type != kMemo && type != kOle) continue;
    const LongValueMaps* maps = nullptr;
    for (const LongValueMaps& m : objects.long_value_maps)
      if (m.column_number == objects.columns[k].number) maps = &m;
    if (const Binary* field = std::get_if<Binary>(&found[0].second[k]))
      RemoveLongValue(ByteView(field->data(), field->size()), maps);
  }
  DeleteRow(objects, found[0].first, found[0].second);

  DeleteRowsNaming(aces_page_, "MSysACEs", "ObjectId", object_id);
}

void CatalogueWriter::DeleteRowsNaming(uint32_t table_page, const char* table, const char* column,
                                       int32_t id) {
  TableDefinition def = ReadTableDefinition(store_, header_, table_page);
  const int at = RequireColumn(def, column, table);
  std::vector<std::pair<RowPointer, std::vector<Value>>> found;
  ForEachRow(store_, header_, def, [&](RowPointer where, std::vector<Value>& row) {
    const int64_t* v = std::get_if<int64_t>(&row[at]);
    if (v && *v == id) found.emplace_back(where, row);
    return true;
  });
  // Each deletion may change the definition (its row count), so it is read again.
  for (auto& [where, row] : found) {
    DeleteRow(def, where, row);
    def = ReadTableDefinition(store_, header_, table_page);
  }
}

void CatalogueWriter::RemoveNavigationEntries(const std::string& name) {
  if (nav_objects_page_ == 0) return;
  TableDefinition objects = ReadTableDefinition(store_, header_, nav_objects_page_);
  const int id = ColumnIndex(objects, "Id"), name_col = ColumnIndex(objects, "Name"),
            type = ColumnIndex(objects, "Type");
  if (id < 0 || name_col < 0 || type < 0) return;
  std::vector<std::pair<RowPointer, std::vector<Value>>> found;
  std::vector<int64_t> ids;
  ForEachRow(store_, header_, objects, [&](RowPointer where, std::vector<Value>& row) {
    const std::string* n = std::get_if<std::string>(&row[name_col]);
    const int64_t* t = std::get_if<int64_t>(&row[type]);
    const int64_t* i = std::get_if<int64_t>(&row[id]);
    if (n && t && i && *t == 1 && NamesEqual(*n, name)) {
      found.emplace_back(where, row);
      ids.push_back(*i);
    }
    return true;
  });
  for (auto& [where, row] : found) {
    DeleteRow(objects, where, row);
    objects = ReadTableDefinition(store_, header_, nav_objects_page_);
  }
  if (ids.empty() || nav_groups_page_ == 0) return;
  TableDefinition groups = ReadTableDefinition(store_, header_, nav_groups_page_);
  const int object = ColumnIndex(groups, "ObjectID");
  if (object < 0) return;
  found.clear();
  ForEachRow(store_, header_, groups, [&](RowPointer where, std::vector<Value>& row) {
    const int64_t* o = std::get_if<int64_t>(&row[object]);
    if (o && std::find(ids.begin(), ids.end(), *o) != ids.end()) found.emplace_back(where, row);
    return true;
  });
  for (auto& [where, row] : found) {
    DeleteRow(groups, where, row);
    groups = ReadTableDefinition(store_, header_, nav_groups_page_);
  }
}

std::vector<ComplexColumnRow> CatalogueWriter::ComplexColumnsOf(int32_t id) {
  std::vector<ComplexColumnRow> out;
  if (complex_columns_page_ == 0) return out;
  TableDefinition def = ReadTableDefinition(store_, header_, complex_columns_page_);
  const char* table = "MSysComplexColumns";
  const int name = RequireColumn(def, "ColumnName", table),
            conceptual = RequireColumn(def, "ConceptualTableID", table),
            flat = RequireColumn(def, "FlatTableID", table),
            type = RequireColumn(def, "ComplexTypeObjectID", table);
  auto number = [](const Value& v) {
    const int64_t* i = std::get_if<int64_t>(&v);
    return i ? static_cast<int32_t>(*i) : 0;
  };
  ForEachRow(store_, header_, def, [&](RowPointer, std::vector<Value>& row) {
    if (number(row[conceptual]) != id) return true;
    ComplexColumnRow r;
    if (const std::string* s = std::get_if<std::string>(&row[name])) r.column = *s;
    r.flat_table_id = number(row[flat]);
    r.type_table_id = number(row[type]);
    out.push_back(std::move(r));
    return true;
  });
  return out;
}

void CatalogueWriter::RemoveComplexColumns(int32_t id) {
  if (complex_columns_page_ == 0) return;
  DeleteRowsNaming(complex_columns_page_, "MSysComplexColumns", "ConceptualTableID", id);
}

std::vector<std::string> CatalogueWriter::RelationshipsOf(const std::string& name) {
  std::vector<std::string> out;
  if (relationships_page_ == 0) return out;
  TableDefinition rel = ReadTableDefinition(store_, header_, relationships_page_);
  const int from = ColumnIndex(rel, "szObject"), to = ColumnIndex(rel, "szReferencedObject");
  if (from < 0 || to < 0) return out;
  ForEachRow(store_, header_, rel, [&](RowPointer, std::vector<Value>& row) {
    const std::string* a = std::get_if<std::string>(&row[from]);
    const std::string* b = std::get_if<std::string>(&row[to]);
    if (a && b) {
      if (NamesEqual(*a, name))
        out.push_back(*b);
      else if (NamesEqual(*b, name))
        out.push_back(*a);
    }
    return true;
  });
  return out;
}

std::vector<RelationshipColumn> CatalogueWriter::Relationships() {
  std::vector<RelationshipColumn> out;
  if (relationships_page_ == 0) return out;
  TableDefinition rel = ReadTableDefinition(store_, header_, relationships_page_);
  const int name = ColumnIndex(rel, "szRelationship"), child = ColumnIndex(rel, "szObject"),
            child_column = ColumnIndex(rel, "szColumn"),
            parent = ColumnIndex(rel, "szReferencedObject"),
            parent_column = ColumnIndex(rel, "szReferencedColumn"),
            flags = ColumnIndex(rel, "grbit"), position = ColumnIndex(rel, "icolumn");
  if (name < 0 || child < 0 || child_column < 0 || parent < 0 || parent_column < 0 || flags < 0 ||
      position < 0)
    return out;
  auto text = [](const Value& v) {
    const std::string* s = std::get_if<std::string>(&v);
    return s ? *s : std::string();
  };
  auto number = [](const Value& v) {
    const int64_t* i = std::get_if<int64_t>(&v);
    return i ? *i : 0;
  };
  ForEachRow(store_, header_, rel, [&](RowPointer, std::vector<Value>& row) {
    RelationshipColumn r;
    r.name = text(row[name]);
    r.child = text(row[child]);
    r.child_column = text(row[child_column]);
    r.parent = text(row[parent]);
    r.parent_column = text(row[parent_column]);
    r.flags = number(row[flags]);
    r.position = number(row[position]);
    out.push_back(std::move(r));
    return true;
  });
  return out;
}

void CatalogueWriter::RewriteText(uint32_t def_page, RowPointer where,
                                  const std::vector<Value>& raw, size_t column,
                                  const std::string& text) {
  TableDefinition def = RawFields(ReadTableDefinition(store_, header_, def_page));
  DeleteRow(def, where, raw);
  // The delete moved the definition's counts: read it afresh.
  def = RawFields(ReadTableDefinition(store_, header_, def_page));
  std::vector<Value> values = raw;
  values[column] = text;
  InsertIndexedRow(store_, header_, def, values);
}

void CatalogueWriter::RenameTable(int32_t object_id, const std::string& old_name,
                                  const std::string& new_name) {
  struct Found {
    RowPointer where;
    std::vector<Value> row;
    size_t column;
  };
  // Gathers first and rewrites after, so no row is met twice.
  auto gather = [&](uint32_t page, auto&& match) {
    std::vector<Found> found;
    if (page == 0) return found;
    TableDefinition raw = RawFields(ReadTableDefinition(store_, header_, page));
    ForEachRow(store_, header_, raw, [&](RowPointer where, std::vector<Value>& row) {
      for (size_t column : match(raw, row)) found.push_back(Found{where, row, column});
      return true;
    });
    return found;
  };
  auto names = [&](const std::vector<Value>& row, int column) {
    if (column < 0) return false;
    const std::string* s = std::get_if<std::string>(&row[column]);
    return s && NamesEqual(*s, old_name);
  };

  std::vector<Found> objects =
      gather(kCataloguePage, [&](const TableDefinition& def, const std::vector<Value>& row) {
        const int64_t* id = std::get_if<int64_t>(&row[RequireColumn(def, "Id", "MSysObjects")]);
        std::vector<size_t> hit;
        if (id && *id == object_id)
          hit.push_back(static_cast<size_t>(RequireColumn(def, "Name", "MSysObjects")));
        return hit;
      });
  if (objects.size() != 1) ThrowCorrupt("the catalogue does not hold the table's row exactly once");
  RewriteText(kCataloguePage, objects[0].where, objects[0].row, objects[0].column, new_name);

  // A row naming the table on both sides (a relationship with itself) is
  // rewritten twice, one column at a time, each time from its current place.
  for (const char* side : {"szObject", "szReferencedObject"}) {
    std::vector<Found> rows =
        gather(relationships_page_, [&](const TableDefinition& def, const std::vector<Value>& row) {
          std::vector<size_t> hit;
          int column = ColumnIndex(def, side);
          if (names(row, column)) hit.push_back(static_cast<size_t>(column));
          return hit;
        });
    for (const Found& f : rows)
      RewriteText(relationships_page_, f.where, f.row, f.column, new_name);
  }

  std::vector<Found> nav =
      gather(nav_objects_page_, [&](const TableDefinition& def, const std::vector<Value>& row) {
        std::vector<size_t> hit;
        const int name = ColumnIndex(def, "Name"), type = ColumnIndex(def, "Type");
        if (type < 0) return hit;
        const int64_t* t = std::get_if<int64_t>(&row[type]);
        if (t && *t == 1 && names(row, name)) hit.push_back(static_cast<size_t>(name));
        return hit;
      });
  for (const Found& f : nav) RewriteText(nav_objects_page_, f.where, f.row, f.column, new_name);
}

}  // namespace jet
