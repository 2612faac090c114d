#include "jet/row_codec.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "jet/long_value.h"

namespace jet {
namespace {

// A file of pages in the temporary folder, removed at the end of the test.
class PageFixture {
 public:
  explicit PageFixture(const std::vector<std::vector<uint8_t>>& pages, uint32_t page_size = 4096) {
    char name[] = "/tmp/jet_rows_XXXXXX";
    int fd = mkstemp(name);
    path_ = name;
    for (const auto& p : pages) {
      std::vector<uint8_t> page = p;
      page.resize(page_size);
      EXPECT_EQ(write(fd, page.data(), page.size()), static_cast<ssize_t>(page.size()));
    }
    close(fd);
    file_ = std::make_unique<PageFile>(path_, PageFile::Mode::kReadOnly);
    file_->SetLayout(page_size, {});
  }
  ~PageFixture() { std::remove(path_.c_str()); }
  PageFile& File() { return *file_; }

 private:
  std::string path_;
  std::unique_ptr<PageFile> file_;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}
void Append(std::vector<uint8_t>& b, std::initializer_list<uint8_t> bytes) {
  b.insert(b.end(), bytes);
}

// A Jet4 data page (owner `owner`) holding `rows`, packed from the end.
std::vector<uint8_t> DataPageWith(uint32_t owner, const std::vector<std::vector<uint8_t>>& rows,
                                  const std::vector<uint16_t>& flags = {}) {
  std::vector<uint8_t> page(4096, 0);
  page[0] = 1;
  page[1] = 1;
  Put32(page, 4, owner);
  Put16(page, 12, static_cast<uint16_t>(rows.size()));
  size_t end = page.size();
  for (size_t i = 0; i < rows.size(); ++i) {
    size_t start = end - rows[i].size();
    std::memcpy(page.data() + start, rows[i].data(), rows[i].size());
    Put16(page, 14 + 2 * i, static_cast<uint16_t>(start | (i < flags.size() ? flags[i] : 0)));
    end = start;
  }
  return page;
}

Column Col(const char* name, uint8_t type, uint16_t number, uint16_t fixed_offset, uint16_t length,
           bool fixed, uint16_t var_index = 0) {
  Column c;
  c.name = name;
  c.type = type;
  c.number = number;
  c.fixed_offset = fixed_offset;
  c.length = length;
  c.flags = fixed ? 0x03 : 0x02;
  c.var_index = var_index;
  return c;
}

Header Jet4Header() {
  Header h;
  h.format = Format::kJet4;
  return h;
}

TEST(RowDecoder, Jet4RowWithNullsBooleansAndAColumnAddedLater) {
  TableDefinition t;
  t.variable_columns = 2;
  t.columns = {Col("ID", kLong, 0, 0, 4, true),         Col("Flag", kBool, 1, 0, 0, true),
               Col("Name", kText, 2, 0, 510, false, 0), Col("Note", kText, 3, 0, 510, false, 1),
               Col("Amount", kMoney, 4, 4, 8, true),    Col("Added", kLong, 5, 12, 4, true)};
  PageFixture fx(std::vector<std::vector<uint8_t>>(1));
  Header h = Jet4Header();
  RowDecoder decoder(fx.File(), h, t);

  // Written when the table had five columns: "Added" is not in it.
  std::vector<uint8_t> row = {5, 0, 7, 0, 0, 0, 0x40, 0xE2, 0x01, 0, 0, 0, 0, 0};
  Append(row, {0xFF, 0xFE, 'B', 'o', 'b'});        // Name, compressed
  Append(row, {19, 0, 19, 0, 14, 0, 2, 0, 0x17});  // eod, offsets reversed, n, null mask
  std::vector<Value> out;
  decoder.Decode(ByteView(row.data(), row.size()), out);
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[0], Value(int64_t{7}));
  EXPECT_EQ(out[1], Value(true));
  EXPECT_EQ(out[2], Value(std::string("Bob")));
  EXPECT_EQ(out[3], Value());
  EXPECT_EQ(out[4], Value(Money{123456}));
  EXPECT_EQ(out[5], Value());

