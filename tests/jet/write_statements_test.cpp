// Writing statements through jet::Database on new files of each format (and,
// where the shared fixtures are at hand, on copies of files Access made): what
// they write reads back value for value, here and (through
// check_written_file.py) with mdbtools and mdb-reader; what fails leaves the
// file byte for byte as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdio>
#include <functional>
#include <set>
#include <sstream>

#include "error_of.h"
#include "jet/database.h"
#include "jet/rc4.h"
#include "other_readers.h"
#include "test_file_sources.h"

namespace jet {

// Values print readably in failure messages.
void PrintTo(const Value& v, std::ostream* os) {
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          *os << "null";
        } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int64_t>) {
          *os << x;
        } else if constexpr (std::is_same_v<T, double>) {
          *os << std::hexfloat << x << std::defaultfloat;
        } else if constexpr (std::is_same_v<T, std::string>) {
          *os << '"' << x.substr(0, 60) << (x.size() > 60 ? "...\" (" : "\" (") << x.size()
              << " bytes)";
        } else if constexpr (std::is_same_v<T, Binary>) {
          *os << "binary of " << x.size() << " bytes";
        } else if constexpr (std::is_same_v<T, Money>) {
          *os << "money " << x.ten_thousandths;
        } else if constexpr (std::is_same_v<T, OleDate>) {
          *os << "date " << std::hexfloat << x.days << std::defaultfloat;
        } else if constexpr (std::is_same_v<T, Numeric>) {
          *os << "decimal " << (x.negative ? "-" : "") << static_cast<uint64_t>(x.magnitude)
              << "... p" << int(x.precision) << " s" << int(x.scale);
        } else {
          *os << "(value)";
        }
      },
      v);
}

namespace {

using testing::CheckWithOtherReaders;

using testing::AtHand;
using testing::CopyFile;
using testing::Exists;
using testing::FileBytes;
using testing::FileSource;
using testing::ScratchDir;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

// For the tests whose subject is a file Access made with what our SQL cannot
// make (relationships, an Access 97 file).
#define REQUIRE_ACCESS_MADE_FILES(what)                                                  \
  if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))                                 \
  GTEST_SKIP() << "needs " << what << " made by Access: the shared fixtures are not at " \
               << kFixtures

using Rows = std::vector<std::vector<Value>>;

Rows AllRows(Database& db, const std::string& table) {
  auto reader = db.OpenTable(table);
  Rows rows;
  std::vector<Value> row;
  while (reader->Next(row)) rows.push_back(row);
  return rows;
}

// Rows in the order of their first column: rows come in the order of the
// pages they landed on, which need not be the order they were added in.
Rows SortedRows(Database& db, const std::string& table) {
  Rows rows = AllRows(db, table);
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return std::get<int64_t>(a[0]) < std::get<int64_t>(b[0]);
  });
  return rows;
}

std::set<std::string> UserTables(Database& db) {
  std::set<std::string> names;
  for (const CatalogueEntry& e : db.Catalogue())
    if (e.kind == ObjectKind::kUserTable) names.insert(e.name);
  return names;
}

