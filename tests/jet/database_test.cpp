// Whole files made by Access, from the shared fixtures.
#include "jet/database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "jet/rc4.h"

namespace jet {
namespace {

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

#define REQUIRE_FIXTURES()                               \
  if (!std::filesystem::exists(kFixtures + "INDEX.tsv")) \
  GTEST_SKIP() << "reads files made by Access: the shared fixtures are not at " << kFixtures

int32_t OpenError(const std::string& path, const std::string& password,
                  std::string* what = nullptr) {
  try {
    Database::Open(path, password);
  } catch (const JetError& e) {
    if (what) *what = e.what();
    return e.Number();
  }
  return 0;
}

std::vector<std::vector<Value>> AllRows(Database& db, const std::string& table) {
  auto reader = db.OpenTable(table);
  std::vector<std::vector<Value>> rows;
  std::vector<Value> row;
  while (reader->Next(row)) rows.push_back(row);
  return rows;
}

TEST(Database, ReadsKnownValuesFromEachFormat) {
  REQUIRE_FIXTURES();
  for (const char* file :
       {"mdb-reader/test/data/V1997/test.mdb", "mdb-reader/test/data/V2003/test.mdb",
        "mdb-reader/test/data/V2010/test.accdb"}) {
    SCOPED_TRACE(file);
    auto db = Database::Open(kFixtures + file, "");
    auto rows = AllRows(*db, "table1");  // names match in any case
    ASSERT_EQ(rows.size(), 2u);
    const auto& r = rows[0][0] == Value(std::string("a")) ? rows[1] : rows[0];
    EXPECT_EQ(r[0], Value(std::string("abcdefg")));
    EXPECT_EQ(r[1], Value(std::string("hijklmnop")));
    EXPECT_EQ(r[2], Value(int64_t{2}));
    EXPECT_EQ(r[3], Value(int64_t{222}));
    EXPECT_EQ(r[4], Value(int64_t{333333333}));
    EXPECT_EQ(r[5], Value(444.555));
    EXPECT_EQ(r[6], Value(OleDate{27293}));  // 1974-09-21
    EXPECT_EQ(r[7], Value(Money{35000}));
    EXPECT_EQ(r[8], Value(true));
  }
}

TEST(Database, RowCountsAgreeWithTheRowsRead) {
  REQUIRE_FIXTURES();
  std::ifstream index(kFixtures + "INDEX.tsv");
  std::string line;
  std::getline(index, line);
  int tables = 0;
  while (std::getline(index, line)) {
    std::istringstream cells(line);
    std::string path, bytes, format, password, user_tables, csv_lines, reads;
    std::getline(cells, path, '\t');
    std::getline(cells, bytes, '\t');
    std::getline(cells, format, '\t');
    std::getline(cells, password, '\t');
    std::getline(cells, user_tables, '\t');
    std::getline(cells, csv_lines, '\t');
    std::getline(cells, reads, '\t');
    if (reads != "yes" && reads != "empty") continue;
    SCOPED_TRACE(path);
    auto db = Database::Open(kFixtures + path, password);
    for (const CatalogueEntry& e : db->Catalogue()) {
      if (e.kind != ObjectKind::kUserTable) continue;
      auto reader = db->OpenTable(e.name);
      std::vector<Value> row;
      uint64_t read = 0;
      while (reader->Next(row)) ++read;
      EXPECT_EQ(reader->CountRows(), read) << e.name;
      EXPECT_EQ(reader->Definition().row_count, read) << e.name;
      ++tables;
    }
  }
  EXPECT_GT(tables, 100);
}

TEST(Database, PasswordsAreCheckedBeforeAnythingIsRead) {
  REQUIRE_FIXTURES();
  for (const char* file : {"mdb-reader/test/password/data/V2000_with-password.mdb",
                           "mdb-reader/test/password/data/V2003_with-password.mdb"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(OpenError(kFixtures + file, "password"), 0);
    EXPECT_EQ(OpenError(kFixtures + file, ""), error_numbers::kBadPassword);
    EXPECT_EQ(OpenError(kFixtures + file, "Password"), error_numbers::kBadPassword);
    auto db = Database::Open(kFixtures + file, "password");
    EXPECT_EQ(AllRows(*db, "Table1").size(), 3u);
  }
  EXPECT_EQ(OpenError(kFixtures + "mdb-reader/test/password/data/V2003_no-password.mdb", "x"), 0);
  // Encrypted .accdb files: the password opens them, as it does Jet files.
  for (const char* file : {"mdb-reader/test/password/data/V2010_with-password.accdb",
                           "mdb-reader/test/encryption/data/office-agile-4.2.accdb"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(OpenError(kFixtures + file, "Password"), error_numbers::kBadPassword);
    auto db = Database::Open(kFixtures + file, "password");
    EXPECT_EQ(AllRows(*db, "Table1").size(), 3u);
  }
}

// A copy of `source` turned into a Jet "encoded" database with `key`.
std::string EncodeCopy(const std::string& source, uint32_t key) {
  std::ifstream in(source, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  for (int k = 0; k < 4; ++k) bytes[0x3E + k] ^= static_cast<uint8_t>(key >> (8 * k));
  const size_t page_size = bytes[0x14] == 0 ? 2048 : 4096;
  for (size_t p = 1; p * page_size < bytes.size(); ++p) {
    uint32_t k = key ^ static_cast<uint32_t>(p);
    uint8_t page_key[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                           static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
    Rc4 rc4(page_key, 4);
    rc4.Apply(bytes.data() + p * page_size, page_size);
  }
  std::string path = ::testing::TempDir() + "/encoded_" + std::to_string(key) + ".mdb";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(bytes.data()), bytes.size());
  return path;
}

TEST(Database, ReadsEncodedDatabasesLikeTheirPlainOriginals) {
  REQUIRE_FIXTURES();
  for (const char* file : {"mdb-reader/test/data/V1997/test.mdb", "mdbtestdata/data/nwind.mdb"}) {
    SCOPED_TRACE(file);
    std::string encoded = EncodeCopy(kFixtures + file, 0x5A17C0DE);
    auto plain = Database::Open(kFixtures + file, "");
    auto coded = Database::Open(encoded, "");
    ASSERT_EQ(coded->Catalogue().size(), plain->Catalogue().size());
    for (const CatalogueEntry& e : plain->Catalogue()) {
      if (e.kind != ObjectKind::kUserTable) continue;
      EXPECT_EQ(AllRows(*coded, e.name), AllRows(*plain, e.name)) << e.name;
    }
    std::remove(encoded.c_str());
  }
}

TEST(Database, CatalogueTellsTablesLinksAndQueriesApart) {
  REQUIRE_FIXTURES();
  auto kinds = [](const std::string& file) {
    std::map<std::string, const CatalogueEntry*> by_name;
    static std::vector<std::shared_ptr<Database>> keep;
    keep.push_back(Database::Open(kFixtures + file, ""));
    for (const CatalogueEntry& e : keep.back()->Catalogue()) by_name[e.name] = &e;
    return by_name;
  };
  auto linker = kinds("jackcess/src/test/data/V2007/linkerTestV2007.accdb");
  EXPECT_EQ(linker["Table1"]->kind, ObjectKind::kUserTable);
  EXPECT_EQ(linker["Table2"]->kind, ObjectKind::kLinkedTable);
  EXPECT_EQ(linker["MSysObjects"]->kind, ObjectKind::kSystemTable);
  EXPECT_EQ(linker["MSysNavPaneGroups"]->kind, ObjectKind::kSystemTable);
  EXPECT_EQ(linker["Tables"]->kind, ObjectKind::kOther);
  auto odbc = kinds("jackcess/src/test/data/V2007/odbcLinkerTestV2007.accdb");
  EXPECT_EQ(odbc["Ordrar"]->kind, ObjectKind::kLinkedTable);
  auto queries = kinds("jackcess/src/test/data/V2007/queryTestV2007.accdb");
  EXPECT_TRUE(queries["SelectQuery"]->select_query);
  for (const char* q : {"AppendQuery", "CrosstabQuery", "UnionQuery", "DeleteQuery"}) {
    EXPECT_EQ(queries[q]->kind, ObjectKind::kQuery) << q;
    EXPECT_FALSE(queries[q]->select_query) << q;
  }

  auto db = Database::Open(kFixtures + "jackcess/src/test/data/V2007/linkerTestV2007.accdb", "");
  try {
    db->OpenTable("Missing Table");
    FAIL();
  } catch (const JetError& e) {
    EXPECT_EQ(e.Number(), error_numbers::kNoSuchTable);
    EXPECT_NE(std::string(e.what()).find("'Missing Table'"), std::string::npos);
  }
  EXPECT_THROW(db->OpenTable("Table2"), JetError);  // linked: not read from here
}

}  // namespace
}  // namespace jet
