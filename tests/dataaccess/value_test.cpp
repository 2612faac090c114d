#include "dataaccess/value.h"

#include <gtest/gtest.h>

#include <limits>

namespace vq {
namespace {

TEST(ValueText, ScalarsReadTheSameEverywhere) {
  EXPECT_EQ(ToText(Value{}), "");
  EXPECT_EQ(ToText(Value{true}), "True");
  EXPECT_EQ(ToText(Value{false}), "False");
  EXPECT_EQ(ToText(Value{int64_t{-9223372036854775807LL - 1}}), "-9223372036854775808");
  EXPECT_EQ(ToText(Value{0.1}), "0.1");
  EXPECT_EQ(ToText(Value{-2.5}), "-2.5");
  EXPECT_EQ(ToText(Value{1e300}), "1e+300");
  EXPECT_EQ(ToText(Value{std::string("it's")}), "it's");
  EXPECT_EQ(ToText(Value{Bytes{{0x00, 0xAB, 0x7f}}}), "0x00AB7F");
}

TEST(ValueText, CurrencyAndDecimalAreExactWithoutTrailingZeros) {
  EXPECT_EQ(CurrencyToText({12345}), "1.2345");
  EXPECT_EQ(CurrencyToText({10000}), "1");
  EXPECT_EQ(CurrencyToText({-50}), "-0.005");
  EXPECT_EQ(CurrencyToText({std::numeric_limits<int64_t>::min()}), "-922337203685477.5808");
  Decimal d;
  d.magnitude = 12340;
  d.scale = 3;
  EXPECT_EQ(DecimalToText(d), "12.34");
  d.negative = true;
  d.magnitude = 5;
  d.scale = 10;
  EXPECT_EQ(DecimalToText(d), "-0.0000000005");
  Decimal big;
  big.magnitude = 1;
  for (int i = 0; i < 38; ++i) big.magnitude *= 10;
  big.magnitude -= 1;  // 38 nines
  EXPECT_EQ(DecimalToText(big), std::string(38, '9'));
  Decimal zero;
  zero.negative = true;
  zero.scale = 2;
  EXPECT_EQ(DecimalToText(zero), "0");
}

// Magnitudes past 2^64 are printed in chunks of nineteen digits; zeros inside
// a chunk must stay.
TEST(ValueText, DecimalsBeyondSixtyFourBitsKeepEveryDigit) {
  auto pow10 = [](int n) {
    unsigned __int128 v = 1;
    while (n-- > 0) v *= 10;
    return v;
  };
  auto text = [](unsigned __int128 magnitude, uint8_t scale) {
    Decimal d;
    d.magnitude = magnitude;
    d.scale = scale;
    return DecimalToText(d);
  };
  EXPECT_EQ(text(pow10(19), 0), "1" + std::string(19, '0'));
  EXPECT_EQ(text(pow10(20) + 1, 0), "1" + std::string(19, '0') + "1");
  EXPECT_EQ(text(static_cast<unsigned __int128>(UINT64_MAX) + 1, 0), "18446744073709551616");
  EXPECT_EQ(text(3 * pow10(38) + 7, 0), "3" + std::string(37, '0') + "7");  // near 2^128
  EXPECT_EQ(text(pow10(38) + 50, 38), "1.0000000000000000000000000000000000005");
  EXPECT_EQ(text(pow10(37), 38), "0.1");
  // AppendText appends the same text ToText gives.
  std::string out = "x=";
  AppendText(out, Value{Decimal{pow10(25) + 3, 2, true}});
  EXPECT_EQ(out, "x=-" + ToText(Value{Decimal{pow10(25) + 3, 2, false}}));
  EXPECT_EQ(out, "x=-100000000000000000000000.03");
}

TEST(ValueText, GuidPrintsInBraces) {
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 17);
  EXPECT_EQ(GuidToText(g), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}

TEST(OleDates, EpochNeighboursAndOldDates) {
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(0)), "1899-12-30 00:00:00");
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(2.5)), "1900-01-01 12:00:00");
  // Below the epoch the fraction is still the time of day.
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(-1.25)), "1899-12-29 06:00:00");
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(-657434)), "0100-01-01 00:00:00");
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(2958465.99999)), "9999-12-31 23:59:59.136");
  // One third of a day is 08:00 after rounding, not 07:59:59.999.
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(1.0 / 3.0)), "1899-12-30 08:00:00");
  for (double days : {-657434.5, -1.25, 0.0, 1.75, 45000.125}) {
    EXPECT_DOUBLE_EQ(OleDaysFromDateTime(DateTimeFromOleDays(days)), days) << days;
  }
}

TEST(OleDates, TimesThatRoundToMidnightStartTheNextDayOnBothSidesOfTheEpoch) {
  // 23:59:59.99999 rounds to the following midnight, which below the epoch
  // is the day nearer to it: 1899-12-29 23:59:59.99999 is -1.99999999988.
  const double almost_a_day = 1 - 0.00001 / 86400;
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(-1 - almost_a_day)), "1899-12-30 00:00:00");
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(-0.0 - almost_a_day)), "1899-12-31 00:00:00");
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(-36523 - almost_a_day)), "1800-01-01 00:00:00");
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(1 + almost_a_day)), "1900-01-01 00:00:00");
  // Just short of rounding up, the day stays.
  EXPECT_EQ(DateTimeToText(DateTimeFromOleDays(-1.999994)), "1899-12-29 23:59:59.482");
}

TEST(CivilDays, TheSharedDayCountAgreesWithEveryEpoch) {
  EXPECT_EQ(DaysFromCivil(1, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(1899, 12, 30), 693593);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);  // a leap day
  EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);  // none in 1900
  for (int64_t day : {int64_t{0}, int64_t{693593}, int64_t{730179}, int64_t{3652058}}) {
    int32_t y = 0;
    uint8_t m = 0, d = 0;
    CivilFromDays(day, y, m, d);
    EXPECT_EQ(DaysFromCivil(y, m, d), day);
  }
}

}  // namespace
}  // namespace vq
