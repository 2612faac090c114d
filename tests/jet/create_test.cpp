// New databases made by Database::Create: what they hold against the empty
// files Access made, what the other readers make of them, passwords, and
// that making one never harms a file already there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

#include "jet/catalogue_writer.h"
#include "jet/database.h"
#include "jet/index_tree.h"
#include "jet/property_blob.h"
#include "other_readers.h"

namespace jet {
namespace {

using testing::CheckWithOtherReaders;
using testing::RunCommand;

using testing::Exists;
using testing::FileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

const std::string& NameOf(NewFormat f) {
  static const std::string names[] = {"Access 2000", "Access 2002-2003", "Access 2007",
                                      "Access 97"};
  return names[static_cast<int>(f)];
}

std::string Extension(NewFormat f) {
  return f == NewFormat::kAccess2007 ? ".accdb" : ".mdb";
}

// Every row of `table`, read by our reader.
std::vector<std::vector<Value>> Rows(Database& db, const std::string& table) {
  std::vector<std::vector<Value>> out;
  auto reader = db.OpenTable(table);
  std::vector<Value> row;
  while (reader->Next(row)) out.push_back(row);
  return out;
}

// The names of the local tables, system ones included, in catalogue order.
std::vector<std::string> LocalTables(Database& db) {
  std::vector<std::string> out;
  for (const CatalogueEntry& e : db.Catalogue())
    if ((e.type & 0x7F) == 1) out.push_back(e.name);
  return out;
}

int ColumnIndex(const TableDefinition& def, const std::string& name) {
  for (size_t k = 0; k < def.columns.size(); ++k)
    if (def.columns[k].name == name) return static_cast<int>(k);
  return -1;
}

int32_t CreateError(const std::string& path, NewFormat format, const std::string& password,
                    std::string* what = nullptr) {
  try {
    Database::Create(path, format, password);
  } catch (const JetError& e) {
    if (what) *what = e.what();
    return e.Number();
  }
  return 0;
}

int32_t OpenError(const std::string& path, const std::string& password) {
  try {
    Database::Open(path, password);
  } catch (const JetError& e) {
    return e.Number();
  }
  return 0;
}

// The files of `folder`, by name.
std::set<std::string> Listing(const std::string& folder) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    out.insert(e.path().filename().string());
  return out;
}

// A read-only page store over an open file, for checking index trees.
class ReadStore : public PageStore {
 public:
  explicit ReadStore(PageFile& f, const Layout& l = Jet4Layout()) : f_(f), l_(l) {}
  const Layout& FileLayout() const override { return l_; }
  uint32_t PageCount() const override { return f_.PageCount(); }
  PageBuffer Read(uint32_t p) override { return f_.Read(p); }
  uint8_t* Modify(uint32_t) override { throw std::logic_error("read-only"); }
  uint32_t AllocatePage() override { throw std::logic_error("read-only"); }
  void FreePage(uint32_t) override { throw std::logic_error("read-only"); }

