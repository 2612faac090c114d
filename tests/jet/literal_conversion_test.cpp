#include "jet/literal_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace jet {
namespace {

Column MakeColumn(uint8_t type, uint16_t length = 0, uint8_t precision = 0, uint8_t scale = 0) {
  Column c;
  c.name = "col";
  c.type = type;
  c.length = length;
  c.precision = precision;
  c.scale = scale;
  return c;
}

Literal Text(std::string s) {
  return {Literal::Kind::kText, std::move(s)};
}
Literal Number(std::string s) {
  return {Literal::Kind::kNumber, std::move(s)};
}
Literal Date(std::string s) {
  return {Literal::Kind::kDate, std::move(s)};
}
Literal Bytes(std::string s) {
  return {Literal::Kind::kBytes, std::move(s)};
}

Value Convert(const Literal& lit, const Column& c, unsigned unit_bytes = 2) {
  Value v;
  ConvertLiteral(lit, c, v, unit_bytes);
  return v;
}

// The error number converting `lit` raises (0 for none), with its message.
int32_t ErrorOf(const Literal& lit, const Column& c, std::string* message = nullptr) {
  try {
    Convert(lit, c);
  } catch (const JetError& e) {
    if (message) *message = e.what();
    return e.Number();
  }
  return 0;
}

int64_t Int(const Literal& lit, uint8_t type) {
  return std::get<int64_t>(Convert(lit, MakeColumn(type)));
}

TEST(LiteralConversion, WholeNumbersAndTheirLimits) {
  EXPECT_EQ(Int(Text("1"), kLong), 1);
  EXPECT_EQ(Int(Text(" -42 "), kLong), -42);
  EXPECT_EQ(Int(Number("1e3"), kLong), 1000);
  EXPECT_EQ(Int(Number("12000e-3"), kInt), 12);
  EXPECT_EQ(Int(Number("-0"), kLong), 0);
  EXPECT_EQ(Int(Literal{Literal::Kind::kTrue, ""}, kLong), -1);
  EXPECT_EQ(Int(Literal{Literal::Kind::kFalse, ""}, kByte), 0);
  // Halves round to even, as Jet's conversions do.
  EXPECT_EQ(Int(Number("2.5"), kLong), 2);
  EXPECT_EQ(Int(Number("3.5"), kLong), 4);
  EXPECT_EQ(Int(Number("-2.5"), kLong), -2);
  EXPECT_EQ(Int(Number("2.5000001"), kLong), 3);
  EXPECT_EQ(Int(Number("0.0000001"), kLong), 0);

  struct Limit {
    uint8_t type;
    const char *low, *high, *below, *above;
  };
  const Limit limits[] = {
      {kByte, "0", "255", "-1", "256"},
      {kByte, "-0.4", "255.4", "-0.6", "255.5"},
      {kInt, "-32768", "32767", "-32769", "32768"},
      {kLong, "-2147483648", "2147483647", "-2147483649", "2147483648"},
      {kBigInt, "-9223372036854775808", "9223372036854775807", "-9223372036854775809",
       "9223372036854775808"},
  };
  for (const Limit& l : limits) {
    const Column c = MakeColumn(l.type);
    EXPECT_EQ(ErrorOf(Number(l.low), c), 0) << l.low;
    EXPECT_EQ(ErrorOf(Number(l.high), c), 0) << l.high;
    EXPECT_EQ(ErrorOf(Number(l.below), c), error_numbers::kDataOverflow) << l.below;
    EXPECT_EQ(ErrorOf(Text(l.above), c), error_numbers::kDataOverflow) << l.above;
  }
  EXPECT_EQ(Int(Number("-9223372036854775808"), kBigInt), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(ErrorOf(Number("1e400"), MakeColumn(kBigInt)), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Number("1" + std::string(100, '0')), MakeColumn(kBigInt)),
            error_numbers::kDataOverflow);

  std::string message;
  Column price = MakeColumn(kLong);
  price.name = "price";
  EXPECT_EQ(ErrorOf(Text("abc"), price, &message), error_numbers::kDataTypeMismatch);
  EXPECT_EQ(message, "The value 'abc' cannot be stored in column 'price' (Long Integer).");
  EXPECT_EQ(ErrorOf(Text("300"), MakeColumn(kByte), &message), error_numbers::kDataOverflow);
  EXPECT_NE(message.find("'300'"), std::string::npos) << message;
  EXPECT_NE(message.find("'col' (Byte)"), std::string::npos) << message;
  EXPECT_NE(message.find("255"), std::string::npos) << message;
  for (const char* bad : {"", " ", "1,5", "1e", "--1", "0x10", "1 2", "Infinity", "nan", "+"})
    EXPECT_EQ(ErrorOf(Text(bad), price), error_numbers::kDataTypeMismatch) << bad;
  EXPECT_EQ(ErrorOf(Bytes("\x01"), price), error_numbers::kDataTypeMismatch);
}

TEST(LiteralConversion, CurrencyAndDecimalAreExact) {
  const Column money = MakeColumn(kMoney);
  auto cy = [&](const Literal& lit) {
    return std::get<Money>(Convert(lit, money)).ten_thousandths;
  };
  EXPECT_EQ(cy(Text("0.1")), 1000);
  EXPECT_EQ(cy(Number("1.23455")), 12346);  // half away from zero
  EXPECT_EQ(cy(Number("-1.23455")), -12346);
  EXPECT_EQ(cy(Number("1.23454999")), 12345);
  EXPECT_EQ(cy(Number("922337203685477.5807")), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(cy(Number("-922337203685477.5808")), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(cy(Number("1.5e-5")), 0);
  EXPECT_EQ(cy(Number("12e2")), 12000000);
  EXPECT_EQ(ErrorOf(Number("922337203685477.58075"), money), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Number("1e15"), money), error_numbers::kDataOverflow);

  const Column dec = MakeColumn(kNumeric, 0, 10, 2);
  Numeric n = std::get<Numeric>(Convert(Number("12345678.905"), dec));
  EXPECT_EQ(n.magnitude, 1234567891u);
  EXPECT_EQ(n.precision, 10);
  EXPECT_EQ(n.scale, 2);
  EXPECT_FALSE(n.negative);
  n = std::get<Numeric>(Convert(Text("-0.004"), dec));
  EXPECT_EQ(n.magnitude, 0u);
  EXPECT_FALSE(n.negative);  // no negative zero
  n = std::get<Numeric>(Convert(Text("-0.005"), dec));
  EXPECT_EQ(n.magnitude, 1u);
  EXPECT_TRUE(n.negative);
  std::string message;
  EXPECT_EQ(ErrorOf(Number("123456789"), dec, &message), error_numbers::kDataOverflow);
  EXPECT_NE(message.find("8 digits"), std::string::npos) << message;
  EXPECT_EQ(ErrorOf(Number("99999999.995"), dec), error_numbers::kDataOverflow);  // rounds up

  const Column widest = MakeColumn(kNumeric, 0, 28, 0);
  const std::string nines(28, '9');
  n = std::get<Numeric>(Convert(Number(nines), widest));
  unsigned __int128 expected = 0;
  for (int k = 0; k < 28; ++k) expected = expected * 10 + 9;
  EXPECT_EQ(n.magnitude, expected);
  EXPECT_EQ(ErrorOf(Number("1" + std::string(28, '0')), widest), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Number("1e99999999999999999999"), widest), error_numbers::kDataOverflow);
  n = std::get<Numeric>(Convert(Number("5e-99999999999999999999"), widest));
  EXPECT_EQ(n.magnitude, 0u);
  n = std::get<Numeric>(Convert(Number("0.5"), MakeColumn(kNumeric, 0, 28, 28)));
  EXPECT_EQ(n.magnitude, (expected + 1) / 2);  // 5 x 10^27
}

TEST(LiteralConversion, SingleAndDouble) {
  const Column dbl = MakeColumn(kDouble);
  const Column sgl = MakeColumn(kFloat);
  EXPECT_EQ(std::get<double>(Convert(Text("0.1"), dbl)), 0.1);
  EXPECT_EQ(std::get<double>(Convert(Number("0.30000000000000004"), dbl)), 0.30000000000000004);
  EXPECT_EQ(std::get<double>(Convert(Number("1.7976931348623157e308"), dbl)),
            std::numeric_limits<double>::max());
  EXPECT_EQ(std::get<double>(Convert(Number("4.9e-324"), dbl)),
            std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(std::get<double>(Convert(Number("1e-400"), dbl)), 0.0);
  const double negative_zero = std::get<double>(Convert(Number("-0"), dbl));
  EXPECT_EQ(negative_zero, 0.0);
  EXPECT_TRUE(std::signbit(negative_zero));
  EXPECT_EQ(std::get<double>(Convert(Text("+2.5E+3"), dbl)), 2500.0);
  EXPECT_EQ(ErrorOf(Number("1e309"), dbl), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Text("inf"), dbl), error_numbers::kDataTypeMismatch);

  // A single keeps what a 4-byte float holds.
  EXPECT_EQ(std::get<double>(Convert(Number("0.1"), sgl)), static_cast<double>(0.1f));
  EXPECT_EQ(ErrorOf(Number("3.4e38"), sgl), 0);
  EXPECT_EQ(ErrorOf(Number("-3.5e38"), sgl), error_numbers::kDataOverflow);
  EXPECT_EQ(std::get<double>(Convert(Number("1e-50"), sgl)), 0.0);
}

// The time a stored date reads back as, the way the program's reader turns
// the double into a day and milliseconds (DateTimeFromOleDays).
struct ReadBack {
  int64_t day;
  int64_t ms;
};
ReadBack Read(double days) {
  const double whole = std::trunc(days);
  int64_t ms = std::llround(std::fabs(days - whole) * 86'400'000.0);
  auto day = static_cast<int64_t>(whole);
  if (ms >= 86'400'000) {
    ms -= 86'400'000;
    day += days < 0 ? -1 : 1;
  }
  return {day, ms};
}

double Days(const Literal& lit) {
  return std::get<OleDate>(Convert(lit, MakeColumn(kDateTime))).days;
}

TEST(LiteralConversion, DatesInEveryFormReadBackExactly) {
  const int64_t leap_day = 45351;  // 2024-02-29
  const int64_t time = ((13 * 60 + 45) * 60 + 30) * 1000;
  for (const Literal& lit :
       {Text("2024-02-29 13:45:30"), Date("2024-02-29 13:45:30"), Date("2/29/2024 1:45:30 PM"),
        Text(" 2024/02/29T13:45:30 "), Date("02/29/24 1:45:30 pm"), Date("2024-2-29 13:45:30.0")}) {
    ReadBack r = Read(Days(lit));
    EXPECT_EQ(r.day, leap_day) << lit.text;
    EXPECT_EQ(r.ms, time) << lit.text;
  }
  EXPECT_EQ(Days(Text("2024-02-29")), 45351.0);
  EXPECT_EQ(Days(Date("12/30/1899")), 0.0);
  EXPECT_EQ(Days(Date("13:45")), (13 * 60 + 45) / 1440.0);
  EXPECT_EQ(Days(Date("12:00 AM")), 0.0);
  EXPECT_EQ(Days(Date("12:00 PM")), 0.5);
  // Before 1899-12-30 the fraction still counts forward.
  EXPECT_EQ(Days(Text("1899-12-29 06:00")), -1.25);
  EXPECT_EQ(Days(Text("1899-12-29")), -1.0);

  // Milliseconds survive, at both ends of the range and either side of the epoch.
  for (const char* text :
       {"2024-02-29 13:45:30.123", "9999-12-31 23:59:59.999", "0100-01-01 00:00:00.001",
        "1800-06-15 12:34:56.789", "1899-12-30 00:00:00.001", "1899-12-29 23:59:59.999"}) {
    const ReadBack r = Read(Days(Text(text)));
    const int ms = std::atoi(text + 20);
    EXPECT_EQ(r.ms % 1000, ms) << text;
  }
  EXPECT_EQ(Read(Days(Text("2024-02-29 13:45:30.123"))).ms, time + 123);
  EXPECT_EQ(Read(Days(Text("1800-06-15 12:34:56.789"))).ms,
            ((12 * 60 + 34) * 60 + 56) * 1000 + 789);
  // A fraction that rounds to the next day.
  EXPECT_EQ(Days(Text("2024-02-28 23:59:59.9999")), 45351.0);

  // Numbers are days.
  EXPECT_EQ(Days(Number("45351.5")), 45351.5);
  EXPECT_EQ(Days(Text("-1.25")), -1.25);

  const Column c = MakeColumn(kDateTime);
  for (const char* bad :
       {"2024-02-30", "2023-02-29", "2024-13-01", "2024-00-10", "24:00", "2024-02-29 25:00",
        "2024-02-29 13:60", "13 PM", "0:30 PM", "2024-02-29 1:5", "yesterday",
        "2024-02-29 13:45:30.", "2024-02-29x", "1/2/3/4", "2024-02-29 13:45 PM PM"})
    EXPECT_EQ(ErrorOf(Text(bad), c), error_numbers::kDataTypeMismatch) << bad;
  std::string message;
  EXPECT_EQ(ErrorOf(Text("2024-02-30"), c, &message), error_numbers::kDataTypeMismatch);
  EXPECT_NE(message.find("'2024-02-30'"), std::string::npos) << message;
  for (const char* far : {"0099-12-31", "10000-01-01", "9999-12-31 23:59:59.9999"})
    EXPECT_NE(ErrorOf(Text(far), c), 0) << far;
  EXPECT_EQ(ErrorOf(Text("0099-12-31"), c), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Number("2958466"), c), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Number("-657435"), c), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Number("-657434.99"), c), 0);

  // Date/Time Extended keeps 100-ns ticks and reaches back to year 1.
  const ExtDateTime ext =
      std::get<ExtDateTime>(Convert(Text("0001-01-02 00:00:00.1234567"), MakeColumn(kExtDateTime)));
  EXPECT_EQ(ext.days, 1);
  EXPECT_EQ(ext.ticks, 1234567);
}