using testing::ErrorOf;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string Hex(const Binary& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out = "0x";
  out.reserve(2 + 2 * bytes.size());
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

Binary Pattern(size_t n) {
  Binary b(n);
  for (size_t k = 0; k < n; ++k) b[k] = static_cast<uint8_t>(k * 7 + k / 251);
  return b;
}

std::string AsciiText(size_t n) {
  std::string s(n, ' ');
  for (size_t k = 0; k < n; ++k) s[k] = static_cast<char>('!' + (k * 11 + k / 97) % 94);
  return s;
}

std::string Repeat(const std::string& piece, size_t times) {
  std::string s;
  for (size_t k = 0; k < times; ++k) s += piece;
  return s;
}

Guid GuidOf(uint8_t fill) {
  Guid g;
  g.bytes.fill(fill);
  return g;
}

// 10^28 - 1: the largest DECIMAL(28, s) magnitude.
unsigned __int128 AllNines() {
  unsigned __int128 v = 0;
  for (int k = 0; k < 28; ++k) v = v * 10 + 9;
  return v;
}

// One column of the all-types table: its SQL type, its stored type, and per
// row the literal to insert and the value to read back.
struct TypedColumn {
  const char* name;
  const char* sql;
  uint8_t type;
  std::vector<std::pair<std::string, Value>> cells;
};

const std::string kUnicode50 = [] {
  std::string s = "Ünïcödé Ωμέγα Кириллица 漢字かな €‰ 😀 ";  // the emoji is two UTF-16 units
  return s + s.substr(0, 18);                                // 50 UTF-16 units
}();
// The same for Access 97 files, whose text is in code page 1252.
const std::string kWestern50 = "Ünïcödé Œuvre Šš Ÿ ß ø Æ „q“ €‰ … Ærø Größe Ñandú!";
const std::string kQuotes = "O'Hara said \"hi\" `x` -- [b] 100% ; a,b \\ \t tab";

std::vector<TypedColumn> AllTypes(bool bigint, bool jet3) {
  const double single_max = static_cast<double>(3.4028235e38f);
  const std::string& text50 = jet3 ? kWestern50 : kUnicode50;
  const std::string memo = jet3 ? Repeat("Æøß€", 500) : Repeat("漢字かな", 500);
  std::vector<TypedColumn> c = {
      {"c_text",
       "TEXT(50)",
       kText,
       {{"'a'", "a"}, {Quote(text50), text50}, {"NULL", {}}, {Quote(kQuotes), kQuotes}}},
      {"c_memo", "MEMO", kMemo, {{"''", ""}, {"'x'", "x"}, {"NULL", {}}, {Quote(memo), memo}}},
      {"c_byte",
       "BYTE",
       kByte,
       {{"0", int64_t{0}}, {"'255'", int64_t{255}}, {"NULL", {}}, {"1", int64_t{1}}}},
      {"c_short",
       "SHORT",
       kInt,
       {{"-32768", int64_t{-32768}},
        {"32767", int64_t{32767}},
        {"NULL", {}},
        {"'-1'", int64_t{-1}}}},
      {"c_long",
       "LONG",
       kLong,
       {{"-2147483648", int64_t{INT32_MIN}},
        {"'2147483647'", int64_t{INT32_MAX}},
        {"NULL", {}},
        {"0", int64_t{0}}}},
      {"c_currency",
       "CURRENCY",
       kMoney,
       {{"'-922337203685477.5808'", Money{INT64_MIN}},
        {"922337203685477.5807", Money{INT64_MAX}},
        {"NULL", {}},
        {"'0.0001'", Money{1}}}},
      {"c_real",
       "REAL",
       kFloat,
       {{"'-3.4028235e+38'", -single_max},
        {"3.4028235E38", single_max},
        {"NULL", {}},
        {"1.5", 1.5}}},
      {"c_float",
       "FLOAT",
       kDouble,
       {{"'-1.7976931348623157e+308'", -DBL_MAX},
        {"1.7976931348623157e308", DBL_MAX},
        {"NULL", {}},
        {"'5e-324'", 5e-324}}},
      {"c_decimal",
       "DECIMAL(28,6)",
       kNumeric,
       {{"'-9999999999999999999999.999999'", Numeric{AllNines(), 28, 6, true}},
        {"9999999999999999999999.999999", Numeric{AllNines(), 28, 6, false}},
        {"NULL", {}},
        {"'-0.000001'", Numeric{1, 28, 6, true}}}},
      {"c_date",
       "DATETIME",
       kDateTime,
       {{"'0100-01-01 00:00:00'", OleDate{-657434}},
        {"#9999-12-31 23:59:59#", OleDate{2958465 + 86399.0 / 86400.0}},
        {"NULL", {}},
        {"'2024-02-29 13:45:30'", OleDate{45351 + (13 * 3600 + 45 * 60 + 30) / 86400.0}}}},
      {"c_bit", "BIT", kBool, {{"False", false}, {"'True'", true}, {"'0'", false}, {"1", true}}},
      {"c_binary",
       "BINARY(16)",
       kBinary,
       {{"0x00", Binary{0}},
        {Hex(Binary(16, 0xFF)), Binary(16, 0xFF)},
        {"NULL", {}},
        {"'0x000102'", Binary{0, 1, 2}}}},
      {"c_ole",
       "OLEOBJECT",
       kOle,
       {{"''", Binary{}},
        {"0x7F", Binary{0x7F}},
        {"NULL", {}},
        {Hex(Pattern(3000)), Pattern(3000)}}},
      {"c_guid",
       "GUID",
       kGuid,
       {{"'{00000000-0000-0000-0000-000000000000}'", GuidOf(0)},
        {"'{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}'", GuidOf(0xFF)},
        {"NULL", {}},
        {"'{00112233-4455-6677-8899-AABBCCDDEEFF}'",
         Guid{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD,
               0xEE, 0xFF}}}}},
  };
  // Access 97 has no DECIMAL.
  if (jet3)
    c.erase(
        std::find_if(c.begin(), c.end(), [](const TypedColumn& t) { return t.type == kNumeric; }));
  if (bigint)
    c.push_back({"c_big",
                 "BIGINT",
                 kBigInt,
                 {{"'-9223372036854775808'", int64_t{INT64_MIN}},
                  {"9223372036854775807", int64_t{INT64_MAX}},
                  {"NULL", {}},
                  {"-1", int64_t{-1}}}});
  return c;
}

// The long values written: 0, 1, 2,000, 5,000 and 2,000,000 bytes of memo
// text and of OLE data, and a memo of text that does not compress.
const std::vector<size_t> kLongSizes = {0, 1, 2000, 5000, 2000000};

struct Written {
  std::set<std::string> tables;  // the user tables the file should hold
  std::map<std::string, Rows> rows;
};

