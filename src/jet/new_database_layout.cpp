#include "jet/new_database_layout.h"

#include <cstring>

#include "jet/table_definition.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

// Descriptor flags of the engine's own columns: fixed or variable, updatable,
// and 0x10, which every column of these tables carries in Access's files.
constexpr uint8_t kFixed = 0x13;
constexpr uint8_t kVariable = 0x12;
// SID columns carry 0x20 as well.
constexpr uint8_t kSidColumn = 0x32;
// The columns of the complex-type tables: plain updatable columns.
constexpr uint8_t kPlainFixed = 0x03;
constexpr uint8_t kPlainVariable = 0x02;

constexpr uint16_t kTextBytes = 510;  // TEXT(255): two bytes a character

constexpr int32_t kRoot = 0x0F000000;
constexpr int32_t kTables = 0x0F000001;
constexpr int32_t kDatabases = 0x0F000002;
constexpr int32_t kRelationships = 0x0F000003;
constexpr int32_t kDatabaseObject = 0x10000000;
constexpr uint32_t kSystem = 0x80000000u;

// The holders of permissions, as one Jet-made file stores them (see
// database_create.cpp on why these values are kept as found).
const Binary kAdmin = {0x64, 0x8B};
const Binary kUsers = {0x65, 0x8B};
const Binary kCreator = {0x65, 0x8E};
const Binary kEngine = {0x65, 0x89};

// Every right there is; the other masks below are as the Jet-made file holds them.
constexpr int32_t kAll = 0xFFFFF;

SystemTable Catalogue() {
  return {"MSysObjects",
          0x53,
          kSystem,
          {
              {"Id", kLong, 4, kFixed},
              {"ParentId", kLong, 4, kFixed},
              {"Name", kText, kTextBytes, kVariable},
              {"Type", kInt, 2, kFixed},
              {"DateCreate", kDateTime, 8, kFixed},
              {"DateUpdate", kDateTime, 8, kFixed},
              {"Owner", kBinary, kTextBytes, kSidColumn},
              {"Flags", kLong, 4, kFixed},
              {"Database", kMemo, 0, kVariable},
              {"Connect", kMemo, 0, kVariable},
              {"ForeignName", kText, kTextBytes, kVariable},
              {"RmtInfoShort", kBinary, kTextBytes, kVariable},
              {"RmtInfoLong", kOle, 0, kVariable},
              {"Lv", kOle, 0, kVariable},
              {"LvProp", kOle, 0, kVariable},
              {"LvModule", kOle, 0, kVariable},
              {"LvExtra", kOle, 0, kVariable},
          },
          {
              {"ParentIdName", {1, 2}, 0x81, 0},
              {"Id", {0}, 0x81, 1},
          }};
}

SystemTable Permissions() {
  return {"MSysACEs",
          0x53,
          kSystem,
          {
              {"ObjectId", kLong, 4, kFixed},
              {"SID", kBinary, kTextBytes, kSidColumn},
              {"ACM", kLong, 4, kFixed},
              {"FInheritable", kBool, 1, kFixed},
          },
          {{"ObjectId", {0}, 0x88, 0}}};
}

SystemTable Queries() {
  return {"MSysQueries",
          0x53,
          kSystem,
          {
              {"ObjectId", kLong, 4, kFixed},
              {"Attribute", kByte, 1, kFixed},
              {"Order", kBinary, kTextBytes, kVariable},
              {"Name1", kText, kTextBytes, kVariable},
              {"Name2", kText, kTextBytes, kVariable},
              {"Expression", kMemo, 0, kVariable},
              {"Flag", kInt, 2, kFixed},
              {"LvExtra", kLong, 4, kFixed},
          },
          {{"ObjectIdAttribute", {0, 1, 2}, 0x81, 1}}};
}

SystemTable Relationships() {
  return {"MSysRelationships",
          0x53,
          kSystem,
          {
              {"szRelationship", kText, kTextBytes, kVariable},
              {"grbit", kLong, 4, kFixed},
              {"ccolumn", kLong, 4, kFixed},
              {"icolumn", kLong, 4, kFixed},
              {"szObject", kText, kTextBytes, kVariable},
              {"szColumn", kText, kTextBytes, kVariable},
              {"szReferencedObject", kText, kTextBytes, kVariable},
              {"szReferencedColumn", kText, kTextBytes, kVariable},
          },
          {
              {"szRelationship", {0}, 0x82, 0},
              {"szObject", {4}, 0x82, 0},
              {"szReferencedObject", {6}, 0x82, 0},
          }};
}