 private:
  PageFile& f_;
  const Layout& l_;
};

class CreateEachFormat : public ::testing::TestWithParam<NewFormat> {};

INSTANTIATE_TEST_SUITE_P(Formats, CreateEachFormat,
                         ::testing::Values(NewFormat::kAccess2000, NewFormat::kAccess2003,
                                           NewFormat::kAccess2007, NewFormat::kAccess97),
                         [](const auto& info) {
                           return std::string(info.param == NewFormat::kAccess2000   ? "Access2000"
                                              : info.param == NewFormat::kAccess2003 ? "Access2003"
                                              : info.param == NewFormat::kAccess97   ? "Access97"
                                                                                   : "Access2007");
                         });

// The header, the catalogue's objects and the database's properties.
TEST_P(CreateEachFormat, HeaderCatalogueAndPropertiesAreThoseOfAnEmptyDatabase) {
  const NewFormat format = GetParam();
  ScratchDir dir;
  const std::string path = dir / ("new" + Extension(format));
  const double before = std::time(nullptr) / 86400.0 + 25569.0 - 1;
  const bool jet3 = format == NewFormat::kAccess97;
  Database::Create(path, format, "");
  EXPECT_EQ(FileBytes(path).size() % (jet3 ? 2048 : 4096), 0u);
  EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"new" + Extension(format)})
      << "nothing but the new file is left in the folder";

  auto db = Database::Open(path, "");
  const Header& h = db->FileHeader();
  EXPECT_EQ(h.format, format == NewFormat::kAccess2007 ? Format::kAce
                      : jet3                           ? Format::kJet3
                                                       : Format::kJet4);
  EXPECT_EQ(h.version, format == NewFormat::kAccess2007 ? 2 : jet3 ? 0 : 1);
  EXPECT_EQ(h.code_page, 1252);
  EXPECT_EQ(h.page_key, 0u);
  EXPECT_EQ(h.password, "");
  if (!jet3) {
    EXPECT_EQ(h.sort_lcid, 0x0409);
    EXPECT_EQ(h.sort_version, 0);
    // The header keeps the creation date its SIDs go with (database_create.cpp);
    // the catalogue's dates are the real ones.
    EXPECT_NEAR(h.creation_date, 42329.9448, 0.001);
  }

  // Containers and the database object, with the ids every reader looks for.
  struct Want {
    int32_t id, parent;
    const char* name;
    int32_t type;
    uint32_t flags;
  };
  const Want wanted[] = {{0x0F000001, 0x0F000000, "Tables", 3, 0x80000000},
                         {0x0F000002, 0x0F000000, "Databases", 3, 0x80000000},
                         {0x0F000003, 0x0F000000, "Relationships", 3, 0x80000000},
                         {0x10000000, 0x0F000002, "MSysDb", 2, 0x80000000},
                         {2, 0x0F000001, "MSysObjects", 1, 0x80000000},
                         {3, 0x0F000001, "MSysACEs", 1, 0x80000000},
                         {INT32_MIN, 0x0F000000, "DataAccessPages", 3, 0},
                         {INT32_MIN + 5, 0x0F000000, "SysRel", 3, 0}};
  for (const Want& w : wanted) {
    auto it = std::find_if(db->Catalogue().begin(), db->Catalogue().end(),
                           [&](const CatalogueEntry& e) { return e.name == w.name; });
    ASSERT_NE(it, db->Catalogue().end()) << w.name;
    EXPECT_EQ(it->id, w.id) << w.name;
    EXPECT_EQ(it->parent_id, w.parent) << w.name;
    EXPECT_EQ(it->type, w.type) << w.name;
    EXPECT_EQ(it->flags, w.flags) << w.name;
  }
  for (const CatalogueEntry& e : db->Catalogue())
    EXPECT_NE(e.kind, ObjectKind::kUserTable) << e.name << " is listed as a user table";

  // AccessVersion tells Access 2000 files from later ones.
  std::string version;
  const TableDefinition objects = db->Definition("MSysObjects");
  int name_col = -1, prop_col = -1;
  for (size_t k = 0; k < objects.columns.size(); ++k) {
    if (objects.columns[k].name == "Name") name_col = static_cast<int>(k);
    if (objects.columns[k].name == "LvProp") prop_col = static_cast<int>(k);
  }
  for (const auto& row : Rows(*db, "MSysObjects")) {
    if (std::get_if<std::string>(&row[name_col]) == nullptr ||
        std::get<std::string>(row[name_col]) != "MSysDb")
      continue;
    const double created = std::get<OleDate>(row[ColumnIndex(objects, "DateCreate")]).days;
    EXPECT_GT(created, before);
    EXPECT_LT(created, before + 3);
    const Binary& blob = std::get<Binary>(row[prop_col]);
    for (const PropertySet& set : ParsePropertyBlob(ByteView(blob.data(), blob.size()), 1252))
      if (const Property* p = set.Find("AccessVersion"))  // UCS-2, or (Access 97) code page
        for (size_t i = 0; i < p->value.size(); i += jet3 ? 1 : 2)
          version.push_back(static_cast<char>(p->value[i]));
  }
  EXPECT_EQ(version, format == NewFormat::kAccess2000 ? "08.50" : jet3 ? "07.53" : "09.50");

  // Every index of every system table is a sound tree holding each row once.
  ReadStore store(db->File(), LayoutFor(jet3));
  for (const std::string& table : LocalTables(*db)) {
    TableDefinition def = db->Definition(table);
    const size_t rows = Rows(*db, table).size();
    EXPECT_EQ(def.row_count, rows) << table;
    for (const RealIndex& index : def.real_indexes) {
      IndexTree tree(store, def, index);
      EXPECT_EQ(tree.Verify(), rows) << table;
      EXPECT_EQ(index.unique_entries, rows) << table;
    }
  }
}

