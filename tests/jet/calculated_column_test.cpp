// Calculated columns: the property blob that gives their result type, the
// decoding of each result type, and a real Access file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "jet/data_page.h"
#include "jet/database.h"
#include "jet/layout.h"
#include "jet/property_blob.h"
#include "jet/row_codec.h"
#include "memory_page_store.h"

namespace jet {
namespace {

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8);
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
void PutUcs2(std::vector<uint8_t>& b, const std::string& ascii) {
  for (char ch : ascii) Put16(b, static_cast<uint8_t>(ch));
}
template <typename T>
std::vector<uint8_t> BytesOf(T v) {
  std::vector<uint8_t> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

// One property entry of a hand-made blob.
struct Entry {
  uint16_t name;
  uint8_t type;
  std::vector<uint8_t> value;
};

// An MR2 blob: the names chunk, then one value chunk per (kind, name, entries).
std::vector<uint8_t> Blob(
    const std::vector<std::string>& names,
    const std::vector<std::tuple<uint16_t, std::string, std::vector<Entry>>>& sets) {
  std::vector<uint8_t> b = {'M', 'R', '2', 0};
  std::vector<uint8_t> chunk;
  for (const std::string& n : names) {
    Put16(chunk, static_cast<uint16_t>(2 * n.size()));
    PutUcs2(chunk, n);
  }
  Put32(b, static_cast<uint32_t>(6 + chunk.size()));
  Put16(b, 0x80);
  b.insert(b.end(), chunk.begin(), chunk.end());
  for (const auto& [kind, name, entries] : sets) {
    chunk.clear();
    Put32(chunk, static_cast<uint32_t>(6 + 2 * name.size()));
    Put16(chunk, static_cast<uint16_t>(2 * name.size()));
    PutUcs2(chunk, name);
    for (const Entry& e : entries) {
      Put16(chunk, static_cast<uint16_t>(8 + e.value.size()));
      chunk.push_back(1);
      chunk.push_back(e.type);
      Put16(chunk, e.name);
      Put16(chunk, static_cast<uint16_t>(e.value.size()));
      chunk.insert(chunk.end(), e.value.begin(), e.value.end());
    }
    Put32(b, static_cast<uint32_t>(6 + chunk.size()));
    Put16(b, kind);
    b.insert(b.end(), chunk.begin(), chunk.end());
  }
  return b;
}

int32_t ParseError(const std::vector<uint8_t>& blob) {
  try {
    ParsePropertyBlob(ByteView(blob.data(), blob.size()), 1252);
  } catch (const JetError& e) {
    return e.Number();
  }
  return 0;
}

TEST(PropertyBlob, ReadsObjectAndColumnProperties) {
  std::vector<uint8_t> expression;
  PutUcs2(expression, "[a]+1");
  auto blob = Blob({"Expression", "ResultType", "Caption"},
                   {{0, "", {{2, kText, {'T', 0}}}},
                    {1, "Total", {{0, kMemo, expression}, {1, kByte, {kMoney}}}}});
  auto sets = ParsePropertyBlob(ByteView(blob.data(), blob.size()), 1252);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].kind, 0);
  ASSERT_NE(sets[0].Find("caption"), nullptr);  // names match in any case
  EXPECT_EQ(sets[1].name, "Total");
  const Property* result = sets[1].Find("ResultType");
  ASSERT_NE(result, nullptr);
  EXPECT_TRUE(result->ddl);
  int64_t type = 0;
  ASSERT_TRUE(IntegerValue(*result, type));
  EXPECT_EQ(type, kMoney);
  EXPECT_EQ(sets[1].Find("Expression")->value, expression);
  EXPECT_FALSE(IntegerValue(*sets[1].Find("Expression"), type));
  EXPECT_EQ(sets[1].Find("Format"), nullptr);