SystemTable ComplexColumns() {
  return {"MSysComplexColumns",
          0x4E,
          kSystem,
          {
              {"ColumnName", kText, kTextBytes, kVariable},
              {"ComplexTypeObjectID", kLong, 4, kFixed},
              {"FlatTableID", kLong, 4, kFixed},
              {"ConceptualTableID", kLong, 4, kFixed},
              {"ComplexID", kLong, 4, kFixed | 0x04},
          },
          {
              {"IdxID", {4}, 0x8B, 1},
              {"IdxConceptualTableID", {3}, 0x8A, 0},
              {"IdxFlatTableID", {2}, 0x8A, 0},
          }};
}

// A value-kind table of multi-value columns: one column, Value.
SystemTable ComplexType(const char* name, SystemColumn value) {
  return {name, 0x4E, kSystem | 0x30000, {value}, {}};
}

}  // namespace

std::vector<SystemTable> SystemTablesFor(NewFormat format) {
  std::vector<SystemTable> out = {Catalogue(), Permissions(), Queries(), Relationships()};
  if (format == NewFormat::kAccess97) {
    // Access 97 has the same four tables with text and binary columns of 255
    // bytes, its indexes without the 0x80 flag of later versions, and
    // MSysQueries without LvExtra.
    for (SystemTable& t : out) {
      for (SystemColumn& c : t.columns)
        if (c.length == kTextBytes) c.length = 255;
      for (SystemIndex& i : t.indexes) i.flags &= 0x7F;
    }
    std::vector<SystemColumn>& queries = out[2].columns;
    queries.erase(queries.begin() + 7);
    return out;
  }
  if (format != NewFormat::kAccess2007) return out;
  out.push_back(ComplexColumns());
  out.push_back(ComplexType("MSysComplexType_UnsignedByte", {"Value", kByte, 1, kPlainFixed}));
  out.push_back(ComplexType("MSysComplexType_Short", {"Value", kInt, 2, kPlainFixed}));
  out.push_back(ComplexType("MSysComplexType_Long", {"Value", kLong, 4, kPlainFixed}));
  out.push_back(ComplexType("MSysComplexType_IEEESingle", {"Value", kFloat, 4, kPlainFixed}));
  out.push_back(ComplexType("MSysComplexType_IEEEDouble", {"Value", kDouble, 8, kPlainFixed}));
  out.push_back(ComplexType("MSysComplexType_GUID", {"Value", kGuid, 16, kPlainFixed}));
  // Access keeps this one variable, 9 bytes long, precision 18.
  out.push_back(
      ComplexType("MSysComplexType_Decimal", {"Value", kNumeric, 9, kPlainVariable, 0, 18, 0}));
  out.push_back(ComplexType("MSysComplexType_Text", {"Value", kText, kTextBytes, kPlainVariable}));
  // The attachment kind: 0x10 in the extra flags of each of its columns.
  SystemTable attachment = {"MSysComplexType_Attachment",
                            0x4E,
                            kSystem | 0x30000,
                            {
                                {"FileURL", kMemo, 0, kPlainVariable, 0x10},
                                {"FileName", kText, kTextBytes, kPlainVariable, 0x10},
                                {"FileType", kText, kTextBytes, kPlainVariable, 0x10},
                                {"FileData", kOle, 0, kPlainVariable, 0x10},
                                {"FileTimeStamp", kDateTime, 8, kPlainFixed, 0x10},
                                {"FileFlags", kLong, 4, kPlainFixed, 0x10},
                            },
                            {}};
  out.push_back(attachment);
  return out;
}

std::vector<CatalogueObject> FixedObjectsBefore() {
  return {
      {kTables, kRoot, "Tables", 3, kSystem},
      {kDatabases, kRoot, "Databases", 3, kSystem},
      {kRelationships, kRoot, "Relationships", 3, kSystem},
      {kDatabaseObject, kDatabases, "MSysDb", 2, kSystem},
  };
}