// The statements every round-trip file gets, and what they should leave.
Written WriteScenario(Database& db, const std::set<std::string>& before,
                      const std::map<std::string, Rows>& before_rows) {
  Written w;
  const bool bigint = db.FileHeader().version >= 5;
  const bool jet3 = db.FileHeader().IsJet3();
  std::vector<TypedColumn> columns = AllTypes(bigint, jet3);
  std::string create = "CREATE TABLE `AllTypes` (`id` COUNTER";
  std::string names;
  for (const TypedColumn& c : columns) {
    create += std::string(", `") + c.name + "` " + c.sql;
    names += std::string(names.empty() ? "" : ", ") + "`" + c.name + "`";
  }
  db.Execute(create + ");");
  Rows all;
  for (size_t r = 0; r < 4; ++r) {
    std::string values;
    std::vector<Value> row = {int64_t(r + 1)};
    for (const TypedColumn& c : columns) {
      values += (values.empty() ? "" : ", ") + c.cells[r].first;
      row.push_back(c.cells[r].second);
    }
    db.Execute("INSERT INTO `AllTypes` (" + names + ") VALUES (" + values + ")");
    all.push_back(row);
  }

  db.Execute("create table LongValues (id LONG, m LONGTEXT, o LONGBINARY)");
  Rows longs;
  int64_t id = 0;
  for (size_t n : kLongSizes) {
    std::string text = AsciiText(n);
    db.Execute("INSERT INTO LongValues VALUES (" + std::to_string(id) + ", " + Quote(text) + ", " +
               Hex(Pattern(n)) + ")");
    longs.push_back({id++, text, Pattern(n)});
  }
  // 5,000 UTF-16 units that do not compress (Access 97: 5,000 code page bytes)
  const std::string wide = jet3 ? Repeat("Œé", 2500) : Repeat("Ω漢", 2500);
  db.Execute("INSERT INTO LongValues (id, m) VALUES (" + std::to_string(id) + ", " + Quote(wide) +
             ")");
  longs.push_back({id, wide, Value{}});

  // A spill limit of a few pages makes the big copy bring its pages to the
  // file while it runs, as a copy of a big table does, and leaves the small
  // one in memory.
  db.File().SetSpillLimit(8);
  db.Execute("SELECT a1.* INTO `AllTypesCopy` FROM `AllTypes` AS a1;");
  db.Execute("SELECT * INTO [LongCopy] FROM [LongValues]");
  // The copy carries the autonumber on.
  db.Execute("INSERT INTO AllTypesCopy (c_text, c_bit) VALUES ('next', True)");
  Rows copy = all;
  std::vector<Value> next(all[0].size());
  next[0] = int64_t{5};
  next[1] = std::string("next");
  for (size_t k = 0; k < columns.size(); ++k)
    if (columns[k].type == kBool) next[k + 1] = true;
  copy.push_back(next);

  db.Execute("CREATE TABLE Doomed (a LONG, b TEXT(5), m MEMO)");
  db.Execute("INSERT INTO Doomed VALUES (1, 'gone', " + Quote(AsciiText(9000)) + ")");
  db.Execute("DROP TABLE doomed");

  w.tables = before;
  if (!before.empty()) {
    const std::string victim = *before.rbegin();
    db.Execute("DROP TABLE [" + victim + "]");
    w.tables.erase(victim);
  }
  for (const std::string& t : w.tables) w.rows[t] = before_rows.at(t);
  w.tables.insert({"AllTypes", "AllTypesCopy", "LongValues", "LongCopy"});
  w.rows["AllTypes"] = all;
  w.rows["AllTypesCopy"] = copy;
  w.rows["LongValues"] = longs;
  w.rows["LongCopy"] = longs;
  return w;
}

struct RoundTrip {
  FileSource source;
  const char* password;
  bool encode;                // made into a Jet "encoded" database first
  bool add_password = false;  // an Access 97 fixture given `password` first
};

class WriteStatements : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(WriteStatements, WrittenFilesReadBackValueForValue) {
  const RoundTrip& f = GetParam();
  if (!f.source.AtHand())
    GTEST_SKIP() << "an extra case on a file Access made; no " << f.source.Name();
  ScratchDir dir;
  const std::string path = f.source.MakeIn(dir, "copy", f.source.fixture ? "" : f.password);
  const uint32_t key = 0x5A17C0DE;
  if (f.encode) testing::EncodeInPlace(path, key);
  if (f.add_password) testing::SetJet3PasswordInPlace(path, f.password);

  Written w;
  {
    auto db = Database::Open(path, f.password);
    std::set<std::string> before = UserTables(*db);
    std::map<std::string, Rows> before_rows;
    for (const std::string& t : before) before_rows[t] = AllRows(*db, t);
    w = WriteScenario(*db, before, before_rows);
  }  // released: the last changes reach the file
  EXPECT_FALSE(Exists(PageFile::JournalPath(path)));

