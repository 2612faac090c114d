// The transfers on new Access files (and, where the shared fixtures are at
// hand, copies of files Access made) and the ASE test server, both over the
// program's own providers: every row and every value arrives.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "dataaccess/access_catalogue.h"
#include "dataaccess/session.h"
#include "jet/database.h"
#include "support/access_write_probe.h"
#include "support/ase_server_fixture.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Table = std::vector<std::vector<std::string>>;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

// Every row of `sql` on the session opened with `connection_string`, each
// value as its text ("<null>" for null), in the order read.
Table Read(const std::string& connection_string, const std::string& sql) {
  DatabaseSession db;
  db.Open(connection_string);
  RecordSet rs;
  rs.Open(sql, db);
  Table out;
  while (!rs.Eof()) {
    std::vector<std::string> row;
    for (int j = 0; j < rs.Fields().Count(); ++j) {
      const Value& v = rs.Fields().Item(j).Value();
      row.push_back(IsNull(v) ? "<null>" : ToText(v));
    }
    out.push_back(std::move(row));
    rs.MoveNext();
  }
  return out;
}

// ASE keeps no empty text: '' is stored as one blank, as the server does.
Table AsAseKeepsIt(Table t) {
  for (auto& row : t) {
    for (auto& v : row) {
      if (v.empty()) v = " ";
    }
  }
  return t;
}

class EndToEnd : public TransferTest {
 protected:
  EndToEnd() {
    UseRealAse();
    UseRealAccess();
    settings_.Set(Setting::kAsePort, std::to_string(server_.port()));
    settings_.Set(Setting::kAseUser, server_.user());
    settings_.Set(Setting::kAsePassword, server_.password());
    settings_.Set(Setting::kAseDatabase, server_.database());
    settings_.Set(Setting::kAccessPassword, "");
    options_ = TransferOptions{};
  }

  // A file name of this test's own, ending in `extension`.
  static std::string PrivateName(const std::string& extension) {
    return std::string("e2e-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
           "-" + std::to_string(getpid()) + extension;
  }

  // Makes a private copy of `fixture` the connection window's Access file.
  // False when the shared fixtures are absent (an extra case is then left out).
  bool UseCopyOf(const std::string& fixture) {
    const std::string path = kFixtures + fixture;
    if (!std::filesystem::exists(path)) return false;
    copy_ = CopyFixture(path, PrivateName(std::filesystem::path(path).extension().string()));
    settings_.Set(Setting::kAccessFile, copy_);
    return true;
  }

  // Makes a new file with Table1 to Table4 (NewAccessFileWithTables) the
  // connection window's Access file.
  void UseNewFile(const std::string& extension) {
    copy_ = NewAccessFileWithTables(PrivateName(extension));
    settings_.Set(Setting::kAccessFile, copy_);
  }

  std::string AccessString() { return BuildAccessConnectionString(settings_, "", ""); }
  std::string AseString() { return BuildSybaseConnectionString(settings_); }

  // The Access list filled as "Next >" fills it, every entry selected.
  std::vector<std::string> SelectEveryAccessTable() {
    FillAccessTableList(env_, list1_, copy_);
    for (int i = 0; i < list1_.ListCount(); ++i) list1_.SetSelected(i, true);
    return list1_.Items();
  }

  void TearDown() override {
    if (!copy_.empty()) std::filesystem::remove(copy_);
  }

  AseServerFixture server_;
  std::string copy_;
};

// Every user table of a real file goes to ASE, and what the server holds
// reads back as the Access file's text, value for value.
// Returns the number of values compared.
size_t ExpectEveryTableArrives(const std::vector<std::string>& tables, const std::string& access,
                               const std::string& ase) {
  size_t values = 0;
  for (const std::string& name : tables) {
    SCOPED_TRACE(name);
    const Table source = Read(access, "SELECT * FROM `" + name + "`");
    const Table target = Read(ase, "SELECT * FROM [" + name + "]");
    EXPECT_EQ(target.size(), source.size());
    EXPECT_EQ(target, AsAseKeepsIt(source));
    for (const auto& row : source) values += row.size();
  }
  return values;
}

TEST_F(EndToEnd, EveryTableOfARealFileArrivesInAseWithEveryValue) {
  for (const char* file :
       {"new.accdb", "new.mdb", "mdb-reader/test/data/V2010/test.accdb",
        "mdb-reader/test/data/V2003/test.mdb", "mdbtestdata/data/nwind.mdb",
        "mdb-reader/test/data/V2016/bigint.accdb", "mdb-reader/test/data/V2016/currency.accdb"}) {
    SCOPED_TRACE(file);
    const std::string fixture = file;
    if (fixture.rfind("new.", 0) == 0) {
      UseNewFile(fixture.substr(3));
    } else if (!UseCopyOf(fixture)) {
      continue;  // files made by Access, where the shared fixtures are at hand
    }
    // The files share table names and one server: the ASE list remembers
    // the earlier files' tables, and each overwrite is answered Yes.
    dialogs_.yes_no_answers.assign(64, kAnswerYes);
    const std::vector<std::string> tables = SelectEveryAccessTable();
    ASSERT_FALSE(tables.empty());
    EXPECT_EQ(ToAse(), 0) << (Reports().empty() ? "" : Reports().front());
    const size_t values = ExpectEveryTableArrives(tables, AccessString(), AseString());
    std::printf("[ measure  ] %s: %zu tables, %zu values compared\n", file, tables.size(), values);
    EXPECT_GT(values, 0u);
    std::filesystem::remove(copy_);
    copy_.clear();
  }
}

// The tests from here on change the Access file.
class EndToEndWriting : public EndToEnd {
 protected:
  void SetUp() override { UseNewFile(".accdb"); }
};

TEST_F(EndToEndWriting, ATableGoesToAseAndBackWithEveryValueTextUnchanged) {
  SelectEveryAccessTable();
  const Table original = Read(AccessString(), "SELECT * FROM `Table1`");
  for (int i = 0; i < list1_.ListCount(); ++i) list1_.SetSelected(i, list1_.List(i) == "Table1");
  EXPECT_EQ(ToAse(), 0);
  // Back under the name ASE lists, over the original after a Yes.
  ASSERT_EQ(list2_.Items(), std::vector<std::string>{"Table1"});
  list2_.SetSelected(0, true);
  list2_.SetListIndex(0);
  dialogs_.yes_no_answers = {kAnswerYes};
  EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports().front());
  EXPECT_EQ(Read(AccessString(), "SELECT * FROM `Table1`"), AsAseKeepsIt(original));
  EXPECT_EQ(list1_.Items(), (std::vector<std::string>{"Table1", "Table2", "Table3", "Table4"}));
}