// The Access-made empty file of each version.
std::string EmptyFixture(NewFormat f) {
  switch (f) {
    case NewFormat::kAccess2000:
      return kFixtures + "mdb-reader/test/data/V2000/empty.mdb";
    case NewFormat::kAccess2003:
      return kFixtures + "mdb-reader/test/data/V2003/empty.mdb";
    case NewFormat::kAccess2007:
      break;
    case NewFormat::kAccess97:
      // No empty one is at hand: its system tables, its user tables aside.
      return kFixtures + "mdb-reader/test/data/V1997/test.mdb";
  }
  return kFixtures + "mdb-reader/test/data/V2007/empty.accdb";
}

// Access's own tables, which a new file leaves for Access to add (see
// database_create.cpp).
const std::set<std::string> kLeftForAccess = {"MSysAccessObjects",
                                              "MSysAccessStorage",
                                              "MSysNavPaneGroupCategories",
                                              "MSysNavPaneGroups",
                                              "MSysNavPaneGroupToObjects",
                                              "MSysNavPaneObjectIDs",
                                              "MSysResources",
                                              "MSysModules",
                                              "MSysModules2"};

// One column as the comparison sees it: what readers and Access go by.
std::string Describe(const Column& c) {
  std::string out = "#" + std::to_string(c.number) + " " + c.name + " type " +
                    std::to_string(c.type) + " length " + std::to_string(c.length) + " flags " +
                    std::to_string(c.flags) + "/" + std::to_string(c.extra_flags) + " descriptor " +
                    std::to_string(c.descriptor_index) + " slot " + std::to_string(c.var_index);
  if (c.IsFixed()) out += " at " + std::to_string(c.fixed_offset);
  if (c.type == kText || c.type == kMemo)
    out += " sort " + std::to_string(c.sort_lcid) + "/" + std::to_string(c.sort_version);
  if (c.type == kNumeric)
    out += " precision " + std::to_string(c.precision) + "," + std::to_string(c.scale);
  return out;
}

std::vector<std::string> DescribeIndexes(const TableDefinition& def) {
  std::vector<std::string> out;
  for (const RealIndex& r : def.real_indexes) {
    std::string d = "real flags " + std::to_string(r.flags) + " on";
    for (const IndexColumn& c : r.columns)
      d += " " + std::to_string(c.column_number) + (c.ascending ? "+" : "-");
    out.push_back(d);
  }
  for (const LogicalIndex& l : def.logical_indexes)
    out.push_back("logical " + l.name + " #" + std::to_string(l.number) + " real " +
                  std::to_string(l.real_index) + " kind " + std::to_string(l.kind));
  return out;
}