  auto db = Database::Open(path, f.password);
  ASSERT_EQ(db->File().FileSize() % db->FileHeader().page_size, 0u);
  EXPECT_EQ(UserTables(*db), w.tables);
  size_t values = 0;
  for (const auto& [table, rows] : w.rows) {
    SCOPED_TRACE(table);
    bool ours = table.rfind("AllTypes", 0) == 0 || table.rfind("Long", 0) == 0;
    Rows got = ours ? SortedRows(*db, table) : AllRows(*db, table);
    ASSERT_EQ(got.size(), rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
      ASSERT_EQ(got[r].size(), rows[r].size());
      for (size_t c = 0; c < rows[r].size(); ++c) {
        EXPECT_EQ(got[r][c], rows[r][c]) << "row " << r << " column " << c;
        ++values;
      }
    }
  }
  // The copies have the source's column types, sizes and scales.
  for (const auto& [from, to] :
       {std::pair{"AllTypes", "AllTypesCopy"}, {"LongValues", "LongCopy"}}) {
    TableDefinition a = db->Definition(from), b = db->Definition(to);
    ASSERT_EQ(a.columns.size(), b.columns.size());
    for (size_t k = 0; k < a.columns.size(); ++k) {
      EXPECT_EQ(a.columns[k].name, b.columns[k].name);
      EXPECT_EQ(a.columns[k].type, b.columns[k].type) << a.columns[k].name;
      EXPECT_EQ(a.columns[k].length, b.columns[k].length) << a.columns[k].name;
      EXPECT_EQ(a.columns[k].precision, b.columns[k].precision) << a.columns[k].name;
      EXPECT_EQ(a.columns[k].scale, b.columns[k].scale) << a.columns[k].name;
    }
  }
  std::printf("%s: %zu tables, %zu values read back\n", f.source.Name().c_str(), w.rows.size(),
              values);

