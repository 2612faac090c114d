// The test server's SQL front end and ASE's value rules, without sockets.
#include <gtest/gtest.h>

#include <random>

#include "init_script.h"
#include "row_size.h"
#include "server_config.h"
#include "server_message.h"
#include "sql_lexer.h"
#include "sql_parser.h"
#include "value_conversion.h"

namespace vq::ase_server {
namespace {

// The message number a parse or conversion fails with, or 0 when it succeeds.
template <typename F>
int FailureNumber(F&& f, std::string* text = nullptr) {
  try {
    f();
  } catch (const ServerError& e) {
    if (text) *text = e.message().text;
    return e.message().number;
  }
  return 0;
}

TEST(AseServerParser, SplitsTheBatchFreeTdsSendsAfterLogin) {
  const auto batch = ParseBatch("set textsize 2147483647 select @@spid use [test db ]");
  ASSERT_EQ(batch.size(), 3u);
  const auto& set = std::get<SetStatement>(batch[0].statement);
  EXPECT_EQ(set.option, "textsize");
  EXPECT_EQ(set.value, "2147483647");
  const auto& select = std::get<SelectStatement>(batch[1].statement);
  ASSERT_EQ(select.items.size(), 1u);
  EXPECT_EQ(select.items[0].kind, SelectItem::Kind::kGlobal);
  EXPECT_EQ(select.items[0].name, "spid");
  // Trailing blanks inside brackets are dropped, as ASE does.
  EXPECT_EQ(std::get<UseStatement>(batch[2].statement).database, "test db");
  EXPECT_EQ(batch[1].text, "select @@spid");
}

TEST(AseServerParser, ReadsCreateTableWithAseTypesAndNullability) {
  const auto batch = ParseBatch(
      "CREATE TABLE [Or ders]([a] INTEGER,[b] char NULL,[c] numeric,[d] decimal(10,2) not "
      "null,[e] float(8),[f] double precision null,[g] univarchar(20),[h] varbinary(7) null)");
  const auto& create = std::get<CreateTableStatement>(batch.at(0).statement);
  EXPECT_EQ(create.table, "Or ders");
  ASSERT_EQ(create.columns.size(), 8u);
  const auto& c = create.columns;
  EXPECT_EQ(c[0].type.kind, TypeKind::kInt);
  EXPECT_FALSE(c[0].nullable);  // NOT NULL unless NULL is written
  EXPECT_EQ(c[1].type.kind, TypeKind::kChar);
  EXPECT_EQ(c[1].type.length, 1);
  EXPECT_TRUE(c[1].nullable);
  EXPECT_EQ(c[2].type.precision, 18);
  EXPECT_EQ(c[2].type.scale, 0);
  EXPECT_EQ(c[3].type.kind, TypeKind::kDecimal);
  EXPECT_EQ(c[3].type.precision, 10);
  EXPECT_EQ(c[3].type.scale, 2);
  EXPECT_EQ(c[4].type.kind, TypeKind::kReal);  // float(p < 16)
  EXPECT_EQ(c[5].type.kind, TypeKind::kFloat);
  EXPECT_TRUE(c[5].nullable);
  EXPECT_EQ(c[6].type.kind, TypeKind::kUniVarChar);
  EXPECT_EQ(c[6].type.length, 20);
  EXPECT_EQ(c[7].type.kind, TypeKind::kVarBinary);
}

TEST(AseServerParser, ReadsLiteralsOfEveryKind) {
  const auto batch = ParseBatch(
      "insert into T values('it''s', N'ü', -12, +3.50, 1e3, 0x0aFF, NULL, '') -- comment\n"
      "/* another */ insert T (x) values (1)");
  ASSERT_EQ(batch.size(), 2u);
  const auto& v = std::get<InsertStatement>(batch[0].statement).values;
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(v[0].kind, Literal::Kind::kString);
  EXPECT_EQ(v[0].text, "it's");
  EXPECT_EQ(v[1].text, "ü");
  EXPECT_EQ(v[2].kind, Literal::Kind::kInteger);
  EXPECT_EQ(v[2].text, "-12");
  EXPECT_EQ(v[3].kind, Literal::Kind::kDecimal);
  EXPECT_EQ(v[3].text, "3.50");
  EXPECT_EQ(v[4].kind, Literal::Kind::kFloat);
  EXPECT_EQ(v[5].kind, Literal::Kind::kBinary);
  EXPECT_EQ(v[5].text, "0aFF");
  EXPECT_EQ(v[6].kind, Literal::Kind::kNull);
  EXPECT_EQ(v[7].text, "");
  const auto& second = std::get<InsertStatement>(batch[1].statement);
  EXPECT_EQ(second.columns, std::vector<std::string>{"x"});
}

TEST(AseServerParser, DoubleQuotesFollowQuotedIdentifier) {
  const auto as_string = ParseBatch("insert T values(\"a\"\"b\")");
  const auto& v = std::get<InsertStatement>(as_string.at(0).statement).values;
  EXPECT_EQ(v.at(0).kind, Literal::Kind::kString);
  EXPECT_EQ(v.at(0).text, "a\"b");
  const auto as_name = ParseBatch("drop table \"My Table\"", true);
  EXPECT_EQ(std::get<DropTableStatement>(as_name.at(0).statement).table, "My Table");
}

TEST(AseServerOptions, ReadsTheCommandLine) {
  const char* const good[] = {"ase-test-server", "--port",     "0",       "--data",   "/tmp/x",
                              "--login",         "sa:pa:ss",   "--login", "u:",       "--database",
                              "sales",           "--database", "archive", "--verbose"};
  const ServerConfig c = ParseCommandLine(static_cast<int>(std::size(good)), good);
  EXPECT_EQ(c.port, 0);
  EXPECT_EQ(c.listen_address, "127.0.0.1");  // loopback unless told otherwise
  EXPECT_TRUE(c.Accepts("sa", "pa:ss"));     // the password may hold a colon
  EXPECT_TRUE(c.Accepts("u", ""));
  EXPECT_FALSE(c.Accepts("SA", "pa:ss"));
  EXPECT_EQ(c.DefaultDatabase(), "sales");
  EXPECT_TRUE(c.HasDatabase("archive"));
  EXPECT_TRUE(c.HasDatabase("master"));
  EXPECT_FALSE(c.HasDatabase("Sales"));
  EXPECT_EQ(c.DatabasePath("sales"), "/tmp/x/sales.db");
  EXPECT_TRUE(c.verbose);

  const std::vector<std::vector<const char*>> bad{
      {"s", "--login", "sa:x"},  // no --data
      {"s", "--data", "d"},      // no login
      {"s", "--data", "d", "--login", "nocolon"},
      {"s", "--data", "d", "--login", "sa:x", "--port", "70000"},
      {"s", "--data", "d", "--login", "sa:x", "--database", "../etc"},  // not a file name
      {"s", "--data", "d", "--login", "sa:x", "--bogus"},
      {"s", "--data"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(ParseCommandLine(static_cast<int>(args.size()), args.data()),
                 std::invalid_argument);
  }
}

TEST(AseServerParser, SplitsScriptsAtGoLines) {
  const auto batches = SplitScript(
      "create table T(x int)\n GO \n\ngo\ninsert T values(1)\n"
      "insert T values(2) -- not a go line\ngone\n");
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0], "create table T(x int)\n");
  EXPECT_EQ(batches[1], "insert T values(1)\ninsert T values(2) -- not a go line\ngone\n");
}

TEST(AseServerParser, ReadsUpdateAndDelete) {
  const auto batch = ParseBatch("update [T] set a = 1, [b c] = NULL where a <> 2 delete T");
  ASSERT_EQ(batch.size(), 2u);
  const auto& u = std::get<UpdateStatement>(batch[0].statement);
  ASSERT_EQ(u.assignments.size(), 2u);
  EXPECT_EQ(u.assignments[1].first, "b c");
  EXPECT_EQ(u.assignments[1].second.kind, Literal::Kind::kNull);
  ASSERT_EQ(u.where.size(), 1u);
  EXPECT_EQ(u.where[0].op, Condition::Op::kNe);
  EXPECT_TRUE(std::get<DeleteStatement>(batch[1].statement).where.empty());
}

TEST(AseServerParser, ReadsTheCatalogueQuery) {
  const auto batch =
      ParseBatch("select name, type from sysobjects where type in ('U','S','V') order by name");
  const auto& s = std::get<SelectStatement>(batch.at(0).statement);
  EXPECT_EQ(*s.table, "sysobjects");
  ASSERT_EQ(s.where.size(), 1u);
  EXPECT_EQ(s.where[0].op, Condition::Op::kIn);
  EXPECT_EQ(s.where[0].values.size(), 3u);
  ASSERT_EQ(s.order_by.size(), 1u);
  EXPECT_EQ(s.order_by[0].column, "name");
}

TEST(AseServerParser, RefusesBadSqlWithAseSyntaxMessages) {
  std::string text;
  EXPECT_EQ(FailureNumber([] { ParseBatch("selec 1"); }, &text), 102);
  EXPECT_EQ(text, "Incorrect syntax near 'selec'.\n");
  EXPECT_EQ(FailureNumber([] { ParseBatch("create table order (x int)"); }, &text), 156);
  EXPECT_EQ(text, "Incorrect syntax near the keyword 'order'.\n");
  EXPECT_EQ(FailureNumber([] { ParseBatch("insert into T values('open"); }), 102);
  EXPECT_EQ(FailureNumber([] { ParseBatch("select * from [a.b]"); }), 102);  // no dot in a name
  EXPECT_EQ(FailureNumber([] { ParseBatch("create table T (x nosuchtype)"); }), 2715);
  EXPECT_EQ(FailureNumber([] { ParseBatch("select * from [" + std::string(256, 'n') + "]"); }),
            103);
  EXPECT_EQ(FailureNumber([] { ParseBatch("insert into T values(1"); }), 102);
  // A reserved word is fine once bracketed.
  EXPECT_EQ(FailureNumber([] { ParseBatch("create table [order] ([user] int)"); }), 0);
}

// Arbitrary text (random bytes, and valid statements cut or mutated at random)
// only ever gives a clean ServerError, never a crash or another exception.
TEST(AseServerParser, SurvivesArbitraryInput) {
  const std::vector<std::string> seeds{
      "create table [T]([a] numeric(10,2) null, [b] varchar(5))",
      "insert into T (a, b) values(-1.5e3, N'x''y')",
      "select a, count(*) from dbo.T where a in (1, 2) and b is not null order by a desc",
      "set textsize 100 select @@spid use [db] waitfor delay '00:00:01'",
  };
  std::mt19937 random(20240229);
  for (int round = 0; round < 3000; ++round) {
    std::string text = seeds[random() % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = static_cast<char>(random() % 256);
          break;
        case 1:
          text.erase(at, random() % 8);
          break;
        default:
          text.resize(at);
          break;
      }
    }
    try {
      const auto batch = ParseBatch(text, round % 2 == 0);
      for (const auto& s : batch) {
        if (const auto* insert = std::get_if<InsertStatement>(&s.statement)) {
          for (const Literal& l : insert->values) {
            for (TypeKind kind : {TypeKind::kInt, TypeKind::kNumeric, TypeKind::kMoney,
                                  TypeKind::kDateTime, TypeKind::kUniChar, TypeKind::kBinary}) {
              try {
                ConvertLiteral(l, ColumnDefinition{"c", ColumnType{kind, 3, 10, 2}, true}, "T");
              } catch (const ServerError&) {
              }
            }
          }
        }
      }
    } catch (const ServerError&) {
    }
  }
}