// Table by table, column by column and index by index, the same system
// tables as the file Access made.
TEST_P(CreateEachFormat, SystemTablesMatchTheAccessMadeEmptyFile) {
  const NewFormat format = GetParam();
  if (!std::filesystem::exists(EmptyFixture(format)))
    GTEST_SKIP() << "no Access-made empty " << NameOf(format) << " file at " << EmptyFixture(format)
                 << " (the shared fixtures are absent)";
  ScratchDir dir;
  const std::string path = dir / ("new" + Extension(format));
  Database::Create(path, format, "");
  auto ours = Database::Open(path, "");
  auto access = Database::Open(EmptyFixture(format), "");

  std::vector<std::string> expected;
  for (const std::string& t : LocalTables(*access))
    if (!kLeftForAccess.count(t) && access->FindTable(t).kind != ObjectKind::kUserTable)
      expected.push_back(t);
  std::vector<std::string> made = LocalTables(*ours);
  EXPECT_EQ(std::set<std::string>(made.begin(), made.end()),
            std::set<std::string>(expected.begin(), expected.end()));
  for (const std::string& table : expected) {
    SCOPED_TRACE(table);
    const TableDefinition want = access->Definition(table);
    const TableDefinition got = ours->Definition(table);
    EXPECT_EQ(got.table_type, want.table_type);
    EXPECT_EQ(got.max_columns, want.max_columns);
    ASSERT_EQ(got.columns.size(), want.columns.size());
    for (size_t k = 0; k < want.columns.size(); ++k)
      EXPECT_EQ(Describe(got.columns[k]), Describe(want.columns[k]));
    EXPECT_EQ(DescribeIndexes(got), DescribeIndexes(want));
    std::vector<uint16_t> got_lv, want_lv;
    for (const LongValueMaps& m : got.long_value_maps) got_lv.push_back(m.column_number);
    for (const LongValueMaps& m : want.long_value_maps) want_lv.push_back(m.column_number);
    EXPECT_EQ(got_lv, want_lv);
    const auto& a = ours->FindTable(table);
    const auto& b = access->FindTable(table);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(a.parent_id, b.parent_id);
  }
}

// New tables in a new file: made, filled, copied and dropped, then read
// back by us and by the other readers.
TEST_P(CreateEachFormat, TablesCanBeMadeFilledCopiedAndDropped) {
  const NewFormat format = GetParam();
  // Access 97 text is in code page 1252.
  const std::string wide = format == NewFormat::kAccess97 ? "Ünïcödé €‰" : "Ünïcödé 漢字";
  ScratchDir dir;
  const std::string path = dir / ("new" + Extension(format));
  Database::Create(path, format, "");
  {
    auto db = Database::Open(path, "");
    db->Execute(
        "CREATE TABLE `Orders` (`ID` COUNTER, `Customer` TEXT(50), `Note` MEMO, "
        "`Total` CURRENCY, `Placed` DATETIME, `Paid` BIT, `Scan` OLEOBJECT)");
    db->Execute(
        "INSERT INTO `Orders` (`Customer`, `Note`, `Total`, `Placed`, `Paid`, `Scan`) "
        "VALUES ('O''Hara', 'first', '12.50', #1850-03-01#, True, 0x00FF)");
    db->Execute("INSERT INTO `Orders` (`Customer`) VALUES ('" + wide + "')");
    db->Execute("SELECT a1.* INTO `Orders copy` FROM `Orders` AS a1");
    db->Execute("CREATE TABLE `Gone` (`x` LONG)");
    db->Execute("INSERT INTO `Gone` VALUES (1)");
    db->Execute("DROP TABLE `Gone`");
    db->Close();
  }
  auto db = Database::Open(path, "");
  std::vector<std::string> users;
  for (const CatalogueEntry& e : db->Catalogue())
    if (e.kind == ObjectKind::kUserTable) users.push_back(e.name);
  EXPECT_EQ(users, (std::vector<std::string>{"Orders", "Orders copy"}));
  for (const char* table : {"Orders", "Orders copy"}) {
    auto rows = Rows(*db, table);
    ASSERT_EQ(rows.size(), 2u) << table;
    EXPECT_EQ(rows[0][0], Value(int64_t{1}));
    EXPECT_EQ(rows[0][1], Value(std::string("O'Hara")));
    EXPECT_EQ(rows[1][1], Value(wide));
    EXPECT_EQ(rows[0][6], Value(Binary{0x00, 0xFF}));
    EXPECT_EQ(rows[1][2], Value(std::monostate{}));
  }
  std::string skipped;
  EXPECT_EQ(CheckWithOtherReaders(path, "", skipped), "");
  if (!skipped.empty()) std::printf("other readers skipped: %s\n", skipped.c_str());
}