  if (*f.password) {
    EXPECT_EQ(ErrorOf([&] {
                db.reset();
                Database::Open(path, "");
              }),
              error_numbers::kBadPassword);
    EXPECT_EQ(ErrorOf([&] { Database::Open(path, "Password"); }), error_numbers::kBadPassword);
    db = Database::Open(path, f.password);
  }
  if (f.encode) {
    // Still encoded: the new table's pages are stored enciphered.
    EXPECT_NE(db->FileHeader().page_key, 0u);
    uint32_t page = db->FindTable("LongValues").DefinitionPage();
    const uint32_t size = db->FileHeader().page_size;
    std::vector<uint8_t> raw(size);
    db->File().ReadRaw(static_cast<uint64_t>(page) * size, raw.data(), size);
    PageBuffer plain = db->File().Read(page);
    EXPECT_NE(raw, *plain);
    uint32_t k = key ^ page;
    uint8_t page_key[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                           static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
    Rc4(page_key, 4).Apply(raw.data(), raw.size());
    EXPECT_EQ(raw, *plain);
  }
  db.reset();

  std::string skipped;
  std::string problems = CheckWithOtherReaders(path, f.password, skipped);
  EXPECT_EQ(problems, "");
  if (!skipped.empty()) std::printf("other readers not asked: %s\n", skipped.c_str());
}

FileSource Made(NewFormat format) {
  return FileSource{format, nullptr};
}
FileSource AccessMade(const char* fixture) {
  return FileSource{NewFormat::kAccess2003, fixture};
}

INSTANTIATE_TEST_SUITE_P(
    Files, WriteStatements,
    ::testing::Values(RoundTrip{Made(NewFormat::kAccess2000), "", false},
                      RoundTrip{Made(NewFormat::kAccess2003), "", false},
                      RoundTrip{Made(NewFormat::kAccess2007), "", false},
                      RoundTrip{Made(NewFormat::kAccess2000), "password", false},
                      RoundTrip{Made(NewFormat::kAccess2003), "s3cret", false},
                      RoundTrip{Made(NewFormat::kAccess2003), "", true},
                      RoundTrip{Made(NewFormat::kAccess97), "", false},
                      RoundTrip{Made(NewFormat::kAccess97), "Schlüssel", false},
                      RoundTrip{Made(NewFormat::kAccess97), "", true},
                      RoundTrip{AccessMade("mdb-reader/test/data/V2000/test.mdb"), "", false},
                      RoundTrip{AccessMade("mdb-reader/test/data/V2003/test.mdb"), "", false},
                      RoundTrip{AccessMade("mdb-reader/test/data/V2007/test.accdb"), "", false},
                      RoundTrip{AccessMade("mdb-reader/test/data/V2010/test.accdb"), "", false},
                      RoundTrip{AccessMade("mdb-reader/test/data/V2016/bigint.accdb"), "", false},
                      RoundTrip{AccessMade("mdb-reader/test/password/data/V2000_with-password.mdb"),
                                "password", false},
                      RoundTrip{AccessMade("mdb-reader/test/password/data/V2003_with-password.mdb"),
                                "password", false},
                      RoundTrip{AccessMade("mdb-reader/test/data/V2003/numeric.mdb"), "", true},
                      RoundTrip{AccessMade("mdb-reader/test/data/V1997/test.mdb"), "", false},
                      RoundTrip{AccessMade("jackcess/src/test/data/V1997/testV1997.mdb"), "", true},
                      RoundTrip{AccessMade("mdb-reader/test/password/data/V1997_no-password.mdb"),
                                "Geheim97", true, true}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) {
      const FileSource& source = info.param.source;
      std::string name;
      if (source.fixture) {
        name = source.fixture;
        name = name.substr(name.find("data/") + 5);
      } else {
        name = source.Name() + (*info.param.password ? " with password" : "");
      }
      std::string out;
      for (char c : name)
        if (std::isalnum(static_cast<unsigned char>(c))) out += c;
      return out + (info.param.encode ? "Encoded" : "") +
             (info.param.add_password ? "WithPassword" : "");
    });

// A file from `source` with a table of its own, closed: the state every failing
// statement must leave untouched.
std::string FileWithBaseTable(const ScratchDir& dir, const FileSource& source) {
  const std::string path = source.MakeIn(dir, "base");
  auto db = Database::Open(path, "");
  db->Execute("CREATE TABLE Base (id LONG, t TEXT(5), b BYTE, m MEMO, d DATETIME)");
  db->Execute("INSERT INTO Base VALUES (1, 'one', 1, 'first', #2024-01-31#)");
  db->Execute("INSERT INTO Base VALUES (2, 'two', 2, " + Quote(AsciiText(5000)) + ", NULL)");
  return path;
}

TEST(FailingStatements, LeaveTheFileByteForByteAsItWas) {
  const std::string too_long_memo = Quote(AsciiText(3000));
  const std::vector<std::pair<std::string, int32_t>> statements = {
      {"CREATE TABLE", error_numbers::kSyntaxError},
      {"CREATE TABLE Other (a LONG", error_numbers::kSyntaxError},
      {"CREATE TABLE Other (a WIBBLE)", error_numbers::kSyntaxError},
      {"CREATE TABLE Other (a LONG PRIMARY KEY)", error_numbers::kNotSupported},
      {"CREATE TABLE Other (a LONG, A TEXT(5))", error_numbers::kSyntaxError},
      {"CREATE TABLE base (x LONG)", error_numbers::kTableExists},
      {"CREATE TABLE [a`b] (x LONG)", error_numbers::kBadName},
      {"CREATE TABLE [a.b] (x LONG)", error_numbers::kBadName},
      {"CREATE TABLE [ lead] (x LONG)", error_numbers::kBadName},
      {"CREATE TABLE `T\xC3\xABst!` (x LONG)", error_numbers::kBadName},
      {"CREATE TABLE Other (x BIGINT)", error_numbers::kNotSupported},
      {"INSERT INTO Nowhere VALUES (1)", error_numbers::kNoSuchTable},
      {"INSERT INTO Base (nope) VALUES (1)", error_numbers::kSyntaxError},
      {"INSERT INTO Base VALUES ('abc', 'x', 1, 'm', NULL)", error_numbers::kDataTypeMismatch},
      {"INSERT INTO Base VALUES (3, 'x', 1, " + too_long_memo + ", '2024-02-30')",
       error_numbers::kDataTypeMismatch},
      {"INSERT INTO Base VALUES (3, 'x', 1, 'm', NULL, 7)", error_numbers::kSyntaxError},
      {"INSERT INTO Base VALUES (3, 'x')", error_numbers::kSyntaxError},
      {"INSERT INTO Base VALUES (3, 'sixsix', 1, 'm', NULL)", error_numbers::kDataOverflow},
      {"INSERT INTO Base VALUES (3, 'x', 256, " + too_long_memo + ", NULL)",
       error_numbers::kDataOverflow},
      {"INSERT INTO Base VALUES (3, 'x', 1, 'm', NULL", error_numbers::kSyntaxError},
      {"INSERT INTO MSysObjects (Name) VALUES ('x')", error_numbers::kNotSupported},
      {"DROP TABLE MSysObjects", error_numbers::kNotSupported},
      {"DROP TABLE MSysACEs", error_numbers::kNotSupported},
      {"DROP TABLE Nowhere", error_numbers::kNoSuchTable},
      {"SELECT * INTO Base FROM Base", error_numbers::kTableExists},
      {"SELECT * INTO Other FROM Nowhere", error_numbers::kNoSuchTable},
      {"DELETE FROM Base", error_numbers::kNotSupported},
      {"UPDATE Base SET id = 1", error_numbers::kNotSupported},
      {"SELECT * FROM Base", error_numbers::kNotSupported},
  };
  for (const FileSource& source :
       AtHand({Made(NewFormat::kAccess2003), Made(NewFormat::kAccess2007),
               AccessMade("mdb-reader/test/data/V2003/test.mdb"),
               AccessMade("mdb-reader/test/data/V2010/test.accdb")})) {
    SCOPED_TRACE(source.Name());
    ScratchDir dir;
    const std::string path = FileWithBaseTable(dir, source);
    const std::vector<uint8_t> before = FileBytes(path);
    for (const auto& statement : statements) {
      const std::string& sql = statement.first;
      SCOPED_TRACE(sql.substr(0, 80));
      std::string what;
      {
        auto db = Database::Open(path, "");
        EXPECT_EQ(ErrorOf([&] { db->Execute(sql); }, &what), statement.second) << what;
      }
      EXPECT_FALSE(what.empty());
      EXPECT_FALSE(Exists(PageFile::JournalPath(path)));
      ASSERT_TRUE(FileBytes(path) == before) << "the file changed";
    }
    // A failure among statements that succeed takes nothing of theirs with it.
    {
      auto db = Database::Open(path, "");
      db->Execute("INSERT INTO Base VALUES (3, 'x', 3, " + too_long_memo + ", NULL)");
      EXPECT_THROW(db->Execute("INSERT INTO Base VALUES (4, 'x', 300, 'm', NULL)"), JetError);
      EXPECT_THROW(db->Execute("CREATE TABLE Base (x LONG)"), JetError);
      db->Execute("INSERT INTO Base VALUES (5, 'y', 5, 'm', NULL)");
    }
    auto db = Database::Open(path, "");
    Rows rows = SortedRows(*db, "Base");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2][3], Value(AsciiText(3000)));
    EXPECT_EQ(rows[3][0], Value(int64_t{5}));
  }
}

