// What a typed transfer learns of a column beyond its type: whether it takes
// nulls and its place in the primary key, from Access; and the size of a
// Unicode column, from ASE.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "dataaccess/session.h"
#include "jet/database.h"
#include "support/access_write_probe.h"
#include "support/ase_server_fixture.h"

namespace vq::testing {
namespace {

std::vector<FieldInfo> Columns(const std::string& connection_string, const std::string& sql) {
  DatabaseSession db;
  db.Open(connection_string);
  RecordSet rs;
  rs.Open(sql, db);
  std::vector<FieldInfo> out;
  for (int j = 0; j < rs.Fields().Count(); ++j) out.push_back(rs.Fields().Item(j).Info());
  return out;
}

TEST(TypedFieldInfo, AccessTellsRequiredColumnsAndThePrimaryKeyInKeyOrder) {
  const std::string path = NewAccessFile("typed-field-info-" + std::to_string(getpid()) + ".mdb");
  {
    auto db = jet::Database::Open(path, "");
    db->Execute(
        "CREATE TABLE `Lines` (`note` TEXT(20), `line` SHORT NOT NULL, `order` LONG NOT NULL, "
        "`paid` BIT)");
    db->Execute("CREATE INDEX PrimaryKey ON `Lines` (`order`, `line`) WITH PRIMARY");
    db->Close();
  }
  const std::vector<FieldInfo> c = Columns(AccessConnectionString(path), "SELECT * FROM `Lines`");
  ASSERT_EQ(c.size(), 4u);
  EXPECT_TRUE(c[0].nullable);
  EXPECT_FALSE(c[1].nullable);
  EXPECT_FALSE(c[2].nullable);
  EXPECT_FALSE(c[3].nullable);  // Yes/No holds no null
  EXPECT_EQ(c[0].key_position, 0);
  EXPECT_EQ(c[1].key_position, 2);
  EXPECT_EQ(c[2].key_position, 1);
  EXPECT_EQ(c[3].key_position, 0);
  std::filesystem::remove(path);
}

TEST(TypedFieldInfo, AseUnicodeColumnsHaveTheirDeclaredSize) {
  AseServerFixture server;
  const std::string cs = "Provider=ASEOLEDB;Data Source=" + server.address() +
                         ";User Id=" + server.user() + ";Password=" + server.password() +
                         ";;Catalog=" + server.database();
  {
    DatabaseSession db;
    db.Open(cs);
    db.Execute("CREATE TABLE [W]([u] univarchar(50) NULL,[f] unichar(3) NOT NULL,[v] varchar(7))");
  }
  const std::vector<FieldInfo> c = Columns(cs, "SELECT * FROM [W]");
  ASSERT_EQ(c.size(), 3u);
  // Two bytes a UTF-16 unit, as ASE declares them.
  EXPECT_EQ(c[0].defined_size, 100);
  EXPECT_EQ(c[1].defined_size, 6);
  EXPECT_EQ(c[2].defined_size, 7);
  EXPECT_TRUE(c[0].nullable);
  EXPECT_FALSE(c[1].nullable);
  EXPECT_FALSE(c[2].nullable);
}

}  // namespace
}  // namespace vq::testing

namespace vq::testing {
namespace {

TEST(TypedFieldInfo, CharacterColumnsHaveTheirDeclaredSizeOnASingleByteServer) {
  AseServerOptions options;
  options.charset = "iso_1";
  AseServerFixture server(options);
  const std::string cs = "Provider=ASEOLEDB;Data Source=" + server.address() + ";User Id=" +
                         server.user() + ";Password=" + server.password() +
                         ";;Catalog=" + server.database();
  {
    DatabaseSession db;
    db.Open(cs);
    db.Execute("CREATE TABLE [W]([v] varchar(7) NULL,[c] char(5) NOT NULL,[u] univarchar(9))");
  }
  const std::vector<FieldInfo> c = Columns(cs, "SELECT * FROM [W]");
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].defined_size, 7);
  EXPECT_EQ(c[1].defined_size, 5);
  EXPECT_EQ(c[2].defined_size, 18);
}

}  // namespace
}  // namespace vq::testing