ColumnDefinition Col(TypeKind kind, bool nullable = false, int length = 0, int precision = 0,
                     int scale = 0) {
  return ColumnDefinition{"c", ColumnType{kind, length, precision, scale}, nullable};
}

Literal Lit(Literal::Kind kind, std::string text) {
  return Literal{kind, std::move(text)};
}

std::string TextOf(const CellValue& v) {
  return std::get<Text>(v).utf8;
}

TEST(AseServerValues, RefusesTextForNumbersWith257) {
  std::string text;
  for (const char* s : {"", "abc", "12"}) {
    EXPECT_EQ(FailureNumber(
                  [&] { ConvertLiteral(Lit(Literal::Kind::kString, s), Col(TypeKind::kInt), "T"); },
                  &text),
              257);
  }
  EXPECT_EQ(text,
            "Implicit conversion from datatype 'VARCHAR' to 'INT' is not allowed.  Use the CONVERT "
            "function to run this query.\n");
  EXPECT_EQ(FailureNumber(
                [] {
                  ConvertLiteral(Lit(Literal::Kind::kInteger, "5"),
                                 Col(TypeKind::kVarChar, false, 5), "T");
                },
                &text),
            257);
  EXPECT_NE(text.find("'INT' to 'VARCHAR'"), std::string::npos);
  EXPECT_EQ(FailureNumber([] {
              ConvertLiteral(Lit(Literal::Kind::kString, "ab"), Col(TypeKind::kVarBinary, false, 5),
                             "T");
            }),
            257);
}