  // Jet3 blobs have the same chunks with code-page names.
  std::vector<uint8_t> jet3 = {'K', 'K', 'D', 0, 11, 0, 0, 0, 0x80, 0, 3, 0, 0xC9, 't', 'e'};
  auto old = ParsePropertyBlob(ByteView(jet3.data(), jet3.size()), 1252);
  EXPECT_TRUE(old.empty());
  EXPECT_TRUE(ParsePropertyBlob(ByteView(), 1252).empty());
}

TEST(PropertyBlob, DamageIsAnErrorNeverAReadPastTheBlob) {
  const auto good = Blob({"ResultType"}, {{1, "C", {{0, kByte, {kLong}}}}});
  ASSERT_EQ(ParseError(good), 0);
  auto damaged = [&](auto change) {
    std::vector<uint8_t> b = good;
    change(b);
    return ParseError(b);
  };
  const size_t names = 4, column = names + 6 + 2 + 20;  // where each chunk starts
  const size_t entry = column + 6 + 8;
  EXPECT_EQ(damaged([](auto& b) { b[0] = 'X'; }), error_numbers::kCorrupt);
  EXPECT_EQ(damaged([](auto& b) { b.resize(3); }), error_numbers::kCorrupt);
  // A chunk longer than the blob, and one too short for its own header.
  EXPECT_EQ(damaged([&](auto& b) { b[column] = 0xF0; }), error_numbers::kCorrupt);
  EXPECT_EQ(damaged([&](auto& b) { b[column] = 2; }), error_numbers::kCorrupt);
  // A name longer than the names chunk.
  EXPECT_EQ(damaged([&](auto& b) { b[names + 6] = 0x40; }), error_numbers::kCorrupt);
  // A name block longer than its chunk.
  EXPECT_EQ(damaged([&](auto& b) { b[column + 6] = 0x70; }), error_numbers::kCorrupt);
  // An entry of length 0 (which would never advance), and one past its chunk.
  EXPECT_EQ(damaged([&](auto& b) { b[entry] = 0; }), error_numbers::kCorrupt);
  EXPECT_EQ(damaged([&](auto& b) { b[entry] = 0x30; }), error_numbers::kCorrupt);
  // A value longer than its entry, and a name index past the names.
  EXPECT_EQ(damaged([&](auto& b) { b[entry + 6] = 2; }), error_numbers::kCorrupt);
  EXPECT_EQ(damaged([&](auto& b) { b[entry + 4] = 1; }), error_numbers::kCorrupt);
  // A blob cut inside a chunk.
  EXPECT_EQ(damaged([](auto& b) { b.pop_back(); }), error_numbers::kCorrupt);
}

Column Calc(const char* name, uint8_t descriptor_type, uint16_t number, uint16_t var_index,
            uint16_t length = 39) {
  Column c;
  c.name = name;
  c.type = descriptor_type;
  c.number = number;
  c.var_index = var_index;
  c.length = length;
  c.flags = 0x02;
  c.extra_flags = 0xC0;
  return c;
}

TEST(PropertyBlob, ResultTypesReachOnlyCalculatedColumns) {
  TableDefinition t;
  Column plain;
  plain.name = "Plain";
  plain.type = kDouble;
  t.columns = {plain, Calc("Salary", kDouble, 1, 0), Calc("Rich", kInt, 2, 1),
               Calc("Unset", kDouble, 3, 2)};
  auto blob = Blob({"ResultType"}, {{1, "PLAIN", {{0, kByte, {kMoney}}}},
                                    {1, "salary", {{0, kByte, {kMoney}}}},
                                    {1, "Rich", {{0, kByte, {kBool}}}},
                                    {1, "Unset", {{0, kByte, {0}}}}});
  ApplyColumnProperties(ParsePropertyBlob(ByteView(blob.data(), blob.size()), 1252), t);
  EXPECT_EQ(t.columns[0].result_type, 0);
  EXPECT_EQ(ValueType(t.columns[0]), kDouble);
  EXPECT_EQ(ValueType(t.columns[1]), kMoney);
  EXPECT_EQ(ValueType(t.columns[2]), kBool);
  EXPECT_EQ(ValueType(t.columns[3]), kDouble);  // 0: the descriptor stands

  auto refused = [&](Entry e) {
    TableDefinition u = t;
    auto b = Blob({"ResultType"}, {{1, "Salary", {e}}});
    try {
      ApplyColumnProperties(ParsePropertyBlob(ByteView(b.data(), b.size()), 1252), u);
    } catch (const JetError& err) {
      return err.Number() == error_numbers::kCorrupt;
    }
    return false;
  };
  EXPECT_TRUE(refused({0, kText, {'7', 0}}));  // not an integer
  EXPECT_TRUE(refused({0, kByte, {kOle}}));    // no expression gives an OLE object
  EXPECT_TRUE(refused({0, kByte, {0x55}}));    // no type at all
  EXPECT_FALSE(refused({0, kInt, {kDouble, 0}}));
}