TEST_F(EndToEndWriting, TenThousandRowsArriveExactlyOnceEitherWay) {
  constexpr int kRows = 10000;
  {
    DatabaseSession ase;
    ase.Open(AseString());
    ase.Execute("CREATE TABLE [Many]([n] INTEGER NULL, [label] TEXT NULL)");
    for (int i = 1; i <= kRows; ++i) {
      ase.Execute("INSERT INTO [Many] VALUES(" + std::to_string(i) + ", 'row " + std::to_string(i) +
                  "')");
    }
  }
  Select(list2_, {"Many"});
  EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports().front());
  const Table in_access = Read(AccessString(), "SELECT * FROM `Many`");
  ASSERT_EQ(in_access.size(), static_cast<size_t>(kRows));
  for (int i = 0; i < kRows; ++i) {
    EXPECT_EQ(in_access[i][1], "row " + in_access[i][0]);
  }

  // And back to ASE under another name, read by the engine this time.
  {
    DatabaseSession access;
    access.Open(AccessString());
    access.Execute("SELECT a1.* INTO `Many Again` FROM `Many` AS a1;");
  }
  list1_.Clear();
  Select(list1_, {"Many Again"});
  EXPECT_EQ(ToAse(), 0);
  EXPECT_EQ(Read(AseString(), "SELECT count(*) FROM [Many Again]"), (Table{{"10000"}}));
}