TEST(AseServerValues, NullOnlyWhereTheColumnAllowsItAndNeverInBit) {
  std::string text;
  const Literal null = Lit(Literal::Kind::kNull, "");
  ColumnDefinition id = Col(TypeKind::kInt);
  id.name = "ID";
  EXPECT_EQ(FailureNumber([&] { ConvertLiteral(null, id, "Orders"); }, &text), 233);
  EXPECT_EQ(text, "The column ID in table Orders does not allow null values.\n");
  EXPECT_TRUE(IsNull(ConvertLiteral(null, Col(TypeKind::kInt, true), "T")));
  EXPECT_EQ(FailureNumber([&] { ConvertLiteral(null, Col(TypeKind::kBit, true), "T"); }), 233);
}

TEST(AseServerValues, CharacterValuesFollowAseBlankRules) {
  auto conv = [](const std::string& s, const ColumnDefinition& c) {
    return TextOf(ConvertLiteral(Lit(Literal::Kind::kString, s), c, "T"));
  };
  EXPECT_EQ(conv("", Col(TypeKind::kVarChar, false, 10)), " ");
  EXPECT_EQ(conv("   ", Col(TypeKind::kVarChar, true, 10)), " ");
  EXPECT_EQ(conv("", Col(TypeKind::kText)), " ");
  EXPECT_EQ(conv("", Col(TypeKind::kUniVarChar, false, 4)), " ");
  EXPECT_EQ(conv("ab  ", Col(TypeKind::kVarChar, false, 10)), "ab");
  EXPECT_EQ(conv("ab", Col(TypeKind::kChar, false, 4)), "ab  ");         // NOT NULL char is padded
  EXPECT_EQ(conv("ab  ", Col(TypeKind::kChar, true, 4)), "ab");          // nullable char is not
  EXPECT_EQ(conv("abcdef", Col(TypeKind::kVarChar, false, 4)), "abcd");  // silently cut
  EXPECT_EQ(conv("aé", Col(TypeKind::kVarChar, false, 2)), "a");         // never half a character
  EXPECT_EQ(conv("日本語", Col(TypeKind::kUniVarChar, false, 2)), "日本");
  EXPECT_EQ(conv("x", Col(TypeKind::kUniChar, false, 3)), "x  ");
}