// A calculated value as Access stores it.
std::vector<uint8_t> Wrapped(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b(16, 0);
  Put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  b.insert(b.end(), {0, 0, 0});
  return b;
}

std::vector<uint8_t> Ucs2(const std::string& ascii) {
  std::vector<uint8_t> b;
  PutUcs2(b, ascii);
  return b;
}

// A calculated Decimal: u16 length of the rest, scale, sign, magnitude bytes.
std::vector<uint8_t> Decimal(uint8_t scale, bool negative, std::vector<uint8_t> magnitude) {
  std::vector<uint8_t> b;
  Put16(b, static_cast<uint16_t>(2 + magnitude.size()));
  b.push_back(scale);
  b.push_back(negative ? 0x80 : 0);
  b.insert(b.end(), magnitude.begin(), magnitude.end());
  return b;
}

// A Jet4 row of `columns` columns: a 4-byte fixed area, the variable values in
// order, and the columns whose null-mask bit is set.
std::vector<uint8_t> Row(uint16_t columns, uint32_t fixed,
                         const std::vector<std::vector<uint8_t>>& values,
                         std::initializer_list<int> present) {
  std::vector<uint8_t> row;
  Put16(row, columns);
  Put32(row, fixed);
  std::vector<uint16_t> offsets;
  for (const auto& v : values) {
    offsets.push_back(static_cast<uint16_t>(row.size()));
    row.insert(row.end(), v.begin(), v.end());
  }
  Put16(row, static_cast<uint16_t>(row.size()));
  for (size_t i = offsets.size(); i-- > 0;) Put16(row, offsets[i]);
  Put16(row, static_cast<uint16_t>(offsets.size()));
  std::vector<uint8_t> mask((columns + 7) / 8, 0);
  for (int k : present) mask[k / 8] |= static_cast<uint8_t>(1 << (k % 8));
  row.insert(row.end(), mask.begin(), mask.end());
  return row;
}

unsigned __int128 U128(uint64_t high, uint64_t low) {
  return static_cast<unsigned __int128>(high) << 64 | low;
}