// 64-bit integers cross both ways without losing a digit: as BIGINT into a
// file with Large Number columns, as DECIMAL(19,0) into one without, and
// back from either into ASE with the same text.
TEST_F(EndToEnd, LargeIntegersKeepEveryDigitBothWays) {
  const Table values = {{"1", "4611686018427387904"},
                        {"2", "-9223372036854775808"},
                        {"3", "9223372036854775807"},
                        {"4", "<null>"}};
  // An Access 2016 file (with Large Number) comes only from the shared fixtures.
  for (const auto& [file, column] :
       {std::pair{"new.accdb", "DECIMAL(19,0)"},
        std::pair{"mdb-reader/test/data/V2016/bigint.accdb", "BIGINT"}}) {
    SCOPED_TRACE(file);
    if (std::string(file) == "new.accdb") {
      UseNewFile(".accdb");
    } else if (!UseCopyOf(file)) {
      continue;
    }
    {
      DatabaseSession ase;
      ase.Open(AseString());
      ase.Execute("CREATE TABLE [Big]([id] INT, [n] BIGINT NULL)");
      ase.Execute("INSERT INTO [Big] VALUES(1, 4611686018427387904)");
      ase.Execute("INSERT INTO [Big] VALUES(2, -9223372036854775808)");
      ase.Execute("INSERT INTO [Big] VALUES(3, 9223372036854775807)");
      ase.Execute("INSERT INTO [Big] VALUES(4, NULL)");
    }
    list1_.Clear();
    list2_.Clear();
    Select(list2_, {"Big"});
    EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports().front());
    EXPECT_EQ(Read(AccessString(), "SELECT * FROM `Big`"), values);
    {
      DatabaseSession access;
      access.Open(AccessString());
      RecordSet rs;
      rs.Open("SELECT * FROM `Big`", access);
      // 20 is adBigInt, 131 adNumeric.
      EXPECT_EQ(rs.Fields().Item(1).Type(), std::string(column) == "BIGINT" ? 20 : 131);
    }

    // And back: the ASE table is replaced by what the Access file holds.
    list1_.Clear();
    list2_.Clear();
    Select(list1_, {"Big"});
    list2_.AddItem("Big");
    dialogs_.yes_no_answers = {kAnswerYes};
    EXPECT_EQ(ToAse(), 0) << (Reports().empty() ? "" : Reports().front());
    EXPECT_EQ(Read(AseString(), "SELECT * FROM [Big] ORDER BY [id]"), values);
    {
      DatabaseSession ase;
      ase.Open(AseString());
      ase.Execute("DROP TABLE [Big]");
    }
    std::filesystem::remove(copy_);
    copy_.clear();
  }
}

// An ASE table sent into an Access 97 file arrives with every value (its text
// in the file's code page); one with a column Access 97 cannot hold is
// refused once, plainly, and the file keeps what it had.
// An Access 97 file Access made where the shared fixtures are at hand, else a
// new one of our own.
TEST_F(EndToEnd, AnAseTableArrivesInAnAccess97File) {
  if (!UseCopyOf("mdb-reader/test/data/V1997/test.mdb")) {
    copy_ = PrivateName(".mdb");
    jet::Database::Create(copy_, jet::NewFormat::kAccess97, "");
    settings_.Set(Setting::kAccessFile, copy_);
  }
  {
    DatabaseSession ase;
    ase.Open(AseString());
    ase.Execute(
        "CREATE TABLE [Kunden]([id] INT, [name] VARCHAR(40) NULL, [note] TEXT NULL, "
        "[seen] DATETIME NULL, [score] FLOAT NULL, [paid] MONEY NULL)");
    ase.Execute(
        "INSERT INTO [Kunden] VALUES(1, 'Müller & Søn €', 'Straße', '2024-02-29 13:45:30', "
        "1.5, 12.3456)");
    ase.Execute("INSERT INTO [Kunden] VALUES(2, NULL, NULL, NULL, NULL, NULL)");
    ase.Execute("CREATE TABLE [Exact]([id] INT, [amount] NUMERIC(12,3) NULL)");
    ase.Execute("INSERT INTO [Exact] VALUES(1, 1.5)");
  }
  Select(list2_, {"Kunden"});
  EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports().front());
  const Table arrived = Read(AccessString(), "SELECT * FROM `Kunden`");
  EXPECT_EQ(arrived, Read(AseString(), "SELECT * FROM [Kunden]"));
  ASSERT_EQ(arrived.size(), 2u);
  EXPECT_EQ(arrived[0][1], "Müller & Søn €");

  list2_.Clear();
  Select(list2_, {"Exact"});
  EXPECT_NE(ToAccess(), 0);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports().front().find("Access 97 files have no Decimal type"), std::string::npos)
      << Reports().front();
  for (const char* table : {"Kunden", "Exact"}) {
    DatabaseSession ase;
    ase.Open(AseString());
    ase.Execute(std::string("DROP TABLE [") + table + "]");
  }
}

}  // namespace
}  // namespace vq::testing
