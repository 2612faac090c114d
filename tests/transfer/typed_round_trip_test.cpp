// "Keep column types" end to end: a table of every Access type goes from a
// new Access file to the ASE test server and from there into another new
// Access file, over the program's own providers, and comes back with the same
// column types and every value's text. The same table without the choice
// arrives as text columns, as before.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dataaccess/session.h"
#include "jet/database.h"
#include "support/access_write_probe.h"
#include "support/ase_server_fixture.h"
#include "transfer_fixture.h"

namespace vq::testing {
namespace {

using Table = std::vector<std::vector<std::string>>;

// The columns and rows of `sql` on the session opened with `connection_string`.
struct Read {
  std::vector<FieldInfo> columns;
  Table rows;
};

Read ReadAll(const std::string& connection_string, const std::string& sql) {
  DatabaseSession db;
  db.Open(connection_string);
  RecordSet rs;
  rs.Open(sql, db);
  Read out;
  for (int j = 0; j < rs.Fields().Count(); ++j) out.columns.push_back(rs.Fields().Item(j).Info());
  while (!rs.Eof()) {
    std::vector<std::string> row;
    for (int j = 0; j < rs.Fields().Count(); ++j) {
      const Value& v = rs.Fields().Item(j).Value();
      row.push_back(IsNull(v) ? "<null>" : ToText(v));
    }
    out.rows.push_back(std::move(row));
    rs.MoveNext();
  }
  return out;
}

std::vector<int> Types(const std::vector<FieldInfo>& columns) {
  std::vector<int> out;
  for (const FieldInfo& f : columns) out.push_back(f.type);
  return out;
}

const char* const kTable = "Every Type";

// A 1,000-character memo that ends in a folder name, a backslash and CR LF,
// and 1,000 characters of Greek.
const std::string kLongMemo = std::string(990, 'x') + "C:\\dir\\\r\n";
std::string Greek() {
  std::string out;
  for (int k = 0; k < 200; ++k) out += "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";  // Ωμέγα
  return out;
}

// Makes a new Access file with the table of every type, and returns its path.
std::string MakeSource(const std::string& name) {
  const std::string path = NewAccessFile(name);
  auto db = jet::Database::Open(path, "");
  db->Execute(
      "CREATE TABLE `Every Type` (`id` LONG NOT NULL, `b` BYTE, `i` SHORT, `l` LONG, "
      "`c` CURRENCY, `s` REAL, `d` FLOAT, `n` DECIMAL(18,4), `dt` DATETIME, `yn` BIT, "
      "`t` TEXT(50) NOT NULL, `m` MEMO, `bin` BINARY(8), `ole` OLEOBJECT, `g` GUID)");
  db->Execute("CREATE INDEX PrimaryKey ON `Every Type` (`id`) WITH PRIMARY");
  std::string ole = "0x";
  for (int k = 0; k < 3000; ++k) ole += "0123456789ABCDEF"[(k * 7) % 16];
  db->Execute(
      "INSERT INTO `Every Type` VALUES (1, 0, -32768, -2147483648, '-922337203685477.5808', "
      "-3.4028235e38, -1.7976931348623157e308, '-99999999999999.9999', #0100-01-01#, True, "
      "'Gr\xC3\xB6\xC3\x9F"
      "e \xE5\x8C\x97\xE5\xB2\xAC \xF0\x9F\x98\x80 O''Hara', '" +
      kLongMemo + "', 0x0001020304050607, " + ole + ", '{6F9619FF-8B86-D011-B42D-00C04FC964FF}')");
  db->Execute("INSERT INTO `Every Type` (`id`, `yn`, `t`) VALUES (2, False, 'only the required')");
  db->Execute(
      "INSERT INTO `Every Type` VALUES (3, 255, 32767, 2147483647, '922337203685477.5807', "
      "1.1, 5e-324, '99999999999999.9999', '9999-12-31 23:59:59', True, 'a\\\nb\\', '" +
      Greek() + "', 0xFFFFFFFFFFFFFFFF, 0x00, '{00000000-0000-0000-0000-000000000001}')");
  db->Execute(
      "INSERT INTO `Every Type` VALUES (4, 7, -1, 0, '0.0001', 3.4028235e38, 0.1, '0.5', "
      "'2100-06-15 12:34:56.789', False, 'C:\\dir\\\r\nnext', NULL, NULL, NULL, NULL)");
  db->Execute(
      "INSERT INTO `Every Type` (`id`, `dt`, `yn`, `t`) VALUES (5, '1753-01-01 00:00:00', False, "
      "'first datetime day')");
  db->Close();
  return path;
}

class TypedRoundTrip : public TransferTest {
 protected:
  TypedRoundTrip() {
    UseRealAse();
    UseRealAccess();
    settings_.Set(Setting::kAsePort, std::to_string(server_.port()));
    settings_.Set(Setting::kAseUser, server_.user());
    settings_.Set(Setting::kAsePassword, server_.password());
    settings_.Set(Setting::kAseDatabase, server_.database());
    settings_.Set(Setting::kAccessPassword, "");
    options_ = TransferOptions{};
    source_ = MakeSource(Private(".accdb"));
    settings_.Set(Setting::kAccessFile, source_);
  }
  ~TypedRoundTrip() override {
    for (const std::string& f : {source_, target_}) {
      if (!f.empty()) std::filesystem::remove(f);
    }
  }

