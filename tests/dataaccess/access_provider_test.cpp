// The Access provider over real files: connection strings, the tables
// catalogue, reading a table, and its refusals.
#include "dataaccess/access_provider.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "dataaccess/session.h"
#include "jet/database.h"

namespace vq {
namespace {

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

class AccessProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))
      GTEST_SKIP() << "reads files made by Access: the shared fixtures are not at " << kFixtures;
  }
  static std::string Jet(const std::string& file, const std::string& password = "") {
    return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + kFixtures + file +
           ";JET OLEDB:Database Password=" + password;
  }
  static std::string Ace(const std::string& file, const std::string& password = "") {
    return "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + kFixtures + file +
           ";JET OLEDB:Database Password=" + password;
  }
  static std::map<std::string, std::string> Catalogue(const std::string& cs) {
    DatabaseSession db;
    db.Open(cs);
    RecordSet rs = db.OpenSchema(kAdSchemaTables);
    std::map<std::string, std::string> types;
    while (!rs.Eof()) {
      types[ToText(rs.Fields().Item("TABLE_NAME").Value())] =
          ToText(rs.Fields().Item("TABLE_TYPE").Value());
      rs.MoveNext();
    }
    return types;
  }
  static int32_t OpenError(const std::string& cs) {
    try {
      DatabaseSession db;
      db.Open(cs);
    } catch (const DatabaseError& e) {
      return e.Number();
    }
    return 0;
  }
};

TEST_F(AccessProvider, CatalogueGivesTheJetTableTypes) {
  auto linker = Catalogue(Ace("jackcess/src/test/data/V2007/linkerTestV2007.accdb"));
  EXPECT_EQ(linker["Table1"], "TABLE");
  EXPECT_EQ(linker["Table2"], "LINK");
  EXPECT_EQ(linker["MSysObjects"], "SYSTEM TABLE");
  EXPECT_EQ(linker["MSysNavPaneGroups"], "ACCESS TABLE");
  EXPECT_EQ(linker.count("Tables"), 0u);  // containers are no tables
  auto queries = Catalogue(Ace("jackcess/src/test/data/V2007/queryTestV2007.accdb"));
  EXPECT_EQ(queries["SelectQuery"], "VIEW");
  EXPECT_EQ(queries.count("DeleteQuery"), 0u);
  // Provider names are not case-sensitive.
  auto lower = Catalogue("provider=microsoft.jet.oledb.4.0;data source=" + kFixtures +
                         "mdb-reader/test/data/V1997/test.mdb");
  EXPECT_EQ(lower["Table4"], "TABLE");
}

TEST_F(AccessProvider, ReadsATableWithAdoTypesAndValues) {
  DatabaseSession db;
  db.SetCursorLocation(kAdUseClient);
  db.SetMode(kAdModeReadWrite);
  db.Open(Jet("mdb-reader/test/data/V2003/test.mdb"));
  for (const char* sql : {"SELECT * FROM `Table1`", "select * from [table1];"}) {
    SCOPED_TRACE(sql);
    RecordSet rs;
    rs.Open(sql, db, kAdOpenStatic, kAdLockOptimistic);
    EXPECT_EQ(rs.RecordCount(), 2);
    ASSERT_EQ(rs.Fields().Count(), 9);
    const int types[] = {202, 202, 17, 2, 3, 5, 7, 6, 11};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(rs.Fields().Item(i).Type(), types[i]) << i;
    EXPECT_EQ(rs.Fields().Item(0).Name(), "A");
    std::vector<std::string> texts;
    for (; !rs.Eof(); rs.MoveNext()) {
      std::string line;
      for (int i = 0; i < 9; ++i) line += ToText(rs.Fields().Item(i).Value()) + "|";
      texts.push_back(line);
    }
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "abcdefg|hijklmnop|2|222|333333333|444.555|1974-09-21 00:00:00|3.5|True|");
    EXPECT_EQ(texts[1], "a|b|0|0|0|0|1981-12-12 00:00:00|0|False|");
    rs.Close();
  }
}

TEST_F(AccessProvider, ConvertsTheWiderTypes) {
  DatabaseSession db;
  db.Open(Ace("jackcess/src/test/data/V2019/extDateTestV2019.accdb"));
  RecordSet rs;
  rs.Open("SELECT * FROM [Table1]", db);
  for (int row = 0; row < 5; ++row) rs.MoveNext();
  EXPECT_EQ(rs.Fields().Item("DateExt").Value(),
            Value(DateTime{2021, 6, 14, 22, 45, 12, 345678900}));
  EXPECT_EQ(rs.Fields().Item("DateExt").Type(), 7);

  DatabaseSession big;
  big.Open(Ace("mdb-reader/test/data/V2016/bigint.accdb"));
  RecordSet r2;
  r2.Open("SELECT * FROM [Table]", big);
  EXPECT_EQ(r2.Fields().Item("Numeric").Type(), 20);

  DatabaseSession old;
  old.Open(Jet("mdbtestdata/data/DateTestDatabase.mdb"));
  RecordSet r3;
  r3.Open("SELECT * FROM [DateTest]", old);
  r3.MoveNext();
  r3.MoveNext();
  EXPECT_LT(std::get<DateTime>(r3.Fields().Item("DateTimeCol").Value()).year, 1900);
}