TEST(AseServerValues, NumbersAreCheckedAgainstTheColumnType) {
  auto conv = [](Literal::Kind k, const std::string& s, const ColumnDefinition& c) {
    return ConvertLiteral(Lit(k, s), c, "T");
  };
  using K = Literal::Kind;
  EXPECT_EQ(std::get<std::int64_t>(conv(K::kInteger, "255", Col(TypeKind::kTinyInt))), 255);
  EXPECT_EQ(FailureNumber([&] { conv(K::kInteger, "256", Col(TypeKind::kTinyInt)); }), 220);
  EXPECT_EQ(FailureNumber([&] { conv(K::kInteger, "-1", Col(TypeKind::kTinyInt)); }), 220);
  EXPECT_EQ(FailureNumber([&] { conv(K::kInteger, "2147483648", Col(TypeKind::kInt)); }), 220);
  EXPECT_EQ(
      std::get<std::int64_t>(conv(K::kInteger, "-9223372036854775808", Col(TypeKind::kBigInt))),
      INT64_MIN);
  EXPECT_EQ(FailureNumber([&] { conv(K::kDecimal, "1.5", Col(TypeKind::kInt)); }), 241);
  EXPECT_EQ(std::get<std::int64_t>(conv(K::kDecimal, "7.000", Col(TypeKind::kInt))), 7);
  // numeric keeps exact digits; more decimals than the scale is a scale error.
  EXPECT_EQ(
      std::get<Numeric>(conv(K::kDecimal, "-1234.5", Col(TypeKind::kNumeric, false, 0, 10, 2)))
          .unscaled,
      -123450);
  EXPECT_EQ(
      FailureNumber([&] { conv(K::kDecimal, "1.234", Col(TypeKind::kNumeric, false, 0, 10, 2)); }),
      241);
  EXPECT_EQ(FailureNumber(
                [&] { conv(K::kInteger, "100000000", Col(TypeKind::kNumeric, false, 0, 10, 2)); }),
            220);
  const std::string big(38, '9');
  EXPECT_EQ(Int128ToString(
                std::get<Numeric>(conv(K::kInteger, big, Col(TypeKind::kDecimal, false, 0, 38, 0)))
                    .unscaled),
            big);
  // money rounds to four decimals and has a range.
  EXPECT_EQ(std::get<std::int64_t>(conv(K::kDecimal, "12.34567", Col(TypeKind::kMoney))), 123457);
  EXPECT_EQ(FailureNumber([&] { conv(K::kDecimal, "214748.3648", Col(TypeKind::kSmallMoney)); }),
            220);
  EXPECT_EQ(std::get<std::int64_t>(conv(K::kDecimal, "-0.00005", Col(TypeKind::kMoney))), -1);
  // Digits that would pass 38 once scaled are an overflow, not a wrapped number.
  EXPECT_EQ(FailureNumber([&] { conv(K::kInteger, big, Col(TypeKind::kMoney)); }), 220);
  EXPECT_EQ(
      FailureNumber([&] { conv(K::kInteger, big, Col(TypeKind::kNumeric, false, 0, 38, 2)); }),
      220);
  EXPECT_EQ(FailureNumber(
                [&] { conv(K::kDecimal, "0." + std::string(50, '0') + "1", Col(TypeKind::kInt)); }),
            241);
  EXPECT_EQ(std::get<std::int64_t>(
                conv(K::kDecimal, "0." + std::string(50, '0') + "1", Col(TypeKind::kMoney))),
            0);
  EXPECT_EQ(std::get<std::int64_t>(conv(K::kInteger, "-5", Col(TypeKind::kBit))), 1);
  EXPECT_EQ(std::get<double>(conv(K::kFloat, "1e3", Col(TypeKind::kFloat))), 1000.0);
  EXPECT_EQ(std::get<double>(conv(K::kDecimal, "0.1", Col(TypeKind::kReal))),
            static_cast<double>(0.1f));
}

