// Tables with attachment and multi-value columns, in files Access made (this
// engine does not make such columns): a new row gets empty lists under the
// next reference the table's definition keeps, with every index kept; a
// dropped table takes its hidden value tables and their MSysComplexColumns
// rows with it, gives their pages back and leaves the shared template tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "error_of.h"
#include "jet/catalogue_writer.h"
#include "jet/database.h"
#include "jet/file_store.h"
#include "jet/index_maintenance.h"
#include "jet/index_tree.h"
#include "jet/integrity_check.h"
#include "jet/usage_map.h"
#include "other_readers.h"
#include "scratch_files.h"
#include "test_file_sources.h"

namespace jet {
namespace {

using testing::FileBytes;
using testing::kSharedFixtures;
using testing::ScratchDir;

// A table of an Access file with attachment or multi-value columns, and
// statements on it: a row without those columns, a row whose key is taken,
// and an index on one of its other columns.
struct ComplexTable {
  const char* fixture;
  const char* table;
  const char* insert;     // "%" is replaced by a number unique to the row
  const char* duplicate;  // refused by the table's primary key
  const char* index;      // empty: none
};

const ComplexTable kTables[] = {
    {"mdb-reader/test/data/V2016/attachments.accdb", "Table1",
     "INSERT INTO Table1 (Comment) VALUES ('new %')",
     "INSERT INTO Table1 (ID, Comment) VALUES (1, 'again')",
     "CREATE INDEX ByComment ON Table1 (Comment)"},
    {"jackcess/src/test/data/V2007/complexDataTestV2007.accdb", "Table1",
     "INSERT INTO Table1 (id, [memo-data], [multi-value-data], [attach-data]) "
     "VALUES ('new %', 'memo %', NULL, NULL)",
     "INSERT INTO Table1 (id) VALUES ('row1')", ""},
    {"jackcess/src/test/data/V2007/unsupportedFieldsTestV2007.accdb", "Test",
     "INSERT INTO Test (ID) VALUES (10%)", "INSERT INTO Test (ID) VALUES (1)", ""},
};

void PrintTo(const ComplexTable& t, std::ostream* os) {
  *os << t.fixture << " " << t.table;
}

std::string Replaced(std::string text, const std::string& by) {
  for (size_t at; (at = text.find('%')) != std::string::npos;) text.replace(at, 1, by);
  return text;
}

using testing::ErrorOf;

// The rows of `table` by column name.
std::vector<std::map<std::string, Value>> RowsOf(Database& db, const std::string& table) {
  auto reader = db.OpenTable(table);
  const TableDefinition& def = reader->Definition();
  std::vector<std::map<std::string, Value>> out;
  std::vector<Value> row;
  while (reader->Next(row)) {
    std::map<std::string, Value>& named = out.emplace_back();
    for (size_t k = 0; k < row.size(); ++k) named[def.columns[k].name] = row[k];
  }
  return out;
}

int64_t Number(const Value& v) {
  const int64_t* i = std::get_if<int64_t>(&v);
  return i ? *i : -1;
}

// Every index of `table` holds one entry per row it takes, agreeing with the rows.
void ExpectIndexesWhole(Database& db, const std::string& table) {
  SCOPED_TRACE(table);
  TableDefinition def = db.Definition(table);
  FileStore store(db.File(), LayoutFor(false));
  EXPECT_NO_THROW(TableIndexes(store, db.FileHeader(), def, table).CheckAgainstRows());
  size_t rows = 0;
  ForEachRow(store, db.FileHeader(), def, [&](RowPointer, std::vector<Value>&) {
    ++rows;
    return true;
  });
  for (const RealIndex& index : def.real_indexes) {
    IndexTree tree(store, def, index);
    const size_t entries = tree.Verify();
    if (!(index.flags & 0x02)) {
      EXPECT_EQ(entries, rows);
    }
  }
}

void ExpectSound(Database& db) {
  EXPECT_EQ(FindDamageForWriting(db.File(), db.File().FileSize(), db.FileHeader(), db.Catalogue()),
            "");
  for (const char* system :
       {"MSysObjects", "MSysACEs", "MSysComplexColumns", "MSysNavPaneObjectIDs"})
    ExpectIndexesWhole(db, system);
}

void ExpectOtherReadersAgree(const std::string& path, const std::string& fixture) {
  std::string note;
  EXPECT_EQ(testing::CheckChangedCopyWithOtherReaders(path, kSharedFixtures + fixture, note), "");
  if (!note.empty()) std::printf("  %s: %s\n", fixture.c_str(), note.c_str());
}

// The pages the file lists as free.
std::set<uint32_t> FreePages(Database& db) {
  std::set<uint32_t> out;
  UsageMap pages(db.File(), false, RowPointer{1, 0}, UsageMap::PastEnd::kEndsMap);
  while (std::optional<uint32_t> p = pages.Next()) out.insert(*p);
  return out;
}

class ComplexColumns : public ::testing::TestWithParam<ComplexTable> {
 protected:
  void SetUp() override {
    if (!testing::Exists(kSharedFixtures + GetParam().fixture))
      GTEST_SKIP() << "needs " << GetParam().fixture
                   << " from the shared Access files (../shared), made by Access with "
                      "attachment and multi-value columns this engine does not make";
    path_ = testing::CopyFile(kSharedFixtures + GetParam().fixture, dir_ / "copy.accdb");
  }