TEST(FailingStatements, TablesInARelationshipAreNotDropped) {
  REQUIRE_ACCESS_MADE_FILES("tables in a relationship and with indexes");
  for (const char* fixture : {"jackcess/src/test/data/V2000/indexTestV2000.mdb",
                              "jackcess/src/test/data/V2007/indexTestV2007.accdb"}) {
    SCOPED_TRACE(fixture);
    ScratchDir dir;
    std::string name = fixture;
    const std::string path = CopyFile(kFixtures + fixture, dir / name.substr(name.rfind('/') + 1));
    const std::vector<uint8_t> before = FileBytes(path);
    for (const char* table : {"Table1", "Table2", "Table3"}) {
      std::string what;
      {
        auto db = Database::Open(path, "");
        EXPECT_EQ(ErrorOf([&] { db->Execute(std::string("DROP TABLE ") + table); }, &what),
                  error_numbers::kNotSupported)
            << table;
      }
      EXPECT_NE(what.find("relationship"), std::string::npos) << what;
      EXPECT_TRUE(FileBytes(path) == before) << table;
    }
    // A row that repeats the primary key of Access's own index is refused.
    std::string what;
    {
      auto db = Database::Open(path, "");
      EXPECT_EQ(ErrorOf([&] { db->Execute("INSERT INTO Table2 (id) VALUES (1)"); }, &what),
                -2147467259);
    }
    EXPECT_NE(what.find("id = 1"), std::string::npos) << what;
    EXPECT_TRUE(FileBytes(path) == before);
  }
}

// What an Access 97 file cannot hold is refused by name, and the file stays
// as it was before the statement.
// On an Access 97 file Access made where the shared fixtures are at hand,
// else on a new one of our own.
TEST(FailingStatements, Access97RefusesWhatItCannotHold) {
  ScratchDir dir;
  const std::string fixture = kFixtures + "mdb-reader/test/data/V1997/test.mdb";
  std::string jet3 = dir / "97.mdb";
  if (std::filesystem::exists(fixture))
    CopyFile(fixture, jet3);
  else
    Database::Create(jet3, NewFormat::kAccess97, "");
  std::string what;
  auto db = Database::Open(jet3, "");
  db->Execute("CREATE TABLE `Größe` (`Maß` TEXT(10), n LONG)");
  db->Checkpoint();
  const std::vector<uint8_t> before = FileBytes(jet3);
  EXPECT_EQ(ErrorOf([&] { db->Execute("CREATE TABLE d (a DECIMAL(10,2))"); }, &what),
            error_numbers::kNotSupported);
  EXPECT_NE(what.find("Access 97 files have no Decimal type"), std::string::npos) << what;
  EXPECT_EQ(ErrorOf([&] { db->Execute("CREATE TABLE `Prüfung 表` (a LONG)"); }, &what),
            error_numbers::kBadName);
  EXPECT_NE(what.find("'表' (U+8868)"), std::string::npos) << what;
  EXPECT_EQ(ErrorOf([&] { db->Execute("CREATE TABLE t (`Ωmega` LONG)"); }, &what),
            error_numbers::kBadName);
  EXPECT_NE(what.find("column name 'Ωmega'"), std::string::npos) << what;
  EXPECT_EQ(ErrorOf([&] { db->Execute("INSERT INTO `Größe` VALUES ('Жук', 1)"); }, &what),
            error_numbers::kOutOfRange);
  EXPECT_NE(what.find("Column 'Maß'"), std::string::npos) << what;
  EXPECT_NE(what.find("'Ж' (U+0416)"), std::string::npos) << what;
  EXPECT_EQ(ErrorOf([&] { db->Execute("ALTER TABLE `Größe` RENAME TO `Größe ☃`"); }, &what),
            error_numbers::kBadName);
  EXPECT_NE(what.find("(U+2603)"), std::string::npos) << what;
  db->Checkpoint();
  EXPECT_TRUE(FileBytes(jet3) == before);
  EXPECT_FALSE(Exists(PageFile::JournalPath(jet3)));
  db->Execute("INSERT INTO `Größe` VALUES ('Maße €', 2)");
  EXPECT_EQ(AllRows(*db, "Größe").size(), 1u);
  // NOT NULL is kept in the table's properties, in Access 97's form of them.
  db->Execute("CREATE TABLE Needed (a LONG NOT NULL, `Maß` TEXT(5) NOT NULL, b LONG)");
  EXPECT_EQ(ErrorOf([&] { db->Execute("INSERT INTO Needed (a, b) VALUES (1, 2)"); }, &what),
            error_numbers::kIntegrityViolation);
  EXPECT_NE(what.find("'Maß'"), std::string::npos) << what;
  db->Execute("INSERT INTO Needed VALUES (1, 'ä', NULL)");
  db->Close();
  db.reset();
  db = Database::Open(jet3, "");
  TableDefinition needed = db->Definition("Needed");
  ASSERT_EQ(needed.columns.size(), 3u);
  EXPECT_TRUE(needed.columns[0].required);
  EXPECT_TRUE(needed.columns[1].required);
  EXPECT_FALSE(needed.columns[2].required);
  EXPECT_EQ(AllRows(*db, "Needed").size(), 1u);
  if (std::filesystem::exists(fixture)) {
    EXPECT_EQ(AllRows(*db, "Table1").size(), 2u) << "the file's own table is untouched";
  }
}