TEST(AseServerValues, DatesAndTimesUseAseUnits) {
  auto conv = [](const std::string& s, TypeKind k) {
    return std::get<std::int64_t>(ConvertLiteral(Lit(Literal::Kind::kString, s), Col(k), "T"));
  };
  EXPECT_EQ(conv("1900-01-01", TypeKind::kDateTime), 0);
  EXPECT_EQ(conv("1900-01-02 00:00:01", TypeKind::kDateTime), 25920000 + 300);
  // Milliseconds round to 1/300 s ticks: .002 is 0.6 ticks, .005 is 1.5.
  EXPECT_EQ(conv("1900-01-01 00:00:00.002", TypeKind::kDateTime), 1);
  EXPECT_EQ(conv("1900-01-01 00:00:00.005", TypeKind::kDateTime), 2);
  EXPECT_EQ(conv("1899-12-31 23:59:59.999", TypeKind::kDateTime), 0);  // rounds to midnight
  EXPECT_EQ(conv("1753-01-01", TypeKind::kDateTime), -53690LL * 25920000);
  EXPECT_EQ(conv("20240229", TypeKind::kDate), 45349);
  EXPECT_EQ(conv("Feb 29 2024 11:30PM", TypeKind::kSmallDateTime), 45349LL * 1440 + 23 * 60 + 30);
  EXPECT_EQ(conv("00:00:59.999", TypeKind::kSmallDateTime), 1);
  EXPECT_EQ(conv("13:14:15:010", TypeKind::kTime), ((13 * 60 + 14) * 60 + 15) * 300 + 3);
  for (const auto& bad :
       std::vector<std::pair<std::string, TypeKind>>{{"2023-02-29", TypeKind::kDate},
                                                     {"1752-12-31", TypeKind::kDateTime},
                                                     {"2079-06-07", TypeKind::kSmallDateTime},
                                                     {"25:00", TypeKind::kTime},
                                                     {"yesterday", TypeKind::kDateTime}}) {
    EXPECT_EQ(FailureNumber([&] { conv(bad.first, bad.second); }), 249) << bad.first;
  }
  EXPECT_EQ(FailureNumber([&] {
              ConvertLiteral(Lit(Literal::Kind::kInteger, "1"), Col(TypeKind::kDateTime), "T");
            }),
            257);
}