// Each result type, with the descriptor types Access writes for them, and the
// values of Access's own sample (a table of people and their salaries).
class CalculatedRow : public ::testing::Test {
 protected:
  CalculatedRow() : store_(Jet4Layout()) {
    table_.variable_columns = 10;
    table_.columns = {Calc("ID", kLong, 0, 0),
                      Calc("LastFirst", kText, 1, 0, 23 + 2 * 255),
                      Calc("AllNames", kText, 2, 1),
                      Calc("LastFirstLen", kLong, 3, 2),
                      Calc("MonthlySalary", kDouble, 4, 3),
                      Calc("WeeklySalary", kDouble, 5, 4),
                      Calc("IsRich", kInt, 6, 5),
                      Calc("Popularity", kDouble, 7, 6),
                      Calc("BigNumTest", kDouble, 8, 7),
                      Calc("FloatTest", kNumeric, 9, 8),
                      Calc("Seen", kBool, 10, 0)};
    Column& id = table_.columns[0];
    id.extra_flags = 0;
    id.flags = 0x03;
    id.length = 4;
    Column& seen = table_.columns[10];
    seen.extra_flags = 0;
    seen.flags = 0x03;
    seen.length = 0;
    const uint8_t results[] = {0,     kText,    kMemo,    kLong,  kMoney, kDouble,
                               kBool, kNumeric, kNumeric, kFloat, 0};
    for (size_t k = 0; k < table_.columns.size(); ++k) table_.columns[k].result_type = results[k];

    // A long Memo result lives on a page of its own; the wrapper is inside it.
    memo_.assign(1000, 'x');
    std::vector<uint8_t> text = {0xFF, 0xFE};
    text.insert(text.end(), memo_.begin(), memo_.end());
    std::vector<uint8_t> lval = Wrapped(text);
    std::vector<uint8_t> page(4096, 0);
    page[0] = 1;
    page[1] = 1;
    std::memcpy(page.data() + 4, "LVAL", 4);
    page[12] = 1;
    uint16_t start = static_cast<uint16_t>(4096 - lval.size());
    page[14] = start & 0xFF;
    page[15] = start >> 8;
    std::memcpy(page.data() + start, lval.data(), lval.size());
    store_.Put(3, page);
    Put32(memo_field_, static_cast<uint32_t>(lval.size()) | 0x40000000u);
    Put32(memo_field_, 3u << 8);
    Put32(memo_field_, 0);
  }

  std::vector<Value> Decode(const std::vector<uint8_t>& row) {
    RowDecoder decoder(store_, header_, table_);
    std::vector<Value> out;
    decoder.Decode(ByteView(row.data(), row.size()), out);
    return out;
  }

  testing::MemoryPageStore store_;
  Header header_;
  TableDefinition table_;
  std::string memo_;
  std::vector<uint8_t> memo_field_;
};