// Access 97 rows longer than 255 bytes find their values through a jump
// table: rows of every size up to the largest, with nulls among the values,
// read alike by us, mdbtools and mdb-reader.
TEST(WriteStatementsAccess97, LongRowsReadAlikeEverywhere) {
  ScratchDir dir;
  const std::string path = dir / "long.mdb";
  Database::Create(path, NewFormat::kAccess97, "");
  Rows expected;
  {
    auto db = Database::Open(path, "");
    std::string create = "CREATE TABLE Wide (id LONG";
    for (int k = 0; k < 8; ++k) create += ", t" + std::to_string(k) + " TEXT(255)";
    db->Execute(create + ", n DOUBLE)");
    int id = 0;
    for (size_t total = 0; total <= 1960; total += 37) {
      std::string values = std::to_string(id);
      std::vector<Value> row = {int64_t{id}};
      size_t left = total;
      for (int k = 0; k < 8; ++k) {
        const size_t n = std::min<size_t>(255, left);
        left -= n;
        if (n == 0 && (id + k) % 2) {
          values += ", NULL";
          row.push_back(Value());
          continue;
        }
        const std::string text(n, static_cast<char>('a' + (id + k) % 26));
        values += ", '" + text + "'";
        row.push_back(text);
      }
      values += ", " + std::to_string(id) + ".5";
      row.push_back(id + 0.5);
      db->Execute("INSERT INTO Wide VALUES (" + values + ")");
      expected.push_back(row);
      ++id;
    }
  }
  auto db = Database::Open(path, "");
  EXPECT_EQ(AllRows(*db, "Wide"), expected);
  db.reset();
  std::string skipped;
  EXPECT_EQ(CheckWithOtherReaders(path, "", skipped), "");
  if (!skipped.empty()) std::printf("other readers not asked: %s\n", skipped.c_str());
}

TEST(FailingStatements, AFullDiskAnywhereInAStatementLeavesTheFileAsItWas) {
  ScratchDir dir;
  const std::string path = FileWithBaseTable(dir, Made(NewFormat::kAccess2007));
  const std::vector<uint8_t> before = FileBytes(path);
  const std::string create = "CREATE TABLE Fresh (a LONG, m MEMO, o OLEOBJECT)";
  int writes = 0;
  {
    ScratchDir probe_dir;
    const std::string probe = CopyFile(path, probe_dir / "probe.accdb");
    WriteFaults counter;
    counter.fail_at = INT_MAX;
    auto db = Database::Open(probe, "");
    db->EnableWriting();
    db->File().SetWriteFaults(&counter);
    db->Execute(create);
    writes = counter.count;
  }
  ASSERT_GT(writes, 3);
  for (int error : {ENOSPC, 0}) {
    for (int at = 1; at <= writes; ++at) {
      SCOPED_TRACE("write " + std::to_string(at) + (error ? " fails" : " is short"));
      auto db = Database::Open(path, "");
      db->EnableWriting();
      WriteFaults faults;
      faults.fail_at = at;
      faults.error = error;
      db->File().SetWriteFaults(&faults);
      std::string what;
      EXPECT_EQ(ErrorOf([&] { db->Execute(create); }, &what), error_numbers::kDiskFull);
      EXPECT_NE(what.find("'"), std::string::npos) << what;
      EXPECT_THROW(db->FindTable("Fresh"), JetError) << "the statement left nothing behind";
      db->File().SetWriteFaults(nullptr);
      db.reset();
      ASSERT_TRUE(FileBytes(path) == before);
    }
  }
  // Rows held in memory when a checkpoint fails are reported lost and
  // undone, so the session and the file agree; the next rows save as usual.
  auto db = Database::Open(path, "");
  db->Execute("INSERT INTO Base VALUES (3, 'x', 3, " + Quote(AsciiText(7000)) + ", NULL)");
  WriteFaults faults;
  faults.fail_at = 2;
  faults.error = ENOSPC;
  db->File().SetWriteFaults(&faults);
  EXPECT_EQ(ErrorOf([&] { db->Checkpoint(); }), error_numbers::kDiskFull);
  EXPECT_TRUE(FileBytes(path) == before);
  EXPECT_EQ(SortedRows(*db, "Base").size(), 2u);
  db->File().SetWriteFaults(nullptr);
  db->Execute("INSERT INTO Base VALUES (4, 'y', 4, NULL, NULL)");
  db->Checkpoint();
  db.reset();
  db = Database::Open(path, "");
  EXPECT_EQ(SortedRows(*db, "Base").size(), 3u);
}