  ScratchDir dir_;
  std::string path_;
};

TEST_P(ComplexColumns, NewRowsGetTheNextReferenceAndEmptyLists) {
  const ComplexTable& t = GetParam();
  auto db = Database::Open(path_, "");
  TableDefinition def = db->Definition(t.table);
  std::vector<std::string> complex;
  for (const Column& c : def.columns)
    if (c.type == kComplex) complex.push_back(c.name);
  ASSERT_FALSE(complex.empty());
  const uint32_t counter = def.complex_autonumber;
  const size_t rows_before = RowsOf(*db, t.table).size();
  // The hidden tables and how many values each holds.
  std::map<std::string, size_t> hidden;
  const int32_t id = db->FindTable(t.table).id;
  for (const auto& row : RowsOf(*db, "MSysComplexColumns"))
    if (Number(row.at("ConceptualTableID")) == id)
      for (const CatalogueEntry& e : db->Catalogue())
        if (e.id == Number(row.at("FlatTableID"))) hidden[e.name] = RowsOf(*db, e.name).size();
  ASSERT_EQ(hidden.size(), complex.size());

  // Refused statements change no byte: a value for a list, a key that is taken.
  db->Checkpoint();
  const std::vector<uint8_t> before = FileBytes(path_);
  std::string what;
  EXPECT_EQ(
      ErrorOf(*db, "INSERT INTO [" + std::string(t.table) + "] ([" + complex[0] + "]) VALUES (1)",
              &what),
      error_numbers::kNotSupported);
  EXPECT_NE(what.find("'" + complex[0] + "'"), std::string::npos) << what;
  EXPECT_EQ(ErrorOf(*db, t.duplicate, &what), kIndexRefusal) << what;
  db->Checkpoint();
  EXPECT_TRUE(FileBytes(path_) == before);

  int added = 0;
  for (int k = 0; k < 3; ++k) {
    const int32_t error = ErrorOf(*db, Replaced(t.insert, std::to_string(k)), &what);
    if (error != 0) {
      // Columns of kinds this engine does not know refuse rows plainly.
      EXPECT_EQ(error, error_numbers::kNotSupported) << what;
      std::printf("  %s: %s\n", t.table, what.c_str());
      db->Checkpoint();
      EXPECT_TRUE(FileBytes(path_) == before);
      return;
    }
    ++added;
  }
  if (*t.index) {
    // A definition written anew keeps the counter: the next row goes on from it.
    ASSERT_EQ(ErrorOf(*db, t.index, &what), 0) << what;
    ASSERT_EQ(ErrorOf(*db, Replaced(t.insert, "after index"), &what), 0) << what;
    ++added;
  }
  db->Close();
  db.reset();

  db = Database::Open(path_, "");
  EXPECT_EQ(db->Definition(t.table).complex_autonumber, counter + added);
  const auto rows = RowsOf(*db, t.table);
  ASSERT_EQ(rows.size(), rows_before + added);
  std::set<int64_t> references;
  for (size_t r = 0; r < rows.size(); ++r) {
    // One reference per row, shared by all its lists.
    for (const std::string& c : complex)
      EXPECT_EQ(rows[r].at(c), rows[r].at(complex[0])) << "row " << r << " column " << c;
    EXPECT_TRUE(references.insert(Number(rows[r].at(complex[0]))).second) << "row " << r;
  }
  for (int k = 1; k <= added; ++k) EXPECT_TRUE(references.count(counter + k)) << k;
  for (const auto& [name, count] : hidden) EXPECT_EQ(RowsOf(*db, name).size(), count) << name;
  ExpectIndexesWhole(*db, t.table);
  ExpectSound(*db);
  db.reset();
  ExpectOtherReadersAgree(path_, t.fixture);
}

TEST_P(ComplexColumns, DropTakesTheHiddenTablesAndKeepsTheTemplates) {
  const ComplexTable& t = GetParam();
  auto db = Database::Open(path_, "");
  const int32_t id = db->FindTable(t.table).id;
  std::set<int32_t> gone = {id};
  std::vector<std::map<std::string, Value>> kept_columns;
  for (const auto& row : RowsOf(*db, "MSysComplexColumns")) {
    if (Number(row.at("ConceptualTableID")) == id)
      gone.insert(static_cast<int32_t>(Number(row.at("FlatTableID"))));
    else
      kept_columns.push_back(row);
  }
  ASSERT_GT(gone.size(), 1u);
  // What goes: the tables' names and the pages they own; what stays: the rest.
  std::vector<std::string> gone_names, kept_names;
  std::set<uint32_t> owned;
  for (const CatalogueEntry& e : db->Catalogue()) {
    if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
    if (!gone.count(e.id)) {
      kept_names.push_back(e.name);
      continue;
    }
    gone_names.push_back(e.name);
    TableDefinition def = db->Definition(e.name);
    owned.insert(def.chain.begin(), def.chain.end());
    for (const RealIndex& index : def.real_indexes) owned.insert(index.root_page);
  }
  ASSERT_EQ(gone_names.size(), gone.size());
  const std::set<uint32_t> free_before = FreePages(*db);
  for (uint32_t p : owned) ASSERT_FALSE(free_before.count(p)) << p;

  ASSERT_NO_THROW(db->Execute("DROP TABLE [" + std::string(t.table) + "]"));
  db->Close();
  db.reset();

  db = Database::Open(path_, "");
  std::vector<std::string> names;
  for (const CatalogueEntry& e : db->Catalogue()) {
    EXPECT_FALSE(gone.count(e.id)) << e.name;
    names.push_back(e.name);
  }
  for (const std::string& name : kept_names)
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  // The template tables, including those the dropped columns were shaped after, stay.
  EXPECT_GE(std::count_if(names.begin(), names.end(),
                          [](const std::string& n) { return n.rfind("MSysComplexType_", 0) == 0; }),
            9);
  EXPECT_EQ(RowsOf(*db, "MSysComplexColumns"), kept_columns);
  for (const auto& row : RowsOf(*db, "MSysACEs"))
    EXPECT_FALSE(gone.count(static_cast<int32_t>(Number(row.at("ObjectId")))));
  // The navigation pane lists the hidden tables too: no entry names one that is gone.
  std::vector<Value> nav_ids;
  for (const auto& row : RowsOf(*db, "MSysNavPaneObjectIDs")) {
    nav_ids.push_back(row.at("Id"));
    for (const std::string& name : gone_names)
      EXPECT_NE(row.at("Name"), Value(name)) << "the navigation pane still lists " << name;
  }
  for (const auto& row : RowsOf(*db, "MSysNavPaneGroupToObjects"))
    EXPECT_NE(std::find(nav_ids.begin(), nav_ids.end(), row.at("ObjectID")), nav_ids.end());
  const std::set<uint32_t> free_after = FreePages(*db);
  for (uint32_t p : owned) EXPECT_TRUE(free_after.count(p)) << "page " << p << " is not given back";
  ExpectSound(*db);
  db.reset();

  // mdbtools lists system tables too: none of the dropped ones is left.
  std::string out;
  if (testing::RunCommand("mdb-tables -S -1 '" + path_ + "'", out) == 0) {
    for (const std::string& name : gone_names)
      EXPECT_EQ(("\n" + out).find("\n" + name + "\n"), std::string::npos) << name;
    ASSERT_EQ(testing::RunCommand("mdb-export '" + path_ + "' MSysComplexColumns", out), 0);
    EXPECT_EQ(static_cast<size_t>(std::count(out.begin(), out.end(), '\n')),
              kept_columns.size() + 1)
        << out;
  }
  ExpectOtherReadersAgree(path_, t.fixture);
}

// A relationship holds a table with lists as it holds any other: the drop is
// refused and changes nothing.
TEST_P(ComplexColumns, DropIsRefusedWhileARelationshipHoldsTheTable) {
  const ComplexTable& t = GetParam();
  auto db = Database::Open(path_, "");
  db->Execute("CREATE TABLE Holder (ref LONG)");
  db->EnableWriting();
  db->File().BeginStatement();
  {
    FileStore store(db->File(), LayoutFor(false));
    TableDefinition def = ReadTableDefinition(store, db->FileHeader(),
                                              db->FindTable("MSysRelationships").DefinitionPage());
    std::vector<Value> row(def.columns.size());
    const std::map<std::string, Value> values = {
        {"szRelationship", std::string("HolderRef")},
        {"grbit", int64_t{0}},
        {"ccolumn", int64_t{1}},
        {"icolumn", int64_t{0}},
        {"szObject", std::string("Holder")},
        {"szColumn", std::string("ref")},
        {"szReferencedObject", std::string(t.table)},
        {"szReferencedColumn", std::string(db->Definition(t.table).columns[0].name)}};
    for (size_t k = 0; k < def.columns.size(); ++k)
      if (auto it = values.find(def.columns[k].name); it != values.end()) row[k] = it->second;
    InsertIndexedRow(store, db->FileHeader(), def, row);
  }
  db->File().CommitStatement();
  db->Checkpoint();
  const std::vector<uint8_t> before = FileBytes(path_);
  std::string what;
  EXPECT_EQ(ErrorOf(*db, "DROP TABLE [" + std::string(t.table) + "]", &what),
            error_numbers::kNotSupported);
  EXPECT_NE(what.find("relationship with 'Holder'"), std::string::npos) << what;
  db->Checkpoint();
  EXPECT_TRUE(FileBytes(path_) == before);
}

// A drop whose MSysComplexColumns row names a template table as the
// column's hidden table is refused as damage before anything is written, and
// the template stays.
TEST(ComplexColumnsDamaged, ADropThatWouldTakeATemplateIsRefusedUnchanged) {
  const ComplexTable& t = kTables[0];
  if (!testing::Exists(kSharedFixtures + t.fixture))
    GTEST_SKIP() << "needs " << t.fixture << " from the shared Access files (../shared)";
  ScratchDir dir;
  const std::string path = testing::CopyFile(kSharedFixtures + t.fixture, dir / "copy.accdb");
  uint64_t at = 0;
  int32_t template_id = 0;
  {
    auto db = Database::Open(path, "");
    const int32_t id = db->FindTable(t.table).id;
    template_id = db->FindTable("MSysComplexType_Attachment").id;
    TableDefinition def = db->Definition("MSysComplexColumns");
    const Column* flat = nullptr;
    const Column* conceptual = nullptr;
    for (const Column& c : def.columns) {
      if (c.name == "FlatTableID") flat = &c;
      if (c.name == "ConceptualTableID") conceptual = &c;
    }
    ASSERT_TRUE(flat && conceptual && flat->IsFixed());
    FileStore store(db->File(), LayoutFor(false));
    ForEachRow(store, db->FileHeader(), def, [&](RowPointer where, std::vector<Value>& row) {
      if (row[conceptual - def.columns.data()] != Value(int64_t{id})) return true;
      PageBuffer page = store.Read(where.page);
      const RowSlot slot = DataPage(View(page), false, where.page).Slot(where.row);
      at = uint64_t{where.page} * 4096 + slot.start + 2 + flat->fixed_offset;
      return false;
    });
  }
  ASSERT_NE(at, 0u);
  std::vector<uint8_t> bytes = FileBytes(path);
  for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<uint8_t>(template_id >> (8 * k));
  testing::WriteFileBytes(path, bytes);

  auto db = Database::Open(path, "");
  std::string what;
  EXPECT_EQ(ErrorOf(*db, "DROP TABLE [" + std::string(t.table) + "]", &what),
            error_numbers::kCorrupt);
  EXPECT_NE(what.find("MSysComplexType_Attachment"), std::string::npos) << what;
  db->Checkpoint();
  EXPECT_TRUE(FileBytes(path) == bytes);
  EXPECT_EQ(db->FindTable("MSysComplexType_Attachment").id, template_id);
}

std::string FixtureName(const ::testing::TestParamInfo<ComplexTable>& info) {
  std::string name;
  for (const char* c = info.param.fixture; *c; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(AccessFiles, ComplexColumns, ::testing::ValuesIn(kTables), FixtureName);

}  // namespace
}  // namespace jet
