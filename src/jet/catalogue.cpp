#include "jet/catalogue.h"

#include "jet/table_reader.h"

namespace jet {
namespace {

constexpr uint32_t kCataloguePage = 2;
constexpr int32_t kRootContainer = 0x0F000000;

int FindColumn(const TableDefinition& def, const char* name) {
  for (size_t k = 0; k < def.columns.size(); ++k)
    if (def.columns[k].name == name) return static_cast<int>(k);
  return -1;
}

int64_t IntAt(const std::vector<Value>& row, int k) {
  if (k < 0 || !std::holds_alternative<int64_t>(row[k])) return 0;
  return std::get<int64_t>(row[k]);
}

std::string TextAt(const std::vector<Value>& row, int k) {
  if (k < 0 || !std::holds_alternative<std::string>(row[k])) return {};
  return std::get<std::string>(row[k]);
}

Binary BinaryAt(std::vector<Value>& row, int k) {
  if (k < 0 || !std::holds_alternative<Binary>(row[k])) return {};
  return std::move(std::get<Binary>(row[k]));
}

}  // namespace

std::vector<CatalogueEntry> ReadCatalogue(PageSource& file, const Header& header) {
  TableDefinition def = ReadTableDefinition(file, header, kCataloguePage);
  const int id = FindColumn(def, "Id"), parent = FindColumn(def, "ParentId"),
            name = FindColumn(def, "Name"), type = FindColumn(def, "Type"),
            flags = FindColumn(def, "Flags"), database = FindColumn(def, "Database"),
            connect = FindColumn(def, "Connect"), foreign = FindColumn(def, "ForeignName"),
            properties = FindColumn(def, "LvProp");
  if (id < 0 || parent < 0 || name < 0 || type < 0 || flags < 0) {
    ThrowCorrupt("the catalogue lacks its Id, ParentId, Name, Type or Flags column");
  }
  std::vector<bool> wanted(def.columns.size(), false);
  for (int k : {id, parent, name, type, flags, database, connect, foreign, properties})
    if (k >= 0) wanted[k] = true;
  // LvProp is taken as the bytes the row holds, not the long value they
  // point to: most objects' blobs are never needed, and reading them all
  // would read many pages at every open.
  if (properties >= 0) def.columns[properties].type = kBinary;

  TableReader reader(file, header, def);
  reader.SetWantedColumns(wanted);
  std::vector<CatalogueEntry> entries;
  std::vector<Value> row;
  int32_t tables_container = 0;
  bool have_container = false;
  while (reader.Next(row)) {
    CatalogueEntry e;
    e.id = static_cast<int32_t>(IntAt(row, id));
    e.parent_id = static_cast<int32_t>(IntAt(row, parent));
    e.name = TextAt(row, name);
    e.type = static_cast<int32_t>(IntAt(row, type));
    e.flags = static_cast<uint32_t>(IntAt(row, flags));
    e.linked_database = TextAt(row, database);
    e.connect = TextAt(row, connect);
    e.foreign_name = TextAt(row, foreign);
    e.properties_field = BinaryAt(row, properties);
    if (e.parent_id == kRootContainer && e.name == "Tables") {
      tables_container = e.id;
      have_container = true;
    }
    entries.push_back(std::move(e));
  }
  for (CatalogueEntry& e : entries) {
    const int kind = e.type & 0x7F;
    const bool ui_object = (e.type & 0x8000) != 0;
    const bool system = (e.flags & 0x80000002u) != 0;
    if (ui_object) {
      // Access's own objects keep their kind kOther.
    } else if (kind == 1 && (!have_container || e.parent_id == tables_container)) {
      e.kind = system ? ObjectKind::kSystemTable : ObjectKind::kUserTable;
    } else if (kind == 4 || kind == 6) {
      e.kind = ObjectKind::kLinkedTable;
    } else if (kind == 5) {
      e.kind = ObjectKind::kQuery;
      e.select_query = (e.flags & 0xF0) == 0;
    }
    if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable)
      Binary().swap(e.properties_field);
  }
  return entries;
}

}  // namespace jet
