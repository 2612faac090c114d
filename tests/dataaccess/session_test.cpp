#include "dataaccess/session.h"

#include "dataaccess/connection_string.h"

#include <gtest/gtest.h>

#include "support/fake_provider.h"

namespace vq {
namespace {

using testing::FakeDatabase;
using testing::FakeProvider;

TEST(ProviderDispatch, MissingOrUnknownProviderIsAdoError) {
  for (const char* cs : {"Data Source=x", "Provider=Nope;", "Provider=;Data Source=x"}) {
    DatabaseSession db;
    try {
      db.Open(cs);
      FAIL() << cs;
    } catch (const DatabaseError& e) {
      EXPECT_EQ(e.Number(), -2146824582) << cs;
      EXPECT_FALSE(db.IsOpen());
    }
  }
  DatabaseSession db;
  try {
    db.Open("Provider=Nope;");
    FAIL() << "an unknown provider opened";
  } catch (const DatabaseError& e) {
    EXPECT_NE(e.Description().find("Nope"), std::string::npos) << e.Description();
  }
}

TEST(ProviderDispatch, KeyAndProviderNameAnyCase) {
  auto data = std::make_shared<FakeDatabase>();
  FakeProvider provider("Fake.Provider.1", data);
  DatabaseSession db;
  db.Open("pRoViDeR=fake.provider.1;Data Source=here");
  EXPECT_TRUE(db.IsOpen());
  ASSERT_EQ(data->opened.size(), 1u);
  EXPECT_EQ(data->opened[0], "pRoViDeR=fake.provider.1;Data Source=here");
}

TEST(RecordSetWalk, RowsFieldsAndCount) {
  auto data = std::make_shared<FakeDatabase>();
  data->tables["T"].columns = {{"ID", 3}, {"Name", 202}};
  data->tables["T"].rows = {{int64_t{1}, std::string("a")}, {int64_t{2}, Value{}}};
  FakeProvider provider("Fake", data);
  DatabaseSession db;
  db.Open("Provider=Fake");
  RecordSet rs;
  rs.Open("SELECT * FROM [T]", db, kAdOpenStatic, kAdLockOptimistic);
  EXPECT_EQ(rs.RecordCount(), 2);
  ASSERT_EQ(rs.Fields().Count(), 2);
  EXPECT_EQ(rs.Fields().Item(1).Name(), "Name");
  EXPECT_EQ(rs.Fields().Item(1).Type(), 202);
  EXPECT_FALSE(rs.Eof());
  EXPECT_EQ(ToText(rs.Fields().Item("name").Value()), "a");
  rs.MoveNext();
  EXPECT_TRUE(IsNull(rs.Fields().Item(1).Value()));
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_THROW(rs.MoveNext(), DatabaseError);
  EXPECT_THROW(rs.Fields().Item(0).Value(), DatabaseError);
  EXPECT_THROW(rs.Fields().Item("nope"), DatabaseError);
  rs.Close();
  EXPECT_THROW(rs.Eof(), DatabaseError);

  RecordSet schema = db.OpenSchema(kAdSchemaTables);
  EXPECT_EQ(ToText(schema.Fields().Item("TABLE_NAME").Value()), "T");
  db.Close();
  EXPECT_THROW(db.Execute("DROP TABLE x"), DatabaseError);
}

// Rows from a list whose fetch of one row fails once, before anything of the
// row is delivered, as a dropped connection or a value the provider cannot
// convert does.
class FetchFailsOnce : public Cursor {
 public:
  FetchFailsOnce(std::vector<int64_t> rows, size_t failing) : rows_(rows), failing_(failing) {}
  const std::vector<FieldInfo>& Columns() const override { return columns_; }
  bool Fetch(std::vector<Value>& row) override {
    if (next_ == failing_ && !failed_) {
      failed_ = true;
      ++next_;  // the row is lost, as it is on the wire
      throw DatabaseError(errors::kUnspecified, "the connection dropped");
    }
    if (next_ >= rows_.size()) return false;
    row = {Value{rows_[next_++]}};
    return true;
  }
  int64_t RowCount() override { return static_cast<int64_t>(rows_.size()); }

 private:
  std::vector<FieldInfo> columns_ = {FieldInfo{"n", 20}};
  std::vector<int64_t> rows_;
  size_t failing_;
  size_t next_ = 0;
  bool failed_ = false;
};

TEST(RecordSetWalk, AFailedFetchLeavesNoRowToRepeat) {
  RecordSet rs;
  rs.Attach(std::make_unique<FetchFailsOnce>(std::vector<int64_t>{1, 2, 3}, 1));
  EXPECT_EQ(rs.Fields().Item(0).Value(), Value(int64_t{1}));
  EXPECT_THROW(rs.MoveNext(), DatabaseError);
  // Row 1 must not read again as if it were the row that failed.
  EXPECT_FALSE(rs.Eof());
  EXPECT_THROW(rs.Fields().Item(0).Value(), DatabaseError);
  EXPECT_THROW(rs.Fields().Item("n").Value(), DatabaseError);
  rs.MoveNext();
  EXPECT_EQ(rs.Fields().Item(0).Value(), Value(int64_t{3}));
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());

  // A first fetch that fails leaves no current row either.
  RecordSet first;
  EXPECT_THROW(first.Attach(std::make_unique<FetchFailsOnce>(std::vector<int64_t>{7, 8}, 0)),
               DatabaseError);
  EXPECT_FALSE(first.Eof());
  EXPECT_THROW(first.Fields().Item(0).Value(), DatabaseError);
  first.MoveNext();
  EXPECT_EQ(first.Fields().Item(0).Value(), Value(int64_t{8}));
}

TEST(ConnectionStringParse, KeysAnyCaseEmptySegmentsSkippedValuesVerbatim) {
  auto cs = ConnectionString::Parse(
      "Provider=ASEOLEDB;Data Source=ase1:5000;User Id=sa;Password= p w ;;Catalog=sales");
  EXPECT_EQ(cs.GetOr("provider", ""), "ASEOLEDB");
  EXPECT_EQ(cs.GetOr("DATA SOURCE", ""), "ase1:5000");
  EXPECT_EQ(cs.GetOr("password", ""), " p w ");
  EXPECT_EQ(cs.GetOr("catalog", ""), "sales");
  EXPECT_FALSE(cs.Get("Database").has_value());

  // A password holding ";" and "=" stays whole when the backend names its keys.
  auto jet = ConnectionString::Parse(
      "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/x/a;b.mdb;JET OLEDB:Database "
      "Password=p;q=r",
      {"Provider", "Data Source", "Jet OLEDB:Database Password"});
  EXPECT_EQ(jet.GetOr("data source", ""), "/x/a;b.mdb");
  EXPECT_EQ(jet.GetOr("jet oledb:database password", ""), "p;q=r");

  // Doubled separators inside a value are the value's own.
  auto ase = ConnectionString::Parse(
      "Provider=ASEOLEDB;Data Source=h:1;User Id=u;Password=a;;b;;;c;;Catalog=db",
      {"Provider", "Data Source", "User Id", "Password", "Catalog"});
  EXPECT_EQ(ase.GetOr("password", ""), "a;;b;;;c");
  EXPECT_EQ(ase.GetOr("catalog", ""), "db");
}

}  // namespace
}  // namespace vq