std::vector<CatalogueObject> FixedObjectsAfter() {
  // The containers of Access's own objects; their ids are the first of the
  // synthetic ids (0x80000000 up) that later queries and relationships follow.
  const char* names[] = {"DataAccessPages", "Forms", "Modules", "Reports", "Scripts", "SysRel"};
  std::vector<CatalogueObject> out;
  int32_t id = INT32_MIN;
  for (const char* n : names) out.push_back({id++, kRoot, n, 3, 0});
  return out;
}

std::vector<Permission> PermissionsFor(const std::vector<uint32_t>& pages) {
  std::vector<Permission> out = {
      {kTables, kCreator, 0xF00FE, true},       {kTables, kAdmin, 0xFFEFF, true},
      {kTables, kUsers, 0xFFEFF, true},         {kRelationships, kCreator, 0xF00FE, true},
      {kRelationships, kAdmin, 0x60001, false}, {kRelationships, kUsers, kAll, true},
      {kDatabases, kAdmin, 0x60000, false},     {kDatabaseObject, kAdmin, 0x6000E, false},
      {kDatabaseObject, kUsers, 14, false},
  };
  for (size_t k = 0; k < pages.size(); ++k) {
    const int32_t id = static_cast<int32_t>(pages[k]);
    // MSysRelationships grants its owner a little more than the others.
    out.push_back({id, kAdmin, k == 3 ? 0xE0000 : 0x60000, false});
    // Users may read the catalogue, queries, relationships and the
    // complex-column tables, but not the permissions.
    if (k != 1) out.push_back({id, kUsers, 20, false});
  }
  for (const CatalogueObject& c : FixedObjectsAfter())
    for (const Binary& who : {kUsers, kAdmin, kCreator}) out.push_back({c.id, who, kAll, true});
  return out;
}

Binary DatabaseOwner() {
  return kAdmin;
}

Binary EngineOwner() {
  return kEngine;
}

std::vector<uint8_t> DatabaseProperties(NewFormat format) {
  // "MR2\0"; a chunk naming the properties; a chunk of the object's own values.
  std::vector<uint8_t> out = {'M', 'R', '2', 0};
  auto put16 = [](std::vector<uint8_t>& v, size_t n) {
    v.push_back(static_cast<uint8_t>(n));
    v.push_back(static_cast<uint8_t>(n >> 8));
  };
  auto put32 = [](std::vector<uint8_t>& v, size_t n) {
    for (int k = 0; k < 4; ++k) v.push_back(static_cast<uint8_t>(n >> (8 * k)));
  };
  // Access 97 ("KKD\0") keeps names and text in its code page; the text here is ASCII.
  const bool jet3 = format == NewFormat::kAccess97;
  if (jet3) out = {'K', 'K', 'D', 0};
  auto ucs2 = [&](const char* text) {
    std::vector<uint16_t> units;
    Utf8ToUtf16(text, units);
    std::vector<uint8_t> bytes;
    if (jet3) return std::vector<uint8_t>(text, text + std::strlen(text));
    AppendUcs2(units.data(), units.size(), bytes);
    return bytes;
  };
  const std::vector<uint8_t> name = ucs2("AccessVersion");
  const char* version = format == NewFormat::kAccess2000 ? "08.50" : jet3 ? "07.53" : "09.50";
  const std::vector<uint8_t> value = ucs2(version);

  std::vector<uint8_t> names;
  put16(names, name.size());
  names.insert(names.end(), name.begin(), name.end());
  put32(out, 6 + names.size());
  put16(out, 0x80);
  out.insert(out.end(), names.begin(), names.end());

  std::vector<uint8_t> entry;
  put16(entry, 8 + value.size());
  entry.push_back(0x00);  // not a DDL property
  entry.push_back(kText);
  put16(entry, 0);  // the first name of the list
  put16(entry, value.size());
  entry.insert(entry.end(), value.begin(), value.end());
  // The object's own values: a block with an empty name, then the entries.
  put32(out, 6 + 6 + entry.size());
  put16(out, 0x00);
  put32(out, 6);
  put16(out, 0);
  out.insert(out.end(), entry.begin(), entry.end());
  return out;
}

}  // namespace jet