TEST_F(AccessProvider, CalculatedColumnsReportTheirResultType) {
  const std::string file = "jackcess/src/test/data/V2019/extDateTestV2019.accdb";
  auto first_row = [](const std::string& cs, int& type) {
    DatabaseSession db;
    db.Open(cs);
    RecordSet rs;
    rs.Open("SELECT * FROM [Table1]", db);
    type = rs.Fields().Item("DateNormalCalc").Type();
    return std::make_pair(rs.Fields().Item("DateNormalCalc").Value(),
                          rs.Fields().Item("DateNormal").Value());
  };
  int type = 0;
  auto [calc, source] = first_row(Ace(file), type);
  EXPECT_EQ(type, 7);
  EXPECT_EQ(calc, source);  // DateNormalCalc = [DateNormal]

  // The same file with the column's ResultType property (a Byte, 8) saying
  // Double: the type and the value follow it, not the Date/Time descriptor.
  std::ifstream in(kFixtures + file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  const uint8_t entry[] = {9, 0, 1, 2, 0x20, 0, 1, 0, 8};  // length, flags, Byte, name, size, 8
  int patched = 0;
  for (auto at = bytes.begin();
       (at = std::search(at, bytes.end(), std::begin(entry), std::end(entry))) != bytes.end();
       ++patched)
    at[8] = 7;
  ASSERT_GT(patched, 0);
  std::string copy = ::testing::TempDir() + "/calculated_double.accdb";
  std::ofstream(copy, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  auto [as_double, unused] =
      first_row("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + copy, type);
  EXPECT_EQ(type, 5);
  EXPECT_EQ(as_double, Value(43999.0));  // 2020-06-17 as a day number
}

TEST_F(AccessProvider, RefusalsCarryTheirNumbers) {
  EXPECT_EQ(OpenError(Jet("mdb-reader/test/password/data/V2003_with-password.mdb", "nope")),
            -2147217843);
  EXPECT_EQ(OpenError(Jet("mdb-reader/test/password/data/V2003_with-password.mdb")), -2147217843);
  EXPECT_EQ(OpenError(Jet("mdb-reader/test/password/data/V2003_with-password.mdb", "password")), 0);
  // Encrypted .accdb files open with their password, and only with it.
  EXPECT_EQ(OpenError(Ace("mdb-reader/test/password/data/V2010_with-password.accdb", "password")),
            0);
  EXPECT_EQ(OpenError(Ace("mdb-reader/test/password/data/V2010_with-password.accdb", "nope")),
            -2147217843);
  EXPECT_NE(OpenError(Jet("no/such/file.mdb")), 0);
  EXPECT_NE(OpenError("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="), 0);

  DatabaseSession db;
  db.Open(Jet("mdb-reader/test/data/V2003/test.mdb"));
  RecordSet rs;
  try {
    rs.Open("SELECT * FROM [No Such Table]", db);
    FAIL();
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.Number(), errors::kNoSuchTable);
    EXPECT_NE(e.Description().find("No Such Table"), std::string::npos);
  }
  for (const char* sql :
       {"DROP TABLE `Table1`", "CREATE TABLE `x` (a TEXT)", "INSERT INTO `Table1` VALUES (1)"}) {
    try {
      db.Execute(sql);
      FAIL() << sql;
    } catch (const DatabaseError& e) {
      // The shared fixtures carry no write permission: the engine must
      // refuse to change them, even when the process could write them.
      EXPECT_EQ(e.Number(), -2147217911) << sql;
      EXPECT_NE(e.Description().find("read-only"), std::string::npos) << e.Description();
    }
  }
  EXPECT_THROW(rs.Open("SELECT A FROM [Table1] WHERE B = 1", db), DatabaseError);
  db.Close();
  EXPECT_THROW(db.Execute("DROP TABLE x"), DatabaseError);
}

TEST_F(AccessProvider, PasswordWithSemicolonReachesTheEngineWhole) {
  // The whole text after the key is the password, ";" and "=" included: the
  // refusal is the engine's, not a parse of a stray "x=y" key.
  EXPECT_EQ(OpenError(Jet("mdb-reader/test/password/data/V2003_with-password.mdb", "password;x=y")),
            -2147217843);
}

}  // namespace
}  // namespace vq

namespace vq {
namespace {

// A failed save and a damaged file reach callers as DatabaseNotWritable, the
// save's lost statements counted; a statement refused on its own does not.
TEST(AccessProviderSaves, FailedSavesAndDamagedFilesSayTheFileCannotBeWritten) {
  const std::string dir = ::testing::TempDir() + "/vq-provider-save-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/t.mdb";
  std::filesystem::remove(path);
  jet::Database::Create(path, jet::NewFormat::kAccess2003, "");
  const std::string cs =
      "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";JET OLEDB:Database Password=";
  {
    auto held = jet::Database::Open(path, "");
    DatabaseSession db;
    db.Open(cs);
    db.Execute("CREATE TABLE T (a LONG)");
    db.Execute("INSERT INTO T VALUES (1)");
    try {
      db.Execute("INSERT INTO T VALUES ('x')");
      ADD_FAILURE() << "a text went into a number column";
    } catch (const DatabaseNotWritable&) {
      ADD_FAILURE() << "a refused value is not a failed save";
    } catch (const DatabaseError&) {
    }
    jet::WriteFaults faults;
    faults.fail_at = 1;
    faults.error = EIO;
    held->File().SetWriteFaults(&faults);
    try {
      db.Close();
      ADD_FAILURE() << "the save succeeded";
    } catch (const DatabaseNotWritable& e) {
      EXPECT_EQ(e.LostStatements(), 1);
      EXPECT_EQ(e.Number(), errors::kUnspecified);
    }
    held->File().SetWriteFaults(nullptr);
  }
  // Cut short after the table's own pages: every change is refused.
  {
    auto db = jet::Database::Open(path, "");
    for (int k = 0; k < 50; ++k) db->Execute("INSERT INTO T VALUES (" + std::to_string(k) + ")");
  }
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 4096);
  DatabaseSession db;
  db.Open(cs);
  EXPECT_THROW(db.Execute("DROP TABLE T"), DatabaseNotWritable);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vq