// A copy big enough to spill its pages to the file while it runs: a full disk
// at any write of it, spills included, leaves the file as it was, and the same
// copy with room to spare gives every row.
TEST(FailingStatements, AFullDiskAnywhereInASpillingCopyLeavesTheFileAsItWas) {
  ScratchDir dir;
  const std::string path = FileWithBaseTable(dir, Made(NewFormat::kAccess2003));
  {
    auto db = Database::Open(path, "");
    for (int k = 3; k < 60; ++k)
      db->Execute("INSERT INTO Base VALUES (" + std::to_string(k) + ", 'r', 1, " +
                  Quote(AsciiText(static_cast<size_t>(k) * 97)) + ", NULL)");
  }
  const std::vector<uint8_t> before = FileBytes(path);
  const std::string copy = "SELECT * INTO Copied FROM Base";
  int writes = 0;
  {
    ScratchDir probe_dir;
    const std::string probe = CopyFile(path, probe_dir / "probe.mdb");
    WriteFaults counter;
    counter.fail_at = INT_MAX;
    auto db = Database::Open(probe, "");
    db->EnableWriting();
    db->File().SetSpillLimit(4);
    db->File().SetWriteFaults(&counter);
    const uint64_t checkpoints = db->File().Checkpoints();
    db->Execute(copy);
    writes = counter.count;
    EXPECT_EQ(db->File().Checkpoints(), checkpoints + 1);
    EXPECT_EQ(SortedRows(*db, "Copied"), SortedRows(*db, "Base"));
  }
  ASSERT_GT(writes, 20) << "the copy spilled several times";
  for (int error : {ENOSPC, 0}) {
    for (int at = 1; at <= writes; ++at) {
      SCOPED_TRACE("write " + std::to_string(at) + (error ? " fails" : " is short"));
      auto db = Database::Open(path, "");
      db->EnableWriting();
      db->File().SetSpillLimit(4);
      WriteFaults faults;
      faults.fail_at = at;
      faults.error = error;
      db->File().SetWriteFaults(&faults);
      EXPECT_EQ(ErrorOf([&] { db->Execute(copy); }), error_numbers::kDiskFull);
      EXPECT_FALSE(Exists(PageFile::JournalPath(path)));
      EXPECT_THROW(db->FindTable("Copied"), JetError) << "the statement left nothing behind";
      db->File().SetWriteFaults(nullptr);
      db.reset();
      ASSERT_TRUE(FileBytes(path) == before);
    }
  }
}

// The catalogue rows a DROP deletes give their bytes and slots back, and the
// table's own pages go back to the free-page map, so the file stops growing.
TEST(WriteStatements, DroppingAndCreatingATableOverAndOverStopsGrowingTheFile) {
  ScratchDir dir;
  const std::string path = Made(NewFormat::kAccess2007).MakeIn(dir, "cycle");
  const std::string memo = Quote(AsciiText(6000));
  auto db = Database::Open(path, "");
  uint64_t size_at_50 = 0;
  // Every create and drop ends in a checkpoint; 300 rounds are 250 past the
  // measure, where a leak of a page a round would show as a megabyte.
  for (int k = 1; k <= 300; ++k) {
    db->Execute("CREATE TABLE Cycle (id LONG, t TEXT(20), m MEMO)");
    for (int r = 0; r < 3; ++r)
      db->Execute("INSERT INTO Cycle VALUES (" + std::to_string(r) + ", 'row', " +
                  (r == 1 ? memo : "'short'") + ")");
    if (k == 300) break;  // the last one stays
    db->Execute("DROP TABLE Cycle");
    if (k == 50) size_at_50 = FileBytes(path).size();
  }
  db.reset();
  const uint64_t size_at_end = FileBytes(path).size();
  std::printf("after 50 drops %llu bytes, after 299 %llu bytes\n",
              static_cast<unsigned long long>(size_at_50),
              static_cast<unsigned long long>(size_at_end));
  EXPECT_LE(size_at_end, size_at_50);
  db = Database::Open(path, "");
  EXPECT_EQ(UserTables(*db), std::set<std::string>{"Cycle"});
  EXPECT_EQ(SortedRows(*db, "Cycle").size(), 3u);
}

}  // namespace
}  // namespace jet