TEST(LiteralConversion, YesNo) {
  const Column c = MakeColumn(kBool);
  auto b = [&](const Literal& lit) { return std::get<bool>(Convert(lit, c)); };
  EXPECT_FALSE(b(Literal{}));  // Jet yes/no columns hold no nulls
  EXPECT_TRUE(b(Literal{Literal::Kind::kTrue, ""}));
  EXPECT_FALSE(b(Literal{Literal::Kind::kFalse, ""}));
  for (const char* yes : {"True", "TRUE", "yes", "1", "-1", " On ", "2.5", "1e-9"})
    EXPECT_TRUE(b(Text(yes))) << yes;
  for (const char* no : {"False", "no", "0", "-0", "0.000", "off"}) EXPECT_FALSE(b(Text(no))) << no;
  EXPECT_TRUE(b(Number("-1")));
  EXPECT_FALSE(b(Number("0")));
  EXPECT_EQ(ErrorOf(Text("maybe"), c), error_numbers::kDataTypeMismatch);
  EXPECT_EQ(ErrorOf(Date("2024-01-01"), c), error_numbers::kDataTypeMismatch);
}

TEST(LiteralConversion, TextCountsUtf16UnitsAgainstTheColumn) {
  const Column name = MakeColumn(kText, 20);  // 10 characters of 2 bytes
  EXPECT_EQ(std::get<std::string>(Convert(Number("-1.50e3"), name)), "-1.50e3");
  EXPECT_EQ(std::get<std::string>(Convert(Text("it's"), name)), "it's");
  EXPECT_EQ(std::get<std::string>(Convert(Text(""), name)), "");
  EXPECT_EQ(std::get<std::string>(Convert(Text("äöüßéèêëçñ"), name)), "äöüßéèêëçñ");
  EXPECT_EQ(ErrorOf(Text("äöüßéèêëçñx"), name), error_numbers::kDataOverflow);
  // A character beyond the BMP takes two units.
  EXPECT_EQ(ErrorOf(Text("123456789😀"), name), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Text("12345678😀"), name), 0);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(Convert(Literal{}, name)));

  std::string message;
  EXPECT_EQ(ErrorOf(Text("abcdefghijk"), name, &message), error_numbers::kDataOverflow);
  EXPECT_EQ(message,
            "The value 'abcdefghijk' is too long for column 'col' (Text): it has 11 characters "
            "and the column holds at most 10.");
  // Jet3 text takes one byte a character.
  EXPECT_NO_THROW(Convert(Text(std::string(20, 'x')), name, 1));
  EXPECT_EQ(
      std::get<std::string>(Convert(Text(std::string(255, 'x')), MakeColumn(kText, 510))).size(),
      255u);
  EXPECT_EQ(ErrorOf(Text(std::string(256, 'x')), MakeColumn(kText, 510)),
            error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Text(std::string(100000, 'x')), MakeColumn(kMemo)), 0);
  for (const char* bad : {"\xff", "a\xc3", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"})
    EXPECT_EQ(ErrorOf(Text(bad), name), error_numbers::kDataTypeMismatch) << bad;
  // The slot's storage is reused, and its old contents replaced.
  Value v = std::string("previous, longer value");
  ConvertLiteral(Text("new"), name, v);
  EXPECT_EQ(std::get<std::string>(v), "new");
}

TEST(LiteralConversion, BinaryAndOle) {
  const Column bin = MakeColumn(kBinary, 4);
  EXPECT_EQ(std::get<Binary>(Convert(Text("0x0102"), bin)), (Binary{1, 2}));
  EXPECT_EQ(std::get<Binary>(Convert(Text("0XaBcD"), bin)), (Binary{0xAB, 0xCD}));
  EXPECT_EQ(std::get<Binary>(Convert(Text("0x"), bin)), Binary{});
  EXPECT_EQ(std::get<Binary>(Convert(Bytes(std::string("\x00\xff", 2)), bin)), (Binary{0, 0xFF}));
  // Other text is kept as its UTF-16LE bytes.
  EXPECT_EQ(std::get<Binary>(Convert(Text("Aé"), bin)), (Binary{0x41, 0, 0xE9, 0}));
  EXPECT_EQ(std::get<Binary>(Convert(Text("😀"), bin)), (Binary{0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(ErrorOf(Text("abc"), bin), error_numbers::kDataOverflow);  // 6 bytes
  EXPECT_EQ(ErrorOf(Bytes("12345"), bin), error_numbers::kDataOverflow);
  EXPECT_EQ(ErrorOf(Text("0x0102030405"), bin), error_numbers::kDataOverflow);
  for (const char* bad : {"0x123", "0xZZ", "0x12G4"})
    EXPECT_EQ(ErrorOf(Text(bad), bin), error_numbers::kDataTypeMismatch) << bad;
  EXPECT_EQ(ErrorOf(Number("1"), bin), error_numbers::kDataTypeMismatch);
  EXPECT_EQ(std::get<Binary>(Convert(Bytes(std::string(100000, 'x')), MakeColumn(kOle))).size(),
            100000u);
}

TEST(LiteralConversion, Guid) {
  const Column c = MakeColumn(kGuid);
  const Guid expected{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC,
                       0xDD, 0xEE, 0xFF}};
  EXPECT_EQ(std::get<Guid>(Convert(Text("{00112233-4455-6677-8899-AABBCCDDEEFF}"), c)), expected);
  EXPECT_EQ(std::get<Guid>(Convert(Text("00112233-4455-6677-8899-aabbccddeeff"), c)), expected);
  for (const char* bad :
       {"{00112233-4455-6677-8899-AABBCCDDEEF}", "00112233445566778899AABBCCDDEEFF",
        "{00112233-4455-6677-8899-AABBCCDDEEFG}", "{00112233+4455-6677-8899-AABBCCDDEEFF}"})
    EXPECT_EQ(ErrorOf(Text(bad), c), error_numbers::kDataTypeMismatch) << bad;
}

TEST(LiteralConversion, NullsAndRequiredColumns) {
  for (uint8_t type : {kByte, kInt, kLong, kBigInt, kMoney, kFloat, kDouble, kDateTime, kText,
                       kMemo, kBinary, kOle, kGuid, kNumeric})
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Convert(Literal{}, MakeColumn(type, 10))));
  const JetError e = NullInRequiredColumnError("qty");
  EXPECT_EQ(e.Number(), error_numbers::kIntegrityViolation);
  EXPECT_NE(std::string(e.what()).find("'qty'"), std::string::npos);
  EXPECT_EQ(ErrorOf(Text("1"), MakeColumn(kComplex)), error_numbers::kNotSupported);
}

}  // namespace
}  // namespace jet