// Page 0 of a new Jet4 file is that of the file the Jet engine made through
// ADOX, byte for byte: the SIDs a new file holds come from that file and
// follow its header (database_create.cpp).
TEST(CreateDatabase, HeaderPageIsTheJetMadeOne) {
  const std::string jet_made = kFixtures + "jackcess/src/test/data/adox_jet4.mdb";
  if (!std::filesystem::exists(jet_made))
    GTEST_SKIP() << "no Jet-made empty file at " << jet_made << " (shared fixtures absent)";
  ScratchDir dir;
  Database::Create(dir / "new.mdb", NewFormat::kAccess2003, "");
  std::vector<uint8_t> ours = FileBytes(dir / "new.mdb"), theirs = FileBytes(jet_made);
  ours.resize(4096);
  theirs.resize(4096);
  EXPECT_EQ(ours, theirs);
}

TEST(CreateDatabase, JetPasswordIsStoredAsAccessStoresIt) {
  ScratchDir dir;
  const std::string path = dir / "secret.mdb";
  Database::Create(path, NewFormat::kAccess2003, "Pässwörd 20 chars!!!");
  EXPECT_EQ(Database::Open(path, "Pässwörd 20 chars!!!")->FileHeader().password,
            "Pässwörd 20 chars!!!");
  EXPECT_EQ(OpenError(path, "wrong"), error_numbers::kBadPassword);
  EXPECT_EQ(OpenError(path, ""), error_numbers::kBadPassword);
  EXPECT_EQ(OpenError(path, "pässwörd 20 chars!!!"), error_numbers::kBadPassword)
      << "passwords compare with case";

  // The stored bytes: UCS-2 XOR-ed with the creation date's integer part.
  std::vector<uint8_t> page0 = FileBytes(path);
  page0.resize(4096);
  UnmaskHeader(page0.data(), page0.size(), false);
  double created;
  std::memcpy(&created, page0.data() + 0x72, 8);
  const uint32_t mask = static_cast<uint32_t>(static_cast<int32_t>(created));
  const uint8_t first = static_cast<uint8_t>('P' ^ (mask & 0xFF));
  EXPECT_EQ(page0[0x42], first);
  EXPECT_EQ(page0[0x42 + 39], static_cast<uint8_t>(mask >> 24)) << "NUL padding, masked";

  // mdb-reader reads the same password back.
  std::string out;
  const std::string script =
      "import('mdb-reader').then(m => { const fs = require('fs'); "
      "const r = new m.default(fs.readFileSync(process.argv[1])); "
      "process.stdout.write(String(r.getPassword())); })";
  const std::string readers = VQ_READERS_DIR;
  if (std::filesystem::exists(readers + "/node_modules/mdb-reader")) {
    ASSERT_EQ(RunCommand("cd '" + readers + "' && node -e \"" + script + "\" '" + path + "'", out),
              0)
        << out;
    EXPECT_EQ(out, "Pässwörd 20 chars!!!");
  } else {
    std::printf("mdb-reader is not installed (scripts/setup-deps.sh); its check is skipped\n");
  }
  std::string skipped;
  EXPECT_EQ(CheckWithOtherReaders(path, "Pässwörd 20 chars!!!", skipped), "");
}

// A new .accdb with a password is encrypted, as Access encrypts it: it opens
// with the password only, its tables take rows, and mdb-reader reads it back.
TEST(CreateDatabase, AnAccdbWithAPasswordIsEncrypted) {
  ScratchDir dir;
  const std::string path = dir / "secret.accdb";
  Database::Create(path, NewFormat::kAccess2007, "S3cret wörd");
  {
    auto db = Database::Open(path, "S3cret wörd");
    db->Execute("CREATE TABLE Hidden (id LONG, note TEXT(40))");
    db->Execute("INSERT INTO Hidden VALUES (1, 'plainly visible text')");
    db->Close();
  }
  for (const char* wrong : {"", "s3cret wörd", "nope"}) {
    try {
      Database::Open(path, wrong);
      ADD_FAILURE() << "opened with '" << wrong << "'";
    } catch (const JetError& e) {
      EXPECT_EQ(e.Number(), error_numbers::kBadPassword);
    }
  }
  const std::vector<uint8_t> bytes = FileBytes(path);
  const std::string needle = "plainly visible text";
  const std::string text(bytes.begin() + 4096, bytes.end());
  EXPECT_EQ(text.find(needle), std::string::npos) << "a value is stored in plain text";

  std::string skipped;
  EXPECT_EQ(CheckWithOtherReaders(path, "S3cret wörd", skipped, false), "");
  if (!skipped.empty()) std::printf("mdb-reader skipped: %s\n", skipped.c_str());
}