  static std::string Private(const std::string& tail) {
    return std::string("typed-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
           "-" + std::to_string(getpid()) + tail;
  }

  std::string Access(const std::string& path) { return AccessConnectionString(path); }
  std::string Ase() { return BuildSybaseConnectionString(settings_); }

  // Sends the Access table to ASE, an existing one overwritten.
  void SendToAse(bool keep) {
    options_.keep_column_types = keep;
    dialogs_.yes_no_answers.assign(4, kAnswerYes);
    list1_.Clear();
    Select(list1_, {kTable});
    EXPECT_EQ(ToAse(), 0) << (Reports().empty() ? "" : Reports().front());
  }

  AseServerFixture server_;
  std::string source_, target_;
};

TEST_F(TypedRoundTrip, EveryAccessTypeComesBackWithItsTypeAndEveryValue) {
  const Read source = ReadAll(Access(source_), "SELECT * FROM `Every Type`");
  ASSERT_EQ(source.rows.size(), 5u);

  SendToAse(true);
  const Read ase = ReadAll(Ase(), "SELECT * FROM [Every Type] ORDER BY [id]");
  // tinyint, smallint, int, money, real, float, numeric, bigdatetime (a date
  // before 1753), bit, univarchar, unitext, varbinary, image, char(38).
  EXPECT_EQ(Types(ase.columns),
            (std::vector<int>{3, 17, 2, 3, 6, 4, 5, 131, 135, 11, 202, 203, 204, 205, 129}));
  EXPECT_EQ(ase.columns[7].precision, 18);
  EXPECT_EQ(ase.columns[7].scale, 4);
  EXPECT_EQ(ase.columns[10].defined_size, 100);  // univarchar(50): two bytes a character
  EXPECT_EQ(ase.columns[14].defined_size, 38);
  for (size_t j = 0; j < ase.columns.size(); ++j) {
    SCOPED_TRACE(ase.columns[j].name);
    // The key, the required text and the Yes/No column take no null.
    const bool required = j == 0 || j == 9 || j == 10;
    EXPECT_EQ(ase.columns[j].nullable, !required);
  }
  EXPECT_EQ(ase.rows, source.rows);
  // The Access primary key is the table's primary key on ASE.
  try {
    DatabaseSession db;
    db.Open(Ase());
    db.Execute("INSERT INTO [Every Type] ([id],[yn],[t]) VALUES(1, 0, 'again')");
    ADD_FAILURE() << "a second row with id 1 was taken";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("2601"), std::string::npos) << e.what();
    EXPECT_EQ(e.Number(), -2147217873);
  }