  // The same row with the boolean off and the note present but empty.
  row.back() = 0x1D;
  decoder.Decode(ByteView(row.data(), row.size()), out);
  EXPECT_EQ(out[1], Value(false));
  EXPECT_EQ(out[3], Value(std::string()));
}

TEST(RowDecoder, TableWithoutVariableColumnsHasNoOffsetTrailer) {
  TableDefinition t;
  t.columns = {Col("A", kLong, 0, 0, 4, true), Col("B", kDouble, 1, 4, 8, true)};
  PageFixture fx(std::vector<std::vector<uint8_t>>(1));
  Header h = Jet4Header();
  RowDecoder decoder(fx.File(), h, t);
  std::vector<uint8_t> row = {2, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  double d = 2.5;
  row.resize(14);
  std::memcpy(row.data() + 6, &d, 8);
  row.push_back(0x03);
  std::vector<Value> out;
  decoder.Decode(ByteView(row.data(), row.size()), out);
  EXPECT_EQ(out[0], Value(int64_t{-1}));
  EXPECT_EQ(out[1], Value(2.5));
}

TEST(RowDecoder, FixedValuesOfEveryWidth) {
  TableDefinition t;
  Column numeric = Col("N", kNumeric, 1, 4, 17, true);
  numeric.precision = 28;
  numeric.scale = 4;
  t.columns = {Col("L", kLong, 0, 0, 4, true),    numeric,
               Col("G", kGuid, 2, 21, 16, true),  Col("D", kDateTime, 3, 37, 8, true),
               Col("B", kBigInt, 4, 45, 8, true), Col("I", kInt, 5, 53, 2, true),
               Col("Y", kByte, 6, 55, 1, true),   Col("F", kFloat, 7, 56, 4, true)};
  PageFixture fx(std::vector<std::vector<uint8_t>>(1));
  Header h = Jet4Header();
  RowDecoder decoder(fx.File(), h, t);
  std::vector<uint8_t> row(2 + 60, 0);
  row[0] = 8;
  Put32(row, 2, 0x80000000u);
  unsigned __int128 magnitude = static_cast<unsigned __int128>(669260594276ull) << 64 | 5ull;
  row[2 + 4] = 0x80;  // negative
  for (int w = 0; w < 4; ++w)
    Put32(row, 2 + 5 + 4 * w, static_cast<uint32_t>(magnitude >> (32 * (3 - w))));
  const uint8_t guid[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                            0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  std::memcpy(row.data() + 2 + 21, guid, 16);
  double date = -1.25;
  std::memcpy(row.data() + 2 + 37, &date, 8);
  int64_t big = -9000000000000000000;
  std::memcpy(row.data() + 2 + 45, &big, 8);
  Put16(row, 2 + 53, 0xFFFE);
  row[2 + 55] = 200;
  float f = 1.5f;
  std::memcpy(row.data() + 2 + 56, &f, 4);
  row.push_back(0xFF);

  std::vector<Value> out;
  decoder.Decode(ByteView(row.data(), row.size()), out);
  EXPECT_EQ(out[0], Value(int64_t{-2147483648}));
  Numeric n = std::get<Numeric>(out[1]);
  EXPECT_TRUE(n.negative);
  EXPECT_TRUE(n.magnitude == magnitude);
  EXPECT_EQ(n.scale, 4);
  Guid expected;
  for (int k = 0; k < 16; ++k) expected.bytes[k] = static_cast<uint8_t>(k * 0x11);
  EXPECT_EQ(out[2], Value(expected));
  EXPECT_EQ(out[3], Value(OleDate{-1.25}));
  EXPECT_EQ(out[4], Value(big));
  EXPECT_EQ(out[5], Value(int64_t{-2}));
  EXPECT_EQ(out[6], Value(int64_t{200}));
  EXPECT_EQ(out[7], Value(1.5));
}

TEST(RowDecoder, DatesThatAreNoNumberOrFarOutOfRangeAreErrors) {
  TableDefinition t;
  t.columns = {Col("D", kDateTime, 0, 0, 8, true)};
  PageFixture fx(std::vector<std::vector<uint8_t>>(1));
  Header h = Jet4Header();
  RowDecoder decoder(fx.File(), h, t);
  std::vector<Value> out;
  auto decode = [&](double days) {
    std::vector<uint8_t> row(2 + 8, 0);
    row[0] = 1;
    std::memcpy(row.data() + 2, &days, 8);
    row.push_back(0x01);
    decoder.Decode(ByteView(row.data(), row.size()), out);
    return out[0];
  };
  // The last instant Access accepts, 9999-12-31 23:59:59, still reads.
  EXPECT_EQ(decode(2958465.99998843), Value(OleDate{2958465.99998843}));
  EXPECT_EQ(decode(-657434.0), Value(OleDate{-657434.0}));
  // These once read back as 1899-12-30 without a word.
  EXPECT_THROW(decode(std::nan("")), JetError);
  EXPECT_THROW(decode(HUGE_VAL), JetError);
  EXPECT_THROW(decode(-1e300), JetError);
}

TEST(RowDecoder, Jet3RowLongerThan256BytesUsesItsJumpTable) {
  TableDefinition t;
  t.variable_columns = 2;
  t.columns = {Col("ID", kLong, 0, 0, 4, true), Col("Long", kText, 1, 0, 255, false, 0),
               Col("Short", kText, 2, 0, 255, false, 1)};
  PageFixture fx(std::vector<std::vector<uint8_t>>(1), 2048);
  Header h;
  h.format = Format::kJet3;
  h.page_size = 2048;
  RowDecoder decoder(fx.File(), h, t);
  std::vector<uint8_t> row = {3, 42, 0, 0, 0};
  row.insert(row.end(), 300, 'a');
  Append(row, {'x', 0xE9, 'z'});
  // eod 308, offset[1] 305, offset[0] 5 (stored less 256 past the boundary),
  // one jump entry naming offset 1, two variable columns, null mask.
  Append(row, {308 - 256, 305 - 256, 5, 1, 2, 0x07});
  ASSERT_EQ(row.size(), 314u);
  std::vector<Value> out;
  decoder.Decode(ByteView(row.data(), row.size()), out);
  EXPECT_EQ(out[0], Value(int64_t{42}));
  EXPECT_EQ(out[1], Value(std::string(300, 'a')));
  EXPECT_EQ(out[2], Value(std::string("x\u00E9z")));
}

TEST(RowDecoder, RowsThatLieAboutTheirShapeAreErrors) {
  TableDefinition t;
  t.variable_columns = 1;
  t.columns = {Col("ID", kLong, 0, 0, 4, true), Col("T", kText, 1, 0, 10, false, 0)};
  PageFixture fx(std::vector<std::vector<uint8_t>>(1));
  Header h = Jet4Header();
  RowDecoder decoder(fx.File(), h, t);
  std::vector<Value> out;
  // Too many variable offsets for the row.
  std::vector<uint8_t> row = {2, 0, 1, 0, 0, 0, 6, 0, 6, 0, 0xFF, 0x7F, 0x03};
  EXPECT_THROW(decoder.Decode(ByteView(row.data(), row.size()), out), JetError);
  // A variable value ending beyond the row.
  row = {2, 0, 1, 0, 0, 0, 0xF0, 0, 6, 0, 1, 0, 0x03};
  EXPECT_THROW(decoder.Decode(ByteView(row.data(), row.size()), out), JetError);
  // A row too short for its fixed columns.
  row = {2, 0, 1, 0x03};
  EXPECT_THROW(decoder.Decode(ByteView(row.data(), row.size()), out), JetError);
  row = {};
  EXPECT_THROW(decoder.Decode(ByteView(row.data(), row.size()), out), JetError);
}

std::vector<uint8_t> LvHeader(uint32_t length_and_kind, uint32_t page, uint8_t row) {
  std::vector<uint8_t> h(12, 0);
  Put32(h, 0, length_and_kind);
  Put32(h, 4, (page << 8) | row);
  return h;
}

TEST(LongValue, InlineSingleRowAndChains) {
  std::vector<uint8_t> single = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '#'};
  std::vector<uint8_t> first = {2, 1, 0, 0, 'a', 'b', 'c'};  // next: page 1 row 2
  std::vector<uint8_t> last = {0, 0, 0, 0, 'd', 'e', 'f'};
  std::vector<uint8_t> loop = {3, 1, 0, 0, 'x'};  // points at itself
  PageFixture fx(
      {{}, DataPageWith(0x4C41564C, {single, first, last, loop}), DataPageWith(77, {{1, 2, 3}})});
  std::vector<uint8_t> out;
  auto read = [&](std::vector<uint8_t> field) {
    ReadLongValue(fx.File(), false, ByteView(field.data(), field.size()), out);
    return std::string(out.begin(), out.end());
  };
  std::vector<uint8_t> inline_value = LvHeader(0x80000003u, 0, 0);
  Append(inline_value, {'x', 'y', 'z'});
  EXPECT_EQ(read(inline_value), "xyz");
  EXPECT_EQ(read(LvHeader(0x40000000u | 11, 1, 0)), "hello world");
  EXPECT_EQ(read(LvHeader(6, 1, 1)), "abcdef");
  EXPECT_EQ(read(LvHeader(4, 1, 1)), "abcd");

  EXPECT_THROW(read(LvHeader(10, 1, 1)), JetError);                // chain ends early
  EXPECT_THROW(read(LvHeader(100, 1, 3)), JetError);               // chain loops
  EXPECT_THROW(read(LvHeader(0x40000000u | 50, 1, 0)), JetError);  // longer than its row
  EXPECT_THROW(read(LvHeader(0x40000000u | 2, 2, 0)), JetError);   // not a long-value page
  EXPECT_THROW(read(LvHeader(0x40000000u | 2, 9, 0)), JetError);   // beyond the file
  EXPECT_THROW(read(LvHeader(0x40000000u | 2, 1, 9)), JetError);   // no such row
  EXPECT_THROW(read(LvHeader(0x3FFFFFFF, 1, 1)), JetError);        // absurd length
  std::vector<uint8_t> cut = LvHeader(0x80000010u, 0, 0);          // inline, cut short
  EXPECT_THROW(read(cut), JetError);
}

}  // namespace
}  // namespace jet