TEST_F(CalculatedRow, EachResultTypeReadsItsExactValue) {
  auto out = Decode(Row(
      11, 1,
      {Wrapped(Ucs2("Wayne, Bruce")), memo_field_, Wrapped(BytesOf(int32_t{12})),
       Wrapped(BytesOf(int64_t{833333333})), Wrapped(BytesOf(19230.7692307692)), Wrapped({0xFF}),
       Wrapped(Decimal(6, false,
                       {0, 0, 0, 0, 0, 0, 0, 0,  // 50.325000 in 16 bytes
                        0x08, 0xE6, 0xFF, 0x02, 0, 0, 0, 0})),
       Wrapped(Decimal(18, false,  // 56505085819.424791296572280180 in 12
                       {0x58, 0xE9, 0x93, 0xB6, 0x74, 0x4D, 0xEA, 0xC8, 0xF7, 0xAA, 0x52, 0x18})),
       Wrapped(BytesOf(2583.2092f))},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(out[0], Value(int64_t{1}));
  EXPECT_EQ(out[1], Value(std::string("Wayne, Bruce")));
  EXPECT_EQ(out[2], Value(memo_));
  EXPECT_EQ(out[3], Value(int64_t{12}));
  EXPECT_EQ(out[4], Value(Money{833333333}));  // 83333.3333
  EXPECT_EQ(out[5], Value(19230.7692307692));
  EXPECT_EQ(out[6], Value(true));
  EXPECT_EQ(out[7], Value(Numeric{50325000, 28, 6, false}));
  EXPECT_EQ(out[8], Value(Numeric{U128(0xB693E958, 0x1852AAF7C8EA4D74), 28, 18, false}));
  EXPECT_EQ(out[9], Value(static_cast<double>(2583.2092f)));
  EXPECT_EQ(out[10], Value(false));  // an ordinary Yes/No still lives in the null mask

  // Negative results, a false Yes/No, and the widths the other way round.
  out = Decode(Row(
      11, 2,
      {Wrapped(Ucs2("Simpson, Bart")), memo_field_, Wrapped(BytesOf(int32_t{-37})),
       Wrapped(BytesOf(int64_t{-833})), Wrapped(BytesOf(-0.0192307692307692)), Wrapped({0x00}),
       Wrapped(Decimal(6, true,  // -36.222200 in 12 bytes
                       {0, 0, 0, 0, 0xF8, 0xB4, 0x28, 0x02, 0, 0, 0, 0})),
       Wrapped(Decimal(
           28, true,  // -0.0784734499180612994241100748 in 16
           {0xFE, 0x1D, 0x89, 0x02, 0, 0, 0, 0, 0xCC, 0x7B, 0x3B, 0x5A, 0xD0, 0x9F, 0x19, 0x71})),
       Wrapped(BytesOf(0.0035889593f))},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(out[3], Value(int64_t{-37}));
  EXPECT_EQ(out[4], Value(Money{-833}));
  EXPECT_EQ(out[5], Value(-0.0192307692307692));
  EXPECT_EQ(out[6], Value(false));
  EXPECT_EQ(out[7], Value(Numeric{36222200, 28, 6, true}));
  EXPECT_EQ(out[8], Value(Numeric{U128(0x2891DFE, 0x71199FD05A3B7BCC), 28, 28, true}));
  EXPECT_EQ(out[9], Value(static_cast<double>(0.0035889593f)));
  EXPECT_EQ(out[10], Value(true));
}

TEST_F(CalculatedRow, MissingAndUncomputedResultsAreNull) {
  // Null-mask bits clear: no value, whatever the slots hold (a Yes/No too).
  auto out = Decode(Row(11, 4, {{}, {}, {}, {}, {}, Wrapped({0xFF}), {}, {}, {}}, {0}));
  for (size_t k = 1; k < out.size() - 1; ++k) EXPECT_EQ(out[k], Value()) << k;
  // Present but shorter than a wrapper, or a fixed-size result without its bytes.
  out = Decode(Row(11, 5,
                   {{1, 2},
                    {},
                    Wrapped({}),
                    Wrapped({1, 2}),
                    Wrapped({}),
                    Wrapped({}),
                    Wrapped({}),
                    Wrapped({}),
                    Wrapped({})},
                   {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  for (int k : {1, 2, 3, 4, 5, 6}) EXPECT_EQ(out[k], Value()) << k;
  // An empty text result is an empty string, not null.
  out = Decode(Row(11, 6, {Wrapped({})}, {0, 1}));
  EXPECT_EQ(out[1], Value(std::string()));
}

TEST_F(CalculatedRow, WrappersThatLieAboutTheirLengthAreErrors) {
  auto refused = [&](std::vector<std::vector<uint8_t>> values) {
    try {
      Decode(Row(11, 7, values, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    } catch (const JetError& e) {
      return e.Number() == error_numbers::kCorrupt;
    }
    return false;
  };
  std::vector<uint8_t> long_claim = Wrapped(Ucs2("abc"));
  long_claim[16] = 0x40;  // 64 bytes of data in a 29-byte value
  EXPECT_TRUE(refused({long_claim}));
  auto decimal = [](std::vector<uint8_t> data) {
    return std::vector<std::vector<uint8_t>>{{}, {}, {}, {}, {}, {}, Wrapped(data)};
  };
  EXPECT_FALSE(refused(decimal(Decimal(2, false, {0, 0, 0, 0, 1, 0, 0, 0}))));
  std::vector<uint8_t> beyond = Decimal(2, false, {1, 0, 0, 0});
  beyond[0] = 40;  // more magnitude than the data holds
  EXPECT_TRUE(refused(decimal(beyond)));
  EXPECT_TRUE(refused(decimal(Decimal(40, false, {1, 0, 0, 0}))));  // scale past 28
  EXPECT_TRUE(refused(decimal({1, 0})));                            // cut short
}

// The calculated column of an Access file: DateNormalCalc = [DateNormal].
class CalculatedFixture : public ::testing::Test {
 protected:
  static constexpr const char* kFile = "jackcess/src/test/data/V2019/extDateTestV2019.accdb";

  void SetUp() override {
    if (!std::filesystem::exists(kFixtures + kFile))
      GTEST_SKIP() << "reads calculated columns Access made: no shared fixture "
                   << kFixtures + kFile;
  }

  static std::vector<std::vector<Value>> Rows(Database& db) {
    auto reader = db.OpenTable("Table1");
    std::vector<std::vector<Value>> rows;
    std::vector<Value> row;
    while (reader->Next(row)) rows.push_back(row);
    return rows;
  }

  // A copy of the file in which `change` edits the entry that holds
  // DateNormalCalc's result type (u16 length 9, flags, type Byte, name index,
  // u16 value length 1, then the value) in the table's live property blob.
  static std::string Patched(const std::function<void(uint8_t* entry)>& change) {
    std::ifstream in(kFixtures + kFile, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    auto db = Database::Open(kFixtures + kFile, "");
    const std::vector<uint8_t>& field = db->FindTable("Table1").properties_field;
    RowPointer where = ReadRowPointer(ByteView(field.data(), field.size()), 4);
    DataPage page(ByteView(bytes.data() + where.page * 4096, 4096), false, where.page);
    ByteView blob = page.Row(where.row);
    uint8_t* begin = bytes.data() + (blob.data() - bytes.data());
    uint8_t* end = begin + blob.size();
    std::vector<uint8_t> name = Ucs2("DateNormalCalc");
    uint8_t* at = std::search(begin, end, name.begin(), name.end());
    EXPECT_NE(at, end);
    const uint8_t head[] = {9, 0, 1, kByte};
    bool found = false;
    for (; !found && at + 9 <= end; ++at) {
      found = std::memcmp(at, head, 4) == 0 && at[6] == 1 && at[7] == 0 && at[8] == kDateTime;
      if (found) change(at);
    }
    EXPECT_TRUE(found) << "no ResultType entry in the blob";
    // A name of its own per file: tests run side by side in separate
    // processes, and an open database must not see its file rewritten.
    static int serial = 0;
    std::string path = ::testing::TempDir() + "/calculated-" + std::to_string(::getpid()) + "-" +
                       std::to_string(serial++) + ".accdb";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }
};

TEST_F(CalculatedFixture, ReadsTheResultAsAccessComputedIt) {
  auto db = Database::Open(kFixtures + kFile, "");
  TableDefinition def = db->Definition("Table1");
  ASSERT_EQ(def.columns.size(), 6u);
  const Column& calc = def.columns[5];
  EXPECT_EQ(calc.name, "DateNormalCalc");
  EXPECT_TRUE(calc.IsCalculated());
  EXPECT_EQ(calc.result_type, kDateTime);
  EXPECT_EQ(def.columns[3].result_type, 0);  // ResultType 0 on an ordinary column
  auto rows = Rows(*db);
  ASSERT_EQ(rows.size(), 9u);
  for (const auto& r : rows) EXPECT_EQ(r[5], r[3]) << std::get<int64_t>(r[0]);
  EXPECT_EQ(rows[0][5], Value(OleDate{43999}));  // 2020-06-17
  EXPECT_EQ(rows[4][5], Value());                // row 5 has no DateNormal
}

TEST_F(CalculatedFixture, TheResultTypeNotTheDescriptorDecidesTheValue) {
  // Claimed to be a Double, the same eight bytes read as the date's day number.
  auto db = Database::Open(Patched([](uint8_t* e) { e[8] = kDouble; }), "");
  EXPECT_EQ(ValueType(db->Definition("Table1").columns[5]), kDouble);
  auto rows = Rows(*db);
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[0][5], Value(43999.0));
  // As a Yes/No, the first data byte decides.
  db = Database::Open(Patched([](uint8_t* e) { e[8] = kBool; }), "");
  rows = Rows(*db);
  EXPECT_EQ(rows[0][5], Value(false));  // 00 00 00 00 00 E0 7B E5 40
  EXPECT_EQ(rows[3][5], Value(true));   // 55 55 55 55 22 A9 E5 40
}

TEST_F(CalculatedFixture, ADamagedBlobFailsTheTableNotTheDatabase) {
  for (auto change : std::vector<std::function<void(uint8_t*)>>{
           [](uint8_t* e) { e[0] = 0xF0; },     // an entry past its chunk
           [](uint8_t* e) { e[4] = 0xFF; },     // a name index past the names
           [](uint8_t* e) { e[8] = kOle; }}) {  // a result no expression has
    std::string path = Patched(change);
    std::shared_ptr<Database> db;
    ASSERT_NO_THROW(db = Database::Open(path, ""));  // the blob is read on demand
    try {
      db->OpenTable("Table1");
      ADD_FAILURE() << "a damaged property blob was accepted";
    } catch (const JetError& e) {
      EXPECT_EQ(e.Number(), error_numbers::kCorrupt) << e.what();
    }
  }
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// Hex of a calculated value wrapper around `data`, for an INSERT literal.
std::string WrappedHex(const std::vector<uint8_t>& data) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string hex = "0x";
  for (uint8_t b : Wrapped(data)) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

// The 16 magnitude bytes of a calculated Decimal: two little-endian words, high first.
std::vector<uint8_t> Magnitude16(unsigned __int128 m) {
  std::vector<uint8_t> b;
  for (uint64_t word : {static_cast<uint64_t>(m >> 64), static_cast<uint64_t>(m)})
    for (int k = 0; k < 8; ++k) b.push_back(static_cast<uint8_t>(word >> (8 * k)));
  return b;
}

// A row of the People table below: its calculated Decimal and Currency results.
struct CalculatedPair {
  std::vector<uint8_t> decimal;
  int64_t money = 0;
};

// A table People(ID, Popularity, Monthly) whose Decimal and Currency columns
// are calculated, made from a new file: the values go in as binary, then the
// descriptors are turned into calculated ones (type byte, extra flags 0xC0).
// Returns the patched file; `scratch` collects the files to remove.
std::string CalculatedPeople(const std::string& name, const std::vector<CalculatedPair>& rows,
                             std::vector<std::string>& scratch) {
  const std::string plain = ::testing::TempDir() + "/" + name + "-" + std::to_string(::getpid());
  const std::string path = plain + "-patched.accdb";
  scratch = {plain + ".accdb", path};
  for (const std::string& f : scratch) std::filesystem::remove(f);
  Database::Create(plain + ".accdb", NewFormat::kAccess2007, "");
  {
    auto db = Database::Open(plain + ".accdb", "");
    db->Execute("CREATE TABLE People (ID LONG, Popularity BINARY(64), Monthly BINARY(64))");
    for (size_t k = 0; k < rows.size(); ++k)
      db->Execute("INSERT INTO People VALUES (" + std::to_string(k + 1) + ", " +
                  WrappedHex(rows[k].decimal) + ", " + WrappedHex(BytesOf(rows[k].money)) + ")");
    db->Close();
  }
  std::ifstream in(plain + ".accdb", std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  uint32_t tdef = 0;
  std::vector<uint16_t> order;
  {
    auto db = Database::Open(plain + ".accdb", "");
    tdef = db->FindTable("People").DefinitionPage();
    for (const Column& c : db->Definition("People").columns) order.push_back(c.descriptor_index);
  }
  const uint8_t types[] = {0, kNumeric, kMoney};
  for (size_t k = 1; k < 3; ++k) {
    uint8_t* d = bytes.data() + tdef * 4096 + 63 + 25 * order[k];
    EXPECT_EQ(d[0], kBinary);
    d[0] = types[k];
    d[16] = 0xC0;
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

// The copy of People's Popularity column: its scale and its values in order.
std::pair<int, std::vector<Value>> CopiedPopularity(const std::string& path) {
  auto db = Database::Open(path, "");
  EXPECT_TRUE(db->Definition("People").columns[1].IsCalculated());
  db->Execute("SELECT * INTO Copied FROM People");
  auto reader = db->OpenTable("Copied");
  EXPECT_FALSE(reader->Definition().columns[1].IsCalculated());
  std::pair<int, std::vector<Value>> out{reader->Definition().columns[1].scale, {}};
  std::vector<Value> row;
  while (reader->Next(row)) out.second.push_back(row[1]);
  return out;
}

// Its copy keeps every value, though the Decimal results carry scales no one
// column could hold exactly.
TEST(CalculatedCopy, DecimalAndCurrencyResultsCopyWithEveryValue) {
  std::vector<std::string> scratch;
  const std::string path = CalculatedPeople(
      "calc-copy",
      {{Decimal(6, false, {0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0xE6, 0xFF, 0x02, 0, 0, 0, 0}), 833333333},
       {Decimal(6, true, {0, 0, 0, 0, 0xF8, 0xB4, 0x28, 0x02, 0, 0, 0, 0}), -833}},
      scratch);
  {
    auto db = Database::Open(path, "");
    db->Execute("SELECT * INTO Copied FROM People");
    auto reader = db->OpenTable("Copied");
    EXPECT_FALSE(reader->Definition().columns[1].IsCalculated());
    EXPECT_EQ(reader->Definition().columns[1].scale, 4);  // 50.325 and -36.2222
    std::vector<Value> row;
    ASSERT_TRUE(reader->Next(row));
    EXPECT_EQ(row[1], Value(Numeric{503250, 28, 4, false}));
    EXPECT_EQ(row[2], Value(Money{833333333}));
    ASSERT_TRUE(reader->Next(row));
    EXPECT_EQ(row[1], Value(Numeric{362222, 28, 4, true}));
    EXPECT_EQ(row[2], Value(Money{-833}));
    EXPECT_FALSE(reader->Next(row));
  }
  for (const std::string& f : scratch) std::filesystem::remove(f);
}

// Where no one Decimal column holds every result exactly (12 integer digits
// in one row, up to 27 places in others), the copy keeps the integer digits
// and rounds the places beyond the 16 left beside them half away from zero;
// a result that rounds to nothing is zero, not minus zero.
TEST(CalculatedCopy, ResultsNoOneColumnHoldsRoundHalfAwayFromZero) {
  const unsigned __int128 e16 = 10'000'000'000'000'000ULL;
  // 0.123456789012345678901234567 (27 places): 123456789012345678 * 10^9 + 901234567.
  const unsigned __int128 long_fraction =
      static_cast<unsigned __int128>(123456789012345678ULL) * 1'000'000'000ULL + 901234567ULL;
  std::vector<std::string> scratch;
  const std::string path = CalculatedPeople(
      "calc-round",
      {{Decimal(0, false, Magnitude16(123456789012ULL)), 1},
       {Decimal(27, false, Magnitude16(long_fraction)), 2},
       {Decimal(17, true, Magnitude16(5)), 3},        // -0.00000000000000005: exactly half
       {Decimal(17, true, Magnitude16(4)), 4},        // -0.00000000000000004: below half
       {Decimal(20, false, Magnitude16(14999)), 5}},  // 0.00000000000000014999
      scratch);
  auto [scale, values] = CopiedPopularity(path);
  EXPECT_EQ(scale, 16);
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[0], Value(Numeric{123456789012 * e16, 28, 16, false}));
  EXPECT_EQ(values[1], Value(Numeric{1234567890123457, 28, 16, false}));
  EXPECT_EQ(values[2], Value(Numeric{1, 28, 16, true}));
  EXPECT_EQ(values[3], Value(Numeric{0, 28, 16, false}));
  EXPECT_EQ(values[4], Value(Numeric{1, 28, 16, false}));
  for (const std::string& f : scratch) std::filesystem::remove(f);
}

}  // namespace
}  // namespace jet