  // Back into a new Access file.
  target_ = NewAccessFile(Private("-back.accdb"));
  settings_.Set(Setting::kAccessFile, target_);
  options_.keep_column_types = true;
  list1_.Clear();
  list2_.Clear();
  Select(list2_, {kTable});
  EXPECT_EQ(ToAccess(), 0) << (Reports().empty() ? "" : Reports().front());
  const Read back = ReadAll(Access(target_), "SELECT * FROM `Every Type`");
  ASSERT_EQ(back.columns.size(), source.columns.size());
  for (size_t j = 0; j < back.columns.size(); ++j) {
    const FieldInfo& was = source.columns[j];
    const FieldInfo& is = back.columns[j];
    SCOPED_TRACE(was.name);
    EXPECT_EQ(is.name, was.name);
    if (was.type == kAdGuid) {
      // ASE has no GUID type: the column comes back as the text of 38
      // characters it was kept as, holding the same text.
      EXPECT_EQ(is.type, kAdVarWChar);
      EXPECT_EQ(is.defined_size, 38);
      continue;
    }
    EXPECT_EQ(is.type, was.type);
    EXPECT_EQ(is.defined_size, was.defined_size);
    EXPECT_EQ(is.precision, was.precision);
    EXPECT_EQ(is.scale, was.scale);
    EXPECT_EQ(is.nullable, was.nullable);
  }
  EXPECT_EQ(back.rows, source.rows);
}

TEST_F(TypedRoundTrip, WithoutTheChoiceTheTableArrivesAsTextColumnsAsBefore) {
  const Read source = ReadAll(Access(source_), "SELECT * FROM `Every Type`");
  SendToAse(false);
  const Read ase = ReadAll(Ase(), "SELECT * FROM [Every Type] ORDER BY [id]");
  // Integers INTEGER, currency MONEY, Yes/No BIT, everything else TEXT.
  EXPECT_EQ(Types(ase.columns),
            (std::vector<int>{3, 3, 3, 3, 6, 201, 201, 201, 201, 11, 201, 201, 201, 201, 201}));
  for (const FieldInfo& f : ase.columns) EXPECT_EQ(f.nullable, f.type != 11) << f.name;
  EXPECT_EQ(ase.rows, source.rows);
}

}  // namespace
}  // namespace vq::testing

namespace vq::testing {
namespace {

// The test server reads what the typed statements rely on as ASE does.
TEST(TypedAseServer, UnicodeLiteralsBigdatetimeAndThePrimaryKeyAsAseReadsThem) {
  AseServerFixture server;
  DatabaseSession db;
  db.Open("Provider=ASEOLEDB;Data Source=" + server.address() + ";User Id=" + server.user() +
          ";Password=" + server.password() + ";;Catalog=" + server.database());
  db.Execute(
      "CREATE TABLE [U]([k] int NOT NULL,[u] univarchar(4) NULL,[d] bigdatetime NULL,"
      "CONSTRAINT pk PRIMARY KEY CLUSTERED ([k]))");
  // A surrogate pair written as two escapes is one character.
  db.Execute("INSERT INTO [U] VALUES(1, U&'\\D83D\\DE00\\\\', '0001-01-01 00:00:00.000000')");
  db.Execute("INSERT INTO [U] VALUES(2, u&'a''b', '9999-12-31 23:59:59.999999')");
  auto refused = [&](const std::string& sql) {
    try {
      db.Execute(sql);
    } catch (const DatabaseError& e) {
      return e.NativeNumber();
    }
    return 0;
  };
  EXPECT_EQ(refused("INSERT INTO [U] VALUES(3, U&'\\12', NULL)"), 102);    // too few digits
  EXPECT_EQ(refused("INSERT INTO [U] VALUES(3, U&'\\DE00', NULL)"), 102);  // a lone low surrogate
  EXPECT_NE(refused("INSERT INTO [U] VALUES(3, NULL, '0000-12-31 00:00:00')"), 0);
  EXPECT_EQ(refused("INSERT INTO [U] VALUES(2, NULL, NULL)"), 2601);
  EXPECT_EQ(refused("CREATE TABLE [V]([a] int NOT NULL, PRIMARY KEY ([b]))"), 207);
  RecordSet rs;
  rs.Open("SELECT * FROM [U] ORDER BY [k]", db);
  EXPECT_EQ(ToText(rs.Fields().Item(1).Value()), "\xF0\x9F\x98\x80\\");
  EXPECT_EQ(ToText(rs.Fields().Item(2).Value()), "0001-01-01 00:00:00");
  rs.MoveNext();
  EXPECT_EQ(ToText(rs.Fields().Item(1).Value()), "a'b");
  EXPECT_EQ(ToText(rs.Fields().Item(2).Value()), "9999-12-31 23:59:59.999999");
}

}  // namespace
}  // namespace vq::testing