TEST(AseServerValues, BinaryLiteralsFitTheColumn) {
  auto conv = [](const std::string& hex, const ColumnDefinition& c) {
    return std::get<Binary>(ConvertLiteral(Lit(Literal::Kind::kBinary, hex), c, "T")).bytes;
  };
  EXPECT_EQ(conv("ABC", Col(TypeKind::kVarBinary, false, 4)),
            (std::vector<std::uint8_t>{0x0A, 0xBC}));
  EXPECT_EQ(conv("01", Col(TypeKind::kBinary, false, 3)), (std::vector<std::uint8_t>{1, 0, 0}));
  EXPECT_EQ(conv("010203", Col(TypeKind::kVarBinary, false, 2)), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(conv("", Col(TypeKind::kImage)), (std::vector<std::uint8_t>{0}));
}

TEST(AseServerValues, Utf16OfUtf8) {
  EXPECT_EQ(Utf8ToUtf16Le("aé"), std::string("a\0\xE9\0", 4));
  EXPECT_EQ(Utf8ToUtf16Le("😀"), std::string("\x3D\xD8\x00\xDE", 4));
  EXPECT_EQ(Utf16Length("a😀é"), 4u);
  EXPECT_EQ(Utf8ToUtf16Le("\xFF"), std::string("\xFD\xFF", 2));  // malformed input
}

TEST(AseServerLexer, ABackslashBeforeALineBreakContinuesAString) {
  const auto tokens =
      Tokenize("'C:\\dir\\\nnext' 'a\\\r\nb' 'a\\ \nb' 'keep\\' \"q\\\nr\" [br\\\nkt]");
  ASSERT_EQ(tokens.size(), 7u);
  EXPECT_EQ(tokens[0].text, "C:\\dirnext");
  EXPECT_EQ(tokens[1].text, "ab");       // CR LF goes too
  EXPECT_EQ(tokens[2].text, "a\\ \nb");  // only directly before the break
  EXPECT_EQ(tokens[3].text, "keep\\");
  EXPECT_EQ(tokens[4].text, "qr");        // double-quoted strings alike
  EXPECT_EQ(tokens[5].text, "br\\\nkt");  // names are not strings
  // With quoted_identifier on, "x" is a name and keeps its characters.
  EXPECT_EQ(Tokenize("\"q\\\nr\"", true)[0].text, "q\\\nr");
}

TEST(AseServerParser, JoinsConstantStrings) {
  const auto batch = ParseBatch("insert T values('C:\\d\\' + char(13) + char(10) + N'x', 'y')");
  const auto& v = std::get<InsertStatement>(batch.at(0).statement).values;
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].text, "C:\\d\\\r\nx");
  EXPECT_EQ(v[1].text, "y");
  EXPECT_EQ(FailureNumber([] { ParseBatch("insert T values('a' + 1)"); }), 102);
  EXPECT_EQ(FailureNumber([] { ParseBatch("insert T values('a' + char(300))"); }), 102);
}

