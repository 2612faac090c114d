// Encoding rows and long values: round trips through the decoders, on rows
// of Access-made files and on hand-made tables.
#include "jet/row_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "error_of.h"
#include "jet/column_types.h"
#include "jet/database.h"
#include "jet/long_value.h"
#include "jet/row_codec.h"
#include "jet/text_codec.h"
#include "memory_page_store.h"

namespace jet {
namespace {

using testing::MemoryPageStore;

const std::string kFixtures = std::string(VQ_SHARED_DIR) + "/fixtures/access/";

// Equal values, with NaN equal to itself (floats read back bit for bit).
bool Same(const Value& a, const Value& b) {
  const double* x = std::get_if<double>(&a);
  const double* y = std::get_if<double>(&b);
  if (x && y && std::isnan(*x) && std::isnan(*y)) return true;
  return a == b;
}

unsigned __int128 Pow10For(int n) {
  unsigned __int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

using testing::ErrorOf;

TEST(RowEncoder, RoundTripsEveryRowOfEveryAccessFile) {
  if (!std::filesystem::exists(kFixtures + "INDEX.tsv"))
    GTEST_SKIP() << "re-encodes the rows of files made by Access: the shared fixtures are not at "
                 << kFixtures;
  std::ifstream index(kFixtures + "INDEX.tsv");
  std::string line;
  std::getline(index, line);
  uint64_t files = 0, tables = 0, rows = 0, values = 0, long_values = 0;
  std::vector<Value> row, back;
  std::vector<uint8_t> bytes;
  while (std::getline(index, line)) {
    std::istringstream cells(line);
    std::string path, size, format, password;
    std::getline(cells, path, '\t');
    std::getline(cells, size, '\t');
    std::getline(cells, format, '\t');
    std::getline(cells, password, '\t');
    std::shared_ptr<Database> db;
    try {
      db = Database::Open(kFixtures + path, password);
    } catch (const JetError& e) {
      ASSERT_EQ(e.Number(), error_numbers::kNotSupported) << path << ": " << e.what();
      continue;  // a file the engine does not open
    }
    SCOPED_TRACE(path);
    ++files;
    for (const CatalogueEntry& e : db->Catalogue()) {
      if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
      SCOPED_TRACE(e.name);
      auto reader = db->OpenTable(e.name);
      const TableDefinition& t = reader->Definition();
      const Layout& layout = LayoutFor(db->FileHeader().IsJet3());
      RowEncoder encoder(layout, t);
      MemoryPageStore store(layout);
      LongValueWriter writer(store);
      RowDecoder decoder(store, db->FileHeader(), t);
      ++tables;
      while (reader->Next(row)) {
        ++rows;
        std::vector<bool> ours(t.columns.size());
        for (size_t k = 0; k < t.columns.size(); ++k) {
          const Column& c = t.columns[k];
          ours[k] = !c.IsCalculated() && c.type != kComplex;
          if (!ours[k]) row[k] = std::monostate{};
          if (IsLongValueType(c.type) && !std::holds_alternative<std::monostate>(row[k]))
            ++long_values;
        }
        encoder.Encode(row, &writer, bytes);
        ASSERT_LE(bytes.size(), layout.max_row_size);
        decoder.Decode(ByteView(bytes.data(), bytes.size()), back);
        ASSERT_EQ(back.size(), row.size());
        for (size_t k = 0; k < row.size(); ++k) {
          if (!ours[k]) continue;
          ++values;
          ASSERT_TRUE(Same(back[k], row[k]))
              << "column " << t.columns[k].name << " of row " << rows;
        }
      }
    }
  }
  std::printf("round trip: %llu files, %llu tables, %llu rows, %llu values (%llu long values)\n",
              static_cast<unsigned long long>(files), static_cast<unsigned long long>(tables),
              static_cast<unsigned long long>(rows), static_cast<unsigned long long>(values),
              static_cast<unsigned long long>(long_values));
  EXPECT_GT(files, 40u);
  EXPECT_GT(rows, 5000u);
  EXPECT_GT(long_values, 100u);
}

// A table built column by column: numbers, fixed offsets and var indexes are
// handed out in order unless set.
class TableBuilder {
 public:
  TableBuilder& Add(const std::string& name, uint8_t type, uint16_t length = 0, bool fixed = true) {
    Column c;
    c.name = name;
    c.type = type;
    c.number = next_number_++;
    c.flags = fixed ? 0x03 : 0x02;
    c.length = length ? length : static_cast<uint16_t>(FixedValueSize(type));
    if (type == kBool) {
      c.length = 1;
    } else if (fixed) {
      c.fixed_offset = next_offset_;
      next_offset_ += c.length;
    } else {
      c.var_index = next_var_++;
      ++t_.variable_columns;
    }
    t_.columns.push_back(c);
    t_.max_columns = next_number_;
    return *this;
  }
  // The column added last: for flags, precision and the like.
  Column& Last() { return t_.columns.back(); }
  // Leaves a column number and, for a variable column, a var index unused.
  TableBuilder& Deleted(bool variable) {
    ++next_number_;
    if (variable) ++next_var_;
    t_.max_columns = next_number_;
    return *this;
  }
  TableDefinition Build() const { return t_; }

 private:
  TableDefinition t_;
  uint16_t next_number_ = 0;
  uint16_t next_offset_ = 0;
  uint16_t next_var_ = 0;
};

// Encodes and decodes rows of one table over a memory store.
struct RoundTrip {
  explicit RoundTrip(TableDefinition table, const Layout& layout = Jet4Layout())
      : t(std::move(table)),
        header(HeaderFor(layout)),
        store(layout),
        writer(store),
        encoder(layout, t),
        decoder(store, header, t) {
    if (t.text_code_page) header.code_page = t.text_code_page;
  }

  static Header HeaderFor(const Layout& layout) {
    Header h;
    if (layout.jet3) {
      h.format = Format::kJet3;
      h.page_size = 2048;
    }
    return h;
  }

  std::vector<Value> Back(const std::vector<Value>& values) {
    encoder.Encode(values, &writer, bytes);
    std::vector<Value> out;
    decoder.Decode(ByteView(bytes.data(), bytes.size()), out);
    return out;
  }
  void ExpectSame(const std::vector<Value>& values) {
    std::vector<Value> out = Back(values);
    ASSERT_EQ(out.size(), values.size());
    for (size_t k = 0; k < values.size(); ++k)
      EXPECT_TRUE(Same(out[k], values[k])) << "column " << t.columns[k].name;
  }

  TableDefinition t;
  Header header;
  MemoryPageStore store;
  LongValueWriter writer;
  RowEncoder encoder;
  RowDecoder decoder;
  std::vector<uint8_t> bytes;
};

TableDefinition EveryType() {
  TableBuilder b;
  b.Add("Byte", kByte).Add("Int", kInt).Add("Long", kLong).Add("Big", kBigInt);
  b.Add("Money", kMoney).Add("Single", kFloat).Add("Double", kDouble).Add("Date", kDateTime);
  b.Add("Guid", kGuid).Add("Decimal", kNumeric);
  b.Last().precision = 28;
  b.Last().scale = 4;
  b.Add("Extended", kExtDateTime).Add("Yes", kBool).Add("No", kBool);
  b.Add("Code", kText, 20).Add("Bin", kBinary, 255, false).Add("Name", kText, 510, false);
  b.Last().extra_flags = 0x01;
  b.Add("Memo", kMemo, 0, false).Add("Ole", kOle, 0, false);
  return b.Build();
}

TEST(RowEncoder, EveryTypeAtItsExtremesAndAsNullReadsBack) {
  RoundTrip rt(EveryType());
  Numeric big{Pow10For(28) - 1, 28, 4, true};  // 28 nines
  Guid g;
  for (int k = 0; k < 16; ++k) g.bytes[k] = static_cast<uint8_t>(0x10 * k + k);
  rt.ExpectSame({int64_t{255}, int64_t{INT16_MIN}, int64_t{INT32_MAX}, int64_t{INT64_MIN},
                 Money{INT64_MAX}, double{-3.4028234663852886e38}, 1.7976931348623157e308,
                 OleDate{-657434.0}, g, big, ExtDateTime{3652058, 863999999999}, true, false,
                 std::string("ABCDEFGHIJ"), Binary(255, 0xAB), std::string(255, 'x'),
                 std::string("note"), Binary{1, 2, 3}});
  rt.ExpectSame({int64_t{0}, int64_t{INT16_MAX}, int64_t{INT32_MIN}, int64_t{INT64_MAX},
                 Money{INT64_MIN}, std::nan(""), -0.0, OleDate{2958465.999988426}, Guid{},
                 Numeric{0, 28, 4, false}, ExtDateTime{0, 0}, false, true, std::string(10, ' '),
                 Binary{}, std::string(), std::string(), Binary{}});
  // Nulls everywhere; booleans cannot be null and read back as No.
  std::vector<Value> nulls(rt.t.columns.size());
  std::vector<Value> out = rt.Back(nulls);
  for (size_t k = 0; k < out.size(); ++k) {
    Value expected = rt.t.columns[k].type == kBool ? Value(false) : Value();
    EXPECT_EQ(out[k], expected) << rt.t.columns[k].name;
  }
  // Fixed-length text is padded with spaces, as Access pads it.
  nulls[13] = std::string("\u00E9t\u00E9");
  EXPECT_EQ(rt.Back(nulls)[13], Value(std::string("\u00E9t\u00E9       ")));
  // A decimal of a smaller scale is brought to the column's.
  nulls[9] = Numeric{125, 10, 2, false};
  EXPECT_EQ(rt.Back(nulls)[9], Value(Numeric{12500, 28, 4, false}));
  nulls[9] = Numeric{1250000, 28, 6, true};
  EXPECT_EQ(rt.Back(nulls)[9], Value(Numeric{12500, 28, 4, true}));
}

TEST(RowEncoder, RefusesValuesOutOfRangeOrOfTheWrongKind) {
  RoundTrip rt(EveryType());
  auto error = [&](size_t column, Value v) {
    std::vector<Value> row(rt.t.columns.size());
    row[column] = std::move(v);
    return ErrorOf([&] { rt.encoder.Encode(row, &rt.writer, rt.bytes); });
  };
  const int32_t range = error_numbers::kOutOfRange, kind = error_numbers::kTypeMismatch;
  EXPECT_EQ(error(0, int64_t{256}), range);
  EXPECT_EQ(error(0, int64_t{-1}), range);
  EXPECT_EQ(error(1, int64_t{32768}), range);
  EXPECT_EQ(error(2, int64_t{1} << 31), range);
  EXPECT_EQ(error(5, 1e39), range);
  EXPECT_EQ(error(7, OleDate{2958466.0}), range);
  EXPECT_EQ(error(7, OleDate{std::nan("")}), range);
  EXPECT_EQ(error(9, Numeric{Pow10For(24), 28, 0, false}), range);  // 25 digits + 4 decimals
  EXPECT_EQ(error(9, Numeric{12345, 28, 5, false}), range);         // a fifth decimal
  EXPECT_EQ(error(10, ExtDateTime{3652059, 0}), range);
  EXPECT_EQ(error(10, ExtDateTime{0, -1}), range);
  EXPECT_EQ(error(13, std::string(11, 'a')), range);
  EXPECT_EQ(error(14, Binary(256)), range);
  EXPECT_EQ(error(15, std::string(256, 'a')), range);
  EXPECT_EQ(error(15, std::string(255, 'a')), 0);
  EXPECT_EQ(error(2, std::string("12")), kind);
  EXPECT_EQ(error(0, 1.0), kind);
  EXPECT_EQ(error(11, int64_t{1}), kind);
  EXPECT_EQ(error(15, Binary{1}), kind);
  EXPECT_EQ(error(16, Binary{1}), kind);
  EXPECT_EQ(error(7, 1.0), kind);
  std::vector<Value> short_row(3);
  EXPECT_EQ(ErrorOf([&] { rt.encoder.Encode(short_row, &rt.writer, rt.bytes); }), kind);
}

TEST(RowEncoder, WritesTheRowLayoutAccessWrites) {
  // ID, Flag, Name (compressed), Note (UCS-2), Amount.
  TableBuilder b;
  b.Add("ID", kLong).Add("Flag", kBool).Add("Name", kText, 510, false);
  b.Last().extra_flags = 0x01;
  b.Add("Note", kText, 510, false).Add("Amount", kMoney);
  TableDefinition t = b.Build();
  RowEncoder encoder(Jet4Layout(), t);
  std::vector<uint8_t> row;
  encoder.Encode({int64_t{7}, true, std::string("Bob"), std::string("hi"), Money{123456}}, nullptr,
                 row);
  std::vector<uint8_t> expected = {5, 0, 7, 0, 0, 0, 0x40, 0xE2, 0x01, 0, 0, 0, 0, 0};
  expected.insert(expected.end(), {0xFF, 0xFE, 'B', 'o', 'b', 'h', 0, 'i', 0});
  expected.insert(expected.end(), {23, 0, 19, 0, 14, 0, 2, 0, 0x1F});
  EXPECT_EQ(row, expected);

  // Null fixed columns keep their space; nulls and No clear their bits.
  encoder.Encode({Value(), false, Value(), std::string(), Value()}, nullptr, row);
  expected = {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 14, 0, 14, 0, 14, 0, 2, 0, 0x08};
  EXPECT_EQ(row, expected);
}

TEST(RowEncoder, TableWithoutVariableColumnsHasNoTrailer) {
  TableBuilder b;
  b.Add("A", kLong).Add("B", kBool).Add("C", kDouble);
  RoundTrip rt(b.Build());
  rt.ExpectSame({int64_t{-1}, true, 2.5});
  EXPECT_EQ(rt.bytes.size(), 2u + 12u + 1u);
  EXPECT_EQ(rt.bytes.back(), 0x07);
  rt.ExpectSame({Value(), false, Value()});
  EXPECT_EQ(rt.bytes.back(), 0x00);
}

TEST(RowEncoder, DeletedColumnsLeaveEmptySpansAndUnsetBits) {
  // Numbers 0, 2, 3, 5 and var indexes 0, 2, 3 remain of a wider table.
  TableBuilder b;
  b.Add("Keep", kText, 100, false).Deleted(true).Add("Id", kLong).Add("Tail", kText, 100, false);
  b.Add("Memo", kMemo, 0, false).Deleted(false);
  TableDefinition t = b.Build();
  RoundTrip rt(t);
  rt.ExpectSame({std::string("ab"), int64_t{9}, std::string("cd"), std::string("m")});
  // count, 4 fixed bytes, "ab", "cd", memo field with "m", eod, 4 offsets, n, mask.
  const std::vector<uint8_t>& row = rt.bytes;
  size_t mask = row.size() - 1;
  EXPECT_EQ(row[0], 6);  // the table's max columns
  EXPECT_EQ(row[mask], 0x1D);
  EXPECT_EQ(row[mask - 2], 4);  // n: var indexes 0..3
  auto offset = [&](size_t i) { return row[mask - 4 - 2 * i] | (row[mask - 3 - 2 * i] << 8); };
  EXPECT_EQ(offset(0), 6);
  EXPECT_EQ(offset(1), 10);  // the deleted column's span is empty
  EXPECT_EQ(offset(2), 10);
  EXPECT_EQ(offset(3), 14);
  EXPECT_EQ(offset(4), 14 + 12 + 2);  // end of data
  rt.ExpectSame({Value(), Value(), Value(), Value()});
}

std::vector<uint8_t> Stored(const std::string& text, bool compress) {
  std::vector<uint16_t> scratch;
  std::vector<uint8_t> out;
  AppendUnicodeText(text, compress, scratch, out);
  return out;
}

std::string Decoded(const std::vector<uint8_t>& bytes) {
  std::string out;
  DecodeUnicodeText(ByteView(bytes.data(), bytes.size()), out);
  return out;
}

TEST(TextEncoding, CompressesOnlyWhereItPaysAndTheBytesAllow) {
  using B = std::vector<uint8_t>;
  EXPECT_EQ(Stored("a", true), (B{'a', 0}));  // one character stays as it is
  EXPECT_EQ(Stored("ab", true), (B{'a', 0, 'b', 0}));
  EXPECT_EQ(Stored("abc", true), (B{0xFF, 0xFE, 'a', 'b', 'c'}));
  EXPECT_EQ(Stored("abc", false), (B{'a', 0, 'b', 0, 'c', 0}));
  EXPECT_EQ(Stored("\u00E9t\u00E9", true), (B{0xFF, 0xFE, 0xE9, 't', 0xE9}));
  // Mixed: two-byte units between one-byte runs; even a lone 'x' switches back.
  EXPECT_EQ(Stored("abc\u4E2D\u6587def", true),
            (B{0xFF, 0xFE, 'a', 'b', 'c', 0, 0x2D, 0x4E, 0x87, 0x65, 0, 'd', 'e', 'f'}));
  EXPECT_EQ(Stored("abc\u4E2Dx\u6587def", true),
            (B{0xFF, 0xFE, 'a', 'b', 'c', 0, 0x2D, 0x4E, 0, 'x', 0, 0x87, 0x65, 0, 'd', 'e', 'f'}));
  EXPECT_EQ(Stored("\u4E2D\u6587abcde", true),
            (B{0xFF, 0xFE, 0, 0x2D, 0x4E, 0x87, 0x65, 0, 'a', 'b', 'c', 'd', 'e'}));
  EXPECT_EQ(Stored("\u4E2D\u6587abcd", true).size(), 12u);  // as long compressed
  // A unit with a zero low byte would read as a mode switch: no compression.
  EXPECT_EQ(Stored("abc\u0100", true), (B{'a', 0, 'b', 0, 'c', 0, 0, 1}));
  EXPECT_EQ(Stored("ab\U0001F600cd", true)[0], 'a');  // its low surrogate is DE00
  EXPECT_EQ(Stored(std::string("ab\0cd", 5), true).size(), 10u);
  EXPECT_EQ(Stored("\u4E2D\u6587\u5B57", true).size(), 6u);  // nothing to gain

  for (const std::string text : {"\u4E2D\u6587\u5B57 and ASCII", "emoji \U0001F600\U0001F680 here",
                                 "e\u0301\u0308 combining", "\u00C5ngstr\u00F6m \u20AC5",
                                 "x\u4E2Dy\u6587z", "\u0410\u0411\u0412", ""}) {
    EXPECT_EQ(Decoded(Stored(text, true)), text);
    EXPECT_EQ(Decoded(Stored(text, false)), text);
  }
  std::vector<uint16_t> units;
  Utf8ToUtf16("\U0001F600\u00E9", units);
  EXPECT_EQ(units, (std::vector<uint16_t>{0xD83D, 0xDE00, 0xE9}));
  EXPECT_EQ(Utf16Length("\U0001F600\u00E9a"), 4u);
}

TEST(TextEncoding, MalformedUtf8IsAnErrorThatDoesNotQuoteTheText) {
  for (const std::string& bad :
       {std::string("secret\xFF"), std::string("secret\xC3"), std::string("secret\xC0\xAF"),
        std::string("secret\xED\xA0\x80"), std::string("secret\xF4\x90\x80\x80"),
        std::string("\x80secret")}) {
    std::string what;
    EXPECT_EQ(ErrorOf([&] { Stored(bad, true); }, &what), error_numbers::kTypeMismatch);
    EXPECT_EQ(what.find("secret"), std::string::npos) << what;
  }
}

TEST(RowEncoder, TextCompressionFollowsTheColumn) {
  TableBuilder b;
  b.Add("Plain", kText, 510, false).Add("Packed", kText, 510, false);
  b.Last().extra_flags = 0x01;
  b.Add("Fixed", kText, 8);
  b.Last().extra_flags = 0x01;
  b.Add("Memo", kMemo, 0, false);
  b.Last().extra_flags = 0x01;
  RoundTrip rt(b.Build());
  rt.ExpectSame(
      {std::string("abcd"), std::string("abcd"), std::string("abcd"), std::string(1024, 'm')});
  // count, fixed 8, plain 8, packed 6, memo field 12 (on a page), trailer, mask.
  EXPECT_EQ(rt.bytes.size(), 2u + 8 + 8 + 6 + 12 + 2 + 6 + 2 + 1);
  EXPECT_EQ(rt.bytes[10], 'a');   // plain
  EXPECT_EQ(rt.bytes[18], 0xFF);  // packed
  ByteView field(rt.bytes.data() + 24, 12);
  std::vector<uint8_t> memo;
  ReadLongValue(rt.store, false, field, memo);
  EXPECT_EQ(memo.size(), 2u + 1024);  // compressed at 1024 characters
  rt.ExpectSame({Value(), Value(), Value(), std::string(1025, 'm')});
  ReadLongValue(rt.store, false, ByteView(rt.bytes.data() + 10, 12), memo);
  EXPECT_EQ(memo.size(), 2u * 1025);  // but not beyond
  rt.ExpectSame({std::string("\u4E2D\U0001F600e\u0301"), std::string("\u4E2D\U0001F600e\u0301"),
                 std::string("\u4E2D\U0001F600e"), std::string("\u00E9\u4E2D")});
}

// The row field a writer made for `data`, and the data read back through it.
std::vector<uint8_t> WriteAndRead(LongValueWriter& writer, PageSource& store,
                                  const std::vector<uint8_t>& data, uint8_t* kind = nullptr) {
  std::vector<uint8_t> field;
  writer.Write(ByteView(data.data(), data.size()), field);
  EXPECT_EQ(field.size(), 12 + (data.size() <= 64 ? data.size() : 0));
  if (kind) *kind = field[3] & 0xC0;
  std::vector<uint8_t> back;
  ReadLongValue(store, false, ByteView(field.data(), field.size()), back);
  return back;
}

TEST(LongValueWriter, ValuesOfEveryLengthReadBackExactly) {
  MemoryPageStore store(Jet4Layout());
  std::set<uint32_t> added, filled;
  LvalPageEvents events;
  events.added = [&](uint32_t p) { EXPECT_TRUE(added.insert(p).second); };
  events.filled = [&](uint32_t p) {
    EXPECT_TRUE(added.count(p));
    EXPECT_TRUE(filled.insert(p).second);
  };
  LongValueWriter writer(store, events);
  EXPECT_EQ(writer.MaxRow(), 4076u);
  for (size_t length : {0, 1, 64, 65, 2000, 4076, 4077, 5000, 8144, 8145, 2000000}) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> data(length);
    for (size_t k = 0; k < length; ++k) data[k] = static_cast<uint8_t>(k * 7 + k / 251);
    uint8_t kind = 0;
    EXPECT_EQ(WriteAndRead(writer, store, data, &kind), data);
    EXPECT_EQ(kind, length <= 64 ? 0x80 : length <= 4076 ? 0x40 : 0x00);
  }
  // Every page came through `added`; 2,000,000 bytes take 492 pieces of 4072.
  EXPECT_EQ(added.size(), store.LivePages());
  EXPECT_GE(added.size(), 492u);
  EXPECT_LE(added.size(), 500u);
  EXPECT_GE(filled.size(), 490u);
  for (uint32_t p : added) {
    PageBuffer page = store.Read(p);
    DataPage data(View(page), false, p);
    EXPECT_TRUE(data.IsLongValuePage());
    size_t used = 0;
    for (int r = 0; r < data.RowCount(); ++r) used += data.Row(r).size() + 2;
    EXPECT_EQ(View(page).U16(2), 4096 - 14 - used) << "free space of page " << p;
    if (filled.count(p) == 0) {
      EXPECT_GE(View(page).U16(2), 67);
    }
  }
}

TEST(LongValueWriter, FillsItsPageBeforeTakingAnotherAndCanContinueOne) {
  MemoryPageStore store(Jet4Layout());
  std::vector<uint32_t> added, filled;
  LvalPageEvents events{[&](uint32_t p) { added.push_back(p); },
                        [&](uint32_t p) { filled.push_back(p); }};
  LongValueWriter writer(store, events);
  std::vector<uint8_t> value(100, 'v');
  // 4082 free bytes take 40 rows of 100 bytes and their slots.
  for (int k = 0; k < 40; ++k) WriteAndRead(writer, store, value);
  EXPECT_EQ(added.size(), 1u);
  WriteAndRead(writer, store, value);
  EXPECT_EQ(added.size(), 2u);
  EXPECT_EQ(filled, std::vector<uint32_t>{added[0]});

  // A chain whose pieces fill new pages leaves the current page current.
  uint32_t current = writer.CurrentPage();
  WriteAndRead(writer, store, std::vector<uint8_t>(3 * 4072, 'c'));
  EXPECT_EQ(writer.CurrentPage(), current);
  EXPECT_EQ(filled.size(), 4u);

  // A new writer goes on filling a page it is given.
  LongValueWriter again(store, events, current);
  std::vector<uint8_t> field;
  again.Write(ByteView(value.data(), value.size()), field);
  EXPECT_EQ(field[5] | (field[6] << 8), static_cast<int>(current));
  EXPECT_EQ(field[4], 1);  // after the 41st value, the chain having gone elsewhere
  EXPECT_EQ(added.size(), 5u);

  // At most 255 rows a page, however small.
  MemoryPageStore small(Jet4Layout());
  std::vector<uint32_t> small_filled;
  LongValueWriter tiny(small, {nullptr, [&](uint32_t p) { small_filled.push_back(p); }});
  uint8_t field12[12];
  uint8_t byte = 'x';
  for (int k = 0; k < 256; ++k) tiny.WriteToPages(ByteView(&byte, 1), field12);
  EXPECT_EQ(small.LivePages(), 2u);
  EXPECT_EQ(small_filled.size(), 1u);
  EXPECT_EQ(field12[4], 0);  // the 256th is row 0 of the second page

  // A page that holds no long values cannot be continued.
  store.Put(900, std::vector<uint8_t>{1, 1, 0, 0, 9, 0, 0, 0});
  EXPECT_EQ(ErrorOf([&] { LongValueWriter(store, {}, 900); }), error_numbers::kCorrupt);
}

TEST(RowEncoder, LongValueColumnsCanEachHaveTheirOwnWriter) {
  TableBuilder b;
  b.Add("Memo", kMemo, 0, false).Add("Ole", kOle, 0, false);
  TableDefinition t = b.Build();
  MemoryPageStore store(Jet4Layout());
  LongValueWriter memo_writer(store), ole_writer(store);
  RowEncoder encoder(Jet4Layout(), t);
  Header header;
  RowDecoder decoder(store, header, t);
  std::vector<LongValueWriter*> writers = {&memo_writer, &ole_writer};
  std::vector<Value> row = {std::string(3000, 'q'), Binary(3000, 0x5A)}, back;
  std::vector<uint8_t> bytes;
  encoder.Encode(row, writers, bytes);
  decoder.Decode(ByteView(bytes.data(), bytes.size()), back);
  EXPECT_EQ(back, row);
  EXPECT_NE(memo_writer.CurrentPage(), ole_writer.CurrentPage());
  EXPECT_NE(memo_writer.CurrentPage(), 0u);
  // Without a writer only inline values can be written.
  encoder.Encode({std::string("short"), Binary(64)}, nullptr, bytes);
  EXPECT_EQ(ErrorOf([&] {
              encoder.Encode({Value(), Binary(65)}, nullptr, bytes);
            }),
            error_numbers::kNotSupported);
}

TEST(RowEncoder, TooLargeRowsAreRefusedBeforeAnyPageIsWritten) {
  TableBuilder b;
  for (int k = 0; k < 8; ++k) b.Add("T" + std::to_string(k), kText, 510, false);
  for (int k = 0; k < 8; ++k) b.Add("M" + std::to_string(k), kMemo, 0, false);
  RoundTrip rt(b.Build());
  std::string wide;
  for (int k = 0; k < 255; ++k) wide += "\u4E2D";  // 510 bytes, not compressible
  std::vector<Value> row(16);
  for (int k = 0; k < 8; ++k) row[k] = wide;
  row[8] = std::string(3000, 'm');
  std::string what;
  EXPECT_EQ(ErrorOf([&] { rt.encoder.Encode(row, &rt.writer, rt.bytes); }, &what),
            error_numbers::kOutOfRange);
  EXPECT_NE(what.find("The row is too large"), std::string::npos);
  EXPECT_EQ(rt.store.Allocations(), 0u);

  // Seven wide texts and eight short memos fit only with the memos on pages.
  row[7] = Value();
  for (int k = 8; k < 16; ++k) row[k] = std::string(32, 'm');  // 64 bytes each
  rt.ExpectSame(row);
  EXPECT_LE(rt.bytes.size(), 4060u);
  EXPECT_GT(rt.store.Allocations(), 0u);
}

// Calculated columns take null only; a complex column holds the row's
// reference into its hidden table, which the table writer hands out.
TEST(RowEncoder, CalculatedColumnsTakeOnlyNullAndComplexOnesTheirReference) {
  TableBuilder b;
  b.Add("Id", kLong).Add("Calc", kText, 510 + 23, false);
  b.Last().extra_flags = 0xC0;
  b.Add("CalcYes", kBool);
  b.Last().extra_flags = 0xC0;
  b.Add("Files", kComplex);
  RoundTrip rt(b.Build());
  rt.ExpectSame({int64_t{1}, Value(), Value(), Value()});
  rt.ExpectSame({int64_t{1}, Value(), Value(), int64_t{INT32_MAX}});
  for (size_t column : {1, 2}) {
    std::vector<Value> row = {int64_t{1}, Value(), Value(), Value()};
    row[column] = column == 1 ? Value(std::string("x")) : Value(true);
    EXPECT_EQ(ErrorOf([&] { rt.encoder.Encode(row, &rt.writer, rt.bytes); }),
              error_numbers::kNotSupported)
        << column;
  }
}

// Access 97 rows keep their offsets in one byte each and reach past 255
// through a jump table: rows of every length up to the largest, with one,
// a few and many variable columns, and nulls among them, read back.
TEST(RowEncoder, Jet3RowsOfEveryLengthReadBack) {
  for (int variable : {1, 3, 40}) {
    SCOPED_TRACE(variable);
    TableBuilder b;
    b.Add("Id", kLong);
    for (int k = 0; k < variable; ++k) b.Add("T" + std::to_string(k), kText, 255, false);
    b.Add("Flag", kBool);
    TableDefinition t = b.Build();
    t.text_code_page = 1252;
    RoundTrip rt(t, Jet3Layout());
    size_t rows = 0, longest = 0;
    for (size_t total = 0; total < 2100; total += variable == 40 ? 7 : 1) {
      std::vector<Value> row = {int64_t(total)};
      size_t left = total;
      for (int k = 0; k < variable; ++k) {
        if (k % 3 == 2 && total % 2) {
          row.push_back(Value());  // a null among the values
          continue;
        }
        size_t n = std::min<size_t>(255, (left + (variable - k) - 1) / (variable - k));
        left -= n;
        row.push_back(std::string(n, static_cast<char>('a' + k % 26)));
      }
      row.push_back(Value(total % 3 == 0));
      try {
        rt.encoder.Encode(row, &rt.writer, rt.bytes);
      } catch (const JetError& e) {
        // Only rows beyond the page's limit may be refused.
        ASSERT_GT(total, 1900u) << e.what();
        continue;
      }
      ++rows;
      longest = std::max(longest, rt.bytes.size());
      ASSERT_LE(rt.bytes.size(), Jet3Layout().max_row_size);
      EXPECT_EQ(rt.bytes[0], t.max_columns);
      std::vector<Value> back;
      rt.decoder.Decode(ByteView(rt.bytes.data(), rt.bytes.size()), back);
      ASSERT_EQ(back.size(), row.size());
      for (size_t k = 0; k < row.size(); ++k)
        ASSERT_TRUE(Same(back[k], row[k])) << "total " << total << " column " << k;
    }
    EXPECT_GT(longest, std::min<size_t>(1900, 255u * variable));
    EXPECT_GT(rows, 250u);
  }
}

// Access 97 text is in the file's code page: a character it lacks is refused
// by name, never written as '?'.
TEST(RowEncoder, Jet3TextOutsideTheCodePageIsRefusedByName) {
  TableBuilder b;
  b.Add("Größe", kText, 20, false);
  b.Add("Notes", kMemo, 0, false);
  TableDefinition t = b.Build();
  t.text_code_page = 1252;
  RoundTrip rt(t, Jet3Layout());
  rt.ExpectSame({std::string("Ærø € „x“ ÿ"), std::string(3000, 'z') + "Œ"});
  std::string what;
  EXPECT_EQ(ErrorOf(
                [&] {
                  rt.Back({std::string("ab表"), Value()});
                },
                &what),
            error_numbers::kOutOfRange);
  EXPECT_NE(what.find("'Größe'"), std::string::npos) << what;
  EXPECT_NE(what.find("'表' (U+8868)"), std::string::npos) << what;
  EXPECT_NE(what.find("1252"), std::string::npos) << what;
  EXPECT_EQ(ErrorOf(
                [&] {
                  rt.Back({Value(), std::string("😀")});
                },
                &what),
            error_numbers::kOutOfRange);
  EXPECT_NE(what.find("(U+1F600)"), std::string::npos) << what;
  // Length counts bytes of the code page: 20 characters fit, 21 do not.
  rt.ExpectSame({std::string("ÄÖÜäöüßÆøåÄÖÜäöüßÆøå"), Value()});
  EXPECT_EQ(ErrorOf([&] {
              rt.Back({std::string("ÄÖÜäöüßÆøåÄÖÜäöüßÆøåx"), Value()});
            }),
            error_numbers::kOutOfRange);
  // Code page 1251 holds Cyrillic, and not what 1252 alone has.
  TableDefinition cyrillic = t;
  cyrillic.text_code_page = 1251;
  RoundTrip rc(cyrillic, Jet3Layout());
  rc.ExpectSame({std::string("Привет, Ёё №"), Value()});
  EXPECT_EQ(ErrorOf([&] { rc.Back({std::string("Æ"), Value()}); }), error_numbers::kOutOfRange);
  // Code page 1250 holds Polish, and not what only 1252 has.
  TableDefinition central = t;
  central.text_code_page = 1250;
  RoundTrip r1250(central, Jet3Layout());
  r1250.ExpectSame({std::string("Zażółć gęślą jaźń"), Value()});
  EXPECT_EQ(ErrorOf([&] { r1250.Back({std::string("Æ"), Value()}); }), error_numbers::kOutOfRange);
  // Of a code page that is not a single-byte one this engine knows (here the
  // Japanese double-byte 932), ASCII only, and the refusal says so.
  TableDefinition japanese = t;
  japanese.text_code_page = 932;
  RoundTrip r932(japanese, Jet3Layout());
  r932.ExpectSame({std::string("plain ASCII ~"), Value()});
  EXPECT_EQ(ErrorOf(
                [&] {
                  r932.Back({std::string("é"), Value()});
                },
                &what),
            error_numbers::kOutOfRange);
  EXPECT_NE(what.find("code page 932, which is not a single-byte Windows code page this program "
                      "knows, so it writes only ASCII there"),
            std::string::npos)
      << what;
}

}  // namespace
}  // namespace jet
