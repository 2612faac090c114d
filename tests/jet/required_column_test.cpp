// NOT NULL columns: kept as the column's "Required" property, read back from
// it, enforced on INSERT and carried by SELECT INTO.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/property_blob.h"
#include "scratch_files.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

bool Required(Database& db, const std::string& table, const std::string& column) {
  for (const Column& c : db.Definition(table).columns)
    if (c.name == column) return c.required;
  ADD_FAILURE() << "no column " << column;
  return false;
}

int64_t RowCount(Database& db, const std::string& table) {
  auto reader = db.OpenTable(table);
  std::vector<Value> row;
  int64_t n = 0;
  while (reader->Next(row)) ++n;
  return n;
}

TEST(PropertyBlob, EncodedBlobParsesBackAsAccessWritesRequired) {
  std::vector<PropertySet> sets = {RequiredColumnProperties("a"),
                                   RequiredColumnProperties("Ünïcode name")};
  std::vector<uint8_t> blob = EncodePropertyBlob(sets);
  std::vector<PropertySet> back = ParsePropertyBlob(ByteView(blob.data(), blob.size()), 1252);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].name, "Ünïcode name");
  const Property* p = back[1].Find("Required");
  ASSERT_NE(p, nullptr);
  // As Access stores it: set through DDL, a Yes/No of one byte, 1.
  EXPECT_TRUE(p->ddl);
  EXPECT_EQ(p->type, kBool);
  EXPECT_EQ(p->value, std::vector<uint8_t>{1});
  // One name entry serves both columns.
  const std::u16string name = u"Required";
  const auto* units = reinterpret_cast<const uint8_t*>(name.data());
  const std::vector<uint8_t> needle(units, units + 2 * name.size());
  auto first = std::search(blob.begin(), blob.end(), needle.begin(), needle.end());
  ASSERT_NE(first, blob.end());
  EXPECT_EQ(std::search(first + 1, blob.end(), needle.begin(), needle.end()), blob.end());

  TableDefinition t;
  t.columns.resize(3);
  t.columns[0].name = "A";  // names match ignoring case
  t.columns[1].name = "Ünïcode name";
  t.columns[2].name = "other";
  ApplyColumnProperties(back, t);
  EXPECT_TRUE(t.columns[0].required);
  EXPECT_TRUE(t.columns[1].required);
  EXPECT_FALSE(t.columns[2].required);
}

TEST(RequiredColumns, AreStoredEnforcedAndCopied) {
  for (NewFormat format : {NewFormat::kAccess2003, NewFormat::kAccess2007}) {
    SCOPED_TRACE(static_cast<int>(format));
    testing::ScratchDir dir;
    const std::string path = dir / (format == NewFormat::kAccess2007 ? "new.accdb" : "new.mdb");
    Database::Create(path, format, "");
    {
      auto db = Database::Open(path, "");
      db->Execute(
          "CREATE TABLE Strict (id COUNTER NOT NULL, a LONG NOT NULL, "
          "b TEXT(20) NOT NULL, c TEXT(5) NULL, d MEMO)");
      EXPECT_TRUE(Required(*db, "Strict", "a"));
      EXPECT_TRUE(Required(*db, "Strict", "b"));
      EXPECT_FALSE(Required(*db, "Strict", "c"));
      EXPECT_FALSE(Required(*db, "Strict", "d"));

      // The autonumber fills itself; an empty text is a value, not a null.
      db->Execute("INSERT INTO Strict (a, b, c) VALUES (1, '', NULL)");
      db->Close();
      const auto size = fs::file_size(path);
      const std::vector<uint8_t> before = testing::FileBytes(path);
      for (const char* bad : {"INSERT INTO Strict (a, b) VALUES (NULL, 'x')",
                              "INSERT INTO Strict (a, c) VALUES (2, 'x')",
                              "INSERT INTO Strict VALUES (NULL, 3, NULL, 'x', 'memo')"}) {
        SCOPED_TRACE(bad);
        try {
          db->Execute(bad);
          ADD_FAILURE() << "a null went into a required column";
        } catch (const JetError& e) {
          EXPECT_EQ(e.Number(), error_numbers::kIntegrityViolation);
          EXPECT_NE(std::string(e.what()).find("requires a value"), std::string::npos);
        }
      }
      db->Close();
      EXPECT_EQ(fs::file_size(path), size);
      EXPECT_EQ(testing::FileBytes(path), before) << "a refused INSERT changed the file";
      EXPECT_EQ(RowCount(*db, "Strict"), 1);

      db->Execute("SELECT * INTO StrictCopy FROM Strict");
      EXPECT_TRUE(Required(*db, "StrictCopy", "b"));
      EXPECT_FALSE(Required(*db, "StrictCopy", "c"));
      EXPECT_THROW(db->Execute("INSERT INTO StrictCopy (a, b) VALUES (5, NULL)"), JetError);
      db->Close();
    }
  }
}

}  // namespace
}  // namespace jet