TEST(AseServerRowSize, AllpagesRowsCountTheirOverhead) {
  auto col = [](TypeKind kind, bool nullable, int length = 0) {
    return ColumnDefinition{"c", ColumnType{kind, length, 0, 0}, nullable};
  };
  // The documented widest single variable-length column of each page size.
  for (const auto& [page, column] :
       std::vector<std::pair<int, int>>{{2048, 1948}, {4096, 3988}, {16384, 16228}}) {
    const std::vector<ColumnDefinition> one{col(TypeKind::kVarChar, false, column)};
    EXPECT_EQ(WidestRowSize(one), MaxRowSize(page)) << page;
  }
  // Fixed columns only: two bytes of header; bits share bytes.
  const std::vector<ColumnDefinition> fixed{col(TypeKind::kInt, false), col(TypeKind::kBit, false),
                                            col(TypeKind::kBit, false),
                                            col(TypeKind::kChar, false, 10)};
  EXPECT_EQ(RowSize(fixed, {std::int64_t{1}, std::int64_t{1}, std::int64_t{0}, Text{"abc"}}),
            2 + 4 + 1 + 10);
  // NULL takes nothing; unichar counts UTF-16 bytes; text keeps a 16-byte pointer.
  const std::vector<ColumnDefinition> mixed{
      col(TypeKind::kInt, true), col(TypeKind::kUniVarChar, false, 10), col(TypeKind::kText, true)};
  EXPECT_EQ(VariableColumnCount(mixed), 3);
  const int base = 2 + 2 + 4;  // header, row length, offset table
  EXPECT_EQ(RowSize(mixed, {std::monostate{}, Text{"h\xc3\xa9"}, std::monostate{}}), base + 4 + 1);
  EXPECT_EQ(RowSize(mixed, {std::int64_t{7}, Text{"h"}, Text{"memo"}}), base + 4 + 2 + 16 + 1);
  EXPECT_EQ(
      LargeObjectPages(mixed, {std::int64_t{7}, Text{"h"}, Text{std::string(5000, 'm')}}, 2048), 3);
  EXPECT_EQ(LargeObjectPages(mixed, {std::int64_t{7}, Text{"h"}, std::monostate{}}, 2048), 0);
}

TEST(AseServerConfig, ReadsPageSizeMaxPagesAndReplyDelay) {
  const char* good[] = {"s",    "--data",      "/tmp", "--login",          "sa:x", "--page-size",
                        "8192", "--max-pages", "40",   "--reply-delay-us", "500"};
  const ServerConfig config = ParseCommandLine(11, good);
  EXPECT_EQ(config.page_size, 8192);
  EXPECT_EQ(config.max_pages, 40);
  EXPECT_EQ(config.reply_delay_us, 500);
  const ServerConfig plain = ParseCommandLine(5, good);
  EXPECT_EQ(plain.page_size, 2048);
  EXPECT_EQ(plain.max_pages, 0);
  EXPECT_EQ(plain.reply_delay_us, 0);
  for (const char* bad : {"1024", "2k", "-1", ""}) {
    const char* args[] = {"s", "--data", "/tmp", "--login", "sa:x", "--page-size", bad};
    EXPECT_THROW(ParseCommandLine(7, args), std::invalid_argument) << bad;
  }
  const char* negative[] = {"s", "--data", "/tmp", "--login", "sa:x", "--max-pages", "-3"};
  EXPECT_THROW(ParseCommandLine(7, negative), std::invalid_argument);
}

}  // namespace
}  // namespace vq::ase_server