namespace vq::testing {
namespace {

// Servers older than a type get the type they have; a value that type cannot
// hold is reported with its row, and the other rows arrive.
class OlderServer : public TransferTest {
 protected:
  explicit OlderServer(const char* version)
      : server_(AseServerOptions{
            {{"sa", "secret"}}, {"testdb"}, "", false, false, "", "", {"--ase-version", version}}) {
    UseRealAse();
    settings_.Set(Setting::kAsePort, std::to_string(server_.port()));
    options_ = TransferOptions{};
    options_.keep_column_types = true;
    FakeTable& t = access_->tables["Dates"];
    t.columns = {Column("id", kAdInteger), Column("when", kAdDate), Column("big", kAdBigInt),
                 Column("memo", kAdLongVarWChar)};
    t.rows = {{int64_t{1}, DateTime{2024, 1, 2, 3, 4, 5, 0}, int64_t{1} << 40, std::string("a")},
              {int64_t{2}, DateTime{1600, 1, 1}, int64_t{-1}, std::string("b")},
              {int64_t{3}, std::monostate{}, std::monostate{}, std::monostate{}}};
    Select(list1_, {"Dates"});
  }

  Read Arrived() {
    return ReadAll(BuildSybaseConnectionString(settings_), "SELECT * FROM [Dates] ORDER BY [id]");
  }

  AseServerFixture server_;
};

class Ase150 : public OlderServer {
 protected:
  Ase150() : OlderServer("15.0") {}
};
class Ase125 : public OlderServer {
 protected:
  Ase125() : OlderServer("12.5") {}
};

TEST_F(Ase150, WithoutBigdatetimeADateBefore1753IsReportedWithItsRow) {
  EXPECT_EQ(ToAse(), 1);
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].find("1600-01-01"), std::string::npos) << Reports()[0];
  EXPECT_NE(Reports()[0].find("sql: INSERT INTO [Dates] VALUES(2, "), std::string::npos)
      << Reports()[0];
  const Read ase = Arrived();
  EXPECT_EQ(Types(ase.columns), (std::vector<int>{3, 135, 20, 203}));  // datetime, bigint, unitext
  EXPECT_EQ(ase.rows, (Table{{"1", "2024-01-02 03:04:05", "1099511627776", "a"},
                             {"3", "<null>", "<null>", "<null>"}}));
  // The server stands for 15.0, which has no bigdatetime yet.
  try {
    DatabaseSession db;
    db.Open(BuildSybaseConnectionString(settings_));
    db.Execute("CREATE TABLE [Later]([d] bigdatetime NULL)");
    ADD_FAILURE() << "a 15.0 server took bigdatetime";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.NativeNumber(), 2715) << e.what();
  }
}

TEST_F(Ase125, BeforeFifteenLargeNumbersAreNumericAndMemosText) {
  EXPECT_EQ(ToAse(), 1);
  const Read ase = Arrived();
  EXPECT_EQ(Types(ase.columns), (std::vector<int>{3, 135, 131, 201}));
  EXPECT_EQ(ase.columns[2].precision, 19);
  EXPECT_EQ(ase.rows.size(), 2u);
}

}  // namespace
}  // namespace vq::testing
