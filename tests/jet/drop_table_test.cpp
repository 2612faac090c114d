// Dropping a table leaves no trace of it in the catalogue, its permissions,
// its index entries or the navigation pane, and gives its pages back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "jet/catalogue_writer.h"
#include "jet/database.h"
#include "jet/index_tree.h"
#include "jet/layout.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

// A writable copy of a fixture in a folder of its own, removed at the end.
struct Copy {
  explicit Copy(const std::string& fixture) {
    char pattern[] = "/tmp/vq-drop-XXXXXX";
    dir = mkdtemp(pattern);
    path = dir + "/" + fs::path(fixture).filename().string();
    fs::copy_file(kFixtures + fixture, path);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  }
  ~Copy() { fs::remove_all(dir); }
  std::string dir, path;
};

// Every row of the system table `name`, as decoded values.
std::vector<std::vector<Value>> Rows(Database& db, const std::string& name) {
  auto reader = db.OpenTable(name);
  std::vector<std::vector<Value>> out;
  std::vector<Value> row;
  while (reader->Next(row)) out.push_back(row);
  return out;
}

int Column(Database& db, const std::string& table, const std::string& column) {
  TableDefinition def = db.Definition(table);
  for (size_t k = 0; k < def.columns.size(); ++k)
    if (def.columns[k].name == column) return static_cast<int>(k);
  return -1;
}

// A read-only page store over an open file, for checking index trees.
class ReadStore : public PageStore {
 public:
  explicit ReadStore(PageFile& f) : f_(f) {}
  const Layout& FileLayout() const override { return Jet4Layout(); }
  uint32_t PageCount() const override { return f_.PageCount(); }
  PageBuffer Read(uint32_t p) override { return f_.Read(p); }
  uint8_t* Modify(uint32_t) override { throw std::logic_error("read-only"); }
  uint32_t AllocatePage() override { throw std::logic_error("read-only"); }
  void FreePage(uint32_t) override { throw std::logic_error("read-only"); }

 private:
  PageFile& f_;
};

TEST(DropTable, LeavesNoTraceAndTheIndexesSound) {
  if (!fs::exists(kFixtures + "INDEX.tsv"))
    GTEST_SKIP()
        << "needs an .accdb made by Access, with its navigation-pane tables: no shared fixtures";
  Copy copy("mdb-reader/test/data/V2010/test.accdb");
  int64_t id = 0;
  {
    auto db = Database::Open(copy.path, "");
    id = db->FindTable("Table2").id;
    db->Execute("DROP TABLE `Table2`;");
    // Many tables made and dropped in a scrambled order move catalogue rows
    // about on their pages; every one must stay readable.
    for (int k = 0; k < 40; ++k) db->Execute("CREATE TABLE `T" + std::to_string(k) + "`(a INT)");
    for (int k = 0; k < 40; ++k) db->Execute("DROP TABLE `T" + std::to_string((k * 17) % 40) + "`");
    db->Close();
  }
  auto db = Database::Open(copy.path, "");
  EXPECT_THROW(db->FindTable("Table2"), JetError);
  const int ace_object = Column(*db, "MSysACEs", "ObjectId");
  for (const auto& row : Rows(*db, "MSysACEs")) EXPECT_NE(row[ace_object], Value(id));
  const int nav_name = Column(*db, "MSysNavPaneObjectIDs", "Name");
  const int nav_id = Column(*db, "MSysNavPaneObjectIDs", "Id");
  std::vector<Value> nav_ids;
  for (const auto& row : Rows(*db, "MSysNavPaneObjectIDs")) {
    EXPECT_NE(row[nav_name], Value(std::string("Table2")));
    nav_ids.push_back(row[nav_id]);
  }
  const int group_object = Column(*db, "MSysNavPaneGroupToObjects", "ObjectID");
  for (const auto& row : Rows(*db, "MSysNavPaneGroupToObjects"))
    EXPECT_NE(std::find(nav_ids.begin(), nav_ids.end(), row[group_object]), nav_ids.end())
        << "a navigation entry names an object that is gone";
  // Every catalogue index still holds exactly one entry per row.
  ReadStore store(db->File());
  for (const char* table : {"MSysObjects", "MSysACEs", "MSysNavPaneObjectIDs"}) {
    TableDefinition def = db->Definition(table);
    for (const RealIndex& index : def.real_indexes) {
      IndexTree tree(store, def, index);
      EXPECT_EQ(tree.Verify(), Rows(*db, table).size()) << table;
    }
  }
}

TEST(DropTable, FreedPagesAreReusedBeforeTheFileGrows) {
  char pattern[] = "/tmp/vq-drop-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  struct Gone {
    std::string dir;
    ~Gone() { fs::remove_all(dir); }
  } gone{dir};
  const std::string path = dir + "/cycles.mdb";
  Database::Create(path, NewFormat::kAccess2003, "");
  auto db = Database::Open(path, "");
  auto cycle = [&] {
    // NOT NULL gives the catalogue row a property blob of its own LVAL row.
    db->Execute("CREATE TABLE `Cycle`(`id` INT NOT NULL,`note` MEMO NOT NULL);");
    for (int k = 0; k < 8; ++k)
      db->Execute("INSERT INTO `Cycle` VALUES('" + std::to_string(k) + "', '" +
                  std::string(3000, 'x') + "')");
    db->Execute("DROP TABLE `Cycle`;");
  };
  // The first cycles may still grow the catalogue's pages to what one cycle
  // needs at its peak; after that the file must not grow at all.
  for (int k = 0; k < 30; ++k) cycle();
  db->Close();
  const auto size = fs::file_size(path);
  for (int k = 0; k < 100; ++k) cycle();
  db->Close();
  EXPECT_EQ(fs::file_size(path), size);
}

}  // namespace
}  // namespace jet
