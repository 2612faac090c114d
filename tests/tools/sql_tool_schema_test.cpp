// vellquist-sql --schema: a table's columns, indexes and relationships as
// text, the same before and after a rename apart from the name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "jet/database.h"
#include "sql_tool.h"

namespace vq::tools {
namespace {

class SqlToolSchema : public ::testing::Test {
 protected:
  SqlToolSchema() {
    dir_ = ::testing::TempDir() + "/vq-schema-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir_);
  }
  ~SqlToolSchema() override { std::filesystem::remove_all(dir_); }

  static std::string Connection(const std::string& path, bool ace) {
    return std::string("PROVIDER=") +
           (ace ? "Microsoft.ACE.OLEDB.12.0" : "Microsoft.Jet.OLEDB.4.0") + ";Data Source=" + path +
           ";JET OLEDB:Database Password=";
  }
  // Runs the tool; its standard output, and its error text in `err`.
  static int Run(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::ostringstream o, e;
    const int status = RunVellquistSql(args, o, e);
    out = o.str();
    err = e.str();
    return status;
  }

  std::string dir_;
};

TEST_F(SqlToolSchema, ColumnsAndIndexesAsMadeAndKeptByARename) {
  for (const auto format : {jet::NewFormat::kAccess2000, jet::NewFormat::kAccess2003,
                            jet::NewFormat::kAccess2007, jet::NewFormat::kAccess97}) {
    const bool ace = format == jet::NewFormat::kAccess2007;
    // Access 97 has no DECIMAL, and keeps names in code page 1252.
    const bool jet3 = format == jet::NewFormat::kAccess97;
    SCOPED_TRACE(ace ? "accdb" : jet3 ? "Access 97 mdb" : "mdb");
    const std::string path = dir_ + (ace ? "/t.accdb" : "/t.mdb");
    std::filesystem::remove(path);
    jet::Database::Create(path, format, "");
    {
      auto db = jet::Database::Open(path, "");
      db->Execute(std::string("CREATE TABLE `Größe T` (id COUNTER, name TEXT(40) NOT NULL, ") +
                  "born DATETIME, " + (jet3 ? "" : "amount DECIMAL(12,3), ") +
                  "flag BIT, note MEMO, g GUID, raw BINARY(16), pic LONGBINARY, "
                  "small SHORT, tiny BYTE, price CURRENCY, ratio SINGLE, score DOUBLE)");
      db->Execute("CREATE INDEX PrimaryKey ON `Größe T` (id) WITH PRIMARY");
      db->Execute("CREATE UNIQUE INDEX ByName ON `Größe T` (name)");
      db->Execute("CREATE INDEX ByBornPrice ON `Größe T` (born DESC, price)");
      db->Execute("CREATE INDEX ByNote ON `Größe T` (tiny) WITH IGNORE NULL");
      db->Close();
    }
    const std::string expected = std::string(
                                     "TABLE [Größe T]\n"
                                     "COLUMN [id] COUNTER\n"
                                     "COLUMN [name] TEXT(40) NOT NULL\n"
                                     "COLUMN [born] DATETIME\n") +
                                 (jet3 ? "" : "COLUMN [amount] DECIMAL(12,3)\n") +
                                 "COLUMN [flag] BIT\n"
                                 "COLUMN [note] LONGTEXT\n"
                                 "COLUMN [g] GUID\n"
                                 "COLUMN [raw] BINARY(16)\n"
                                 "COLUMN [pic] LONGBINARY\n"
                                 "COLUMN [small] SHORT\n"
                                 "COLUMN [tiny] BYTE\n"
                                 "COLUMN [price] CURRENCY\n"
                                 "COLUMN [ratio] SINGLE\n"
                                 "COLUMN [score] DOUBLE\n"
                                 "INDEX [ByBornPrice] ([born] DESC, [price] ASC)\n"
                                 "INDEX [ByName] UNIQUE ([name] ASC)\n"
                                 "INDEX [ByNote] IGNORE NULLS ([tiny] ASC)\n"
                                 "INDEX [PrimaryKey] PRIMARY KEY UNIQUE REQUIRED ([id] ASC)\n";
    std::string out, err;
    ASSERT_EQ(Run({"--connect", Connection(path, ace), "--schema", "größe t"}, out, err), 0) << err;
    EXPECT_EQ(out, expected);

    // Renamed in the same run: only the name changes, in the same order.
    const std::string renamed = jet3 ? "Prüfung Ærø €" : "Prüfung Ærø 表";
    ASSERT_EQ(Run({"--connect", Connection(path, ace), "--execute",
                   "ALTER TABLE `Größe T` RENAME TO `" + renamed + "`", "--schema", renamed},
                  out, err),
              0)
        << err;
    EXPECT_EQ(out, "TABLE [" + renamed + "]" + expected.substr(expected.find('\n')));
  }
}

TEST_F(SqlToolSchema, NoSuchTableAndANonAccessConnectionAreClearErrors) {
  const std::string path = dir_ + "/t.mdb";
  jet::Database::Create(path, jet::NewFormat::kAccess2003, "");
  std::string out, err;
  EXPECT_EQ(Run({"--connect", Connection(path, false), "--schema", "Missing"}, out, err), 1);
  EXPECT_EQ(err.rfind("error -2147217865: ", 0), 0u) << err;
  EXPECT_NE(err.find("Missing"), std::string::npos) << err;
  EXPECT_EQ(out, "");
  EXPECT_EQ(Run({"--connect", "Provider=ASEOLEDB;Data Source=127.0.0.1:1;User Id=u;Password=p",
                 "--schema", "T"},
                out, err),
            1);
  EXPECT_EQ(Run({"--connect", Connection(path, false), "--schema"}, out, err), 2);
}

// The relationships of an Access 97 file, as Access made them: both ends of
// each, its columns, and whether it is enforced and cascades.
TEST_F(SqlToolSchema, RelationshipsOfAFileAccessMade) {
  const std::string nwind =
      std::string(VQ_SHARED_DIR) + "/fixtures/access/mdbtestdata/data/nwind.mdb";
  if (!std::filesystem::exists(nwind))
    GTEST_SKIP() << "needs the shared Access fixtures (../shared), made by Access itself";
  std::string out, err;
  ASSERT_EQ(Run({"--connect", Connection(nwind, false), "--schema", "Orders"}, out, err), 0) << err;
  for (const char* line :
       {"COLUMN [OrderID] COUNTER\n", "COLUMN [Freight] CURRENCY\n",
        "INDEX [PrimaryKey] PRIMARY KEY UNIQUE REQUIRED ([OrderID] ASC)\n",
        "INDEX [CustomersOrders] FOREIGN KEY ([CustomerID] ASC)\n",
        "RELATIONSHIP [CustomersOrders] [Orders]([CustomerID]) REFERENCES "
        "[Customers]([CustomerID]) ENFORCED CASCADE UPDATES\n",
        "RELATIONSHIP [OrdersOrder Details] [Order Details]([OrderID]) REFERENCES "
        "[Orders]([OrderID]) ENFORCED CASCADE DELETES\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << line << "in\n" << out;
  }
}

}  // namespace
}  // namespace vq::tools