TEST(CreateDatabase, RefusesWhatItCannotMakeAndLeavesNothingBehind) {
  ScratchDir dir;
  EXPECT_EQ(CreateError(dir / "b.mdb", NewFormat::kAccess2003, "123456789012345678901"),
            error_numbers::kOutOfRange)
      << "Access takes at most 20 characters";
  EXPECT_EQ(CreateError(dir / "c.mdb", NewFormat::kAccess2003, std::string("a\0b", 3)),
            error_numbers::kBadPassword);
  EXPECT_EQ(CreateError(dir / "no-such-folder/d.mdb", NewFormat::kAccess2003, ""),
            error_numbers::kReadOnly);
  // Access 97 keeps the password in code page 1252, at most 20 bytes of it.
  std::string what;
  EXPECT_EQ(CreateError(dir / "f.mdb", NewFormat::kAccess97, "密码", &what),
            error_numbers::kBadPassword);
  EXPECT_NE(what.find("'密' (U+5BC6)"), std::string::npos) << what;
  EXPECT_EQ(CreateError(dir / "g.mdb", NewFormat::kAccess97, "12345678901234567890x"),
            error_numbers::kOutOfRange);
  EXPECT_TRUE(Listing(dir.Path()).empty());
  EXPECT_EQ(CreateError(dir / "h.mdb", NewFormat::kAccess97, "Größe€"), 0);
  EXPECT_EQ(OpenError(dir / "h.mdb", "Größe€"), 0);
  EXPECT_EQ(OpenError(dir / "h.mdb", "Größe"), error_numbers::kBadPassword);
  std::filesystem::remove(dir / "h.mdb");

  if (::geteuid() != 0) {
    const std::string locked = dir / "locked";
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    EXPECT_NE(CreateError(locked + "/e.mdb", NewFormat::kAccess2003, ""), 0);
    EXPECT_TRUE(Listing(locked).empty());
  }
}

TEST(CreateDatabase, NeverWritesOverAFile) {
  ScratchDir dir;
  const std::string path = dir / "taken.mdb";
  WriteFileBytes(path, {1, 2, 3});
  std::string what;
  EXPECT_EQ(CreateError(path, NewFormat::kAccess2003, "", &what), error_numbers::kDatabaseExists);
  EXPECT_NE(what.find("already exists"), std::string::npos) << what;
  EXPECT_EQ(FileBytes(path), (std::vector<uint8_t>{1, 2, 3}));

  // Nor through a link, even one that points nowhere yet.
  const std::string link = dir / "link.mdb";
  ASSERT_EQ(::symlink((dir / "target.mdb").c_str(), link.c_str()), 0);
  EXPECT_EQ(CreateError(link, NewFormat::kAccess2003, ""), error_numbers::kDatabaseExists);
  EXPECT_FALSE(Exists(dir / "target.mdb"));

  // A database made once is refused the second time, and stays as it was.
  const std::string made = dir / "made.accdb";
  Database::Create(made, NewFormat::kAccess2007, "");
  const std::vector<uint8_t> bytes = FileBytes(made);
  EXPECT_EQ(CreateError(made, NewFormat::kAccess2007, ""), error_numbers::kDatabaseExists);
  EXPECT_EQ(FileBytes(made), bytes);
  EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"taken.mdb", "link.mdb", "made.accdb"}));
}

}  // namespace
}  // namespace jet
