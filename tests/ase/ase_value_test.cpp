#include "ase/ase_value.h"

#include <gtest/gtest.h>

#include "ase/ase_error.h"

namespace vq::ase {
namespace {

DateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, uint32_t ns = 0) {
  return DateTime{y,
                  static_cast<uint8_t>(mo),
                  static_cast<uint8_t>(d),
                  static_cast<uint8_t>(h),
                  static_cast<uint8_t>(mi),
                  static_cast<uint8_t>(s),
                  ns};
}

TEST(MoneyTest, JoinsTheHalvesExactlyAtBothEnds) {
  EXPECT_EQ(MoneyFromHalves(0, 123456).ten_thousandths, 123456);
  EXPECT_EQ(MoneyFromHalves(-1, 0xFFFFFFFFu - 99).ten_thousandths, -100);
  EXPECT_EQ(MoneyFromHalves(0x7FFFFFFF, 0xFFFFFFFFu).ten_thousandths,
            INT64_MAX);  // 922337203685477.5807
  EXPECT_EQ(MoneyFromHalves(INT32_MIN, 0).ten_thousandths, INT64_MIN);
  EXPECT_EQ(MoneyFromHalves(1, 0).ten_thousandths, int64_t{1} << 32);
}

TEST(DateTimeTest, DaysAndTicksGiveTheCalendarToTheServersPrecision) {
  EXPECT_EQ(DateTimeFromDaysTicks(0, 0), Dt(1900, 1, 1));
  // The oldest and newest datetime values.
  EXPECT_EQ(DateTimeFromDaysTicks(-53690, 0), Dt(1753, 1, 1));
  EXPECT_EQ(DateTimeFromDaysTicks(2958463, 25919999), Dt(9999, 12, 31, 23, 59, 59, 996666700));
  // Ticks are thirds of a hundredth: each lands on the nearest 100 ns.
  EXPECT_EQ(DateTimeFromDaysTicks(0, 1).nanosecond, 3333300u);
  EXPECT_EQ(DateTimeFromDaysTicks(0, 2).nanosecond, 6666700u);
  EXPECT_EQ(DateTimeFromDaysTicks(0, 3).nanosecond, 10000000u);
  EXPECT_EQ(DateTimeFromDaysTicks(45000, 300 * 3723), Dt(2023, 3, 17, 1, 2, 3));
  // Leap day.
  EXPECT_EQ(DateTimeFromDaysTicks(36583, 0), Dt(2000, 2, 29));
}

TEST(DateTimeTest, DatesTimesAndBigDateTimes) {
  EXPECT_EQ(DateFromDays(-693595), Dt(1, 1, 1));
  EXPECT_EQ(DateFromDays(2958463), Dt(9999, 12, 31));
  EXPECT_EQ(TimeFromTicks(300 * 3600 * 13 + 300 * 60 * 5 + 300 * 7 + 1),
            Dt(1899, 12, 30, 13, 5, 7, 3333300));
  EXPECT_EQ(DateTimeFromBigMicros(0), Dt(0, 1, 1));
  uint64_t days_to_2024 =
      static_cast<uint64_t>(DaysFromCivil(2024, 6, 30) - DaysFromCivil(0, 1, 1));
  EXPECT_EQ(DateTimeFromBigMicros(days_to_2024 * 86'400'000'000ULL + 1'000'001ULL),
            Dt(2024, 6, 30, 0, 0, 1, 1000));
  EXPECT_EQ(TimeFromBigMicros(3'600'000'000ULL + 5), Dt(1899, 12, 30, 1, 0, 0, 5000));
}

TEST(NumericTest, ReadsDecimalTextExactlyUpToThirtyEightDigits) {
  Numeric n = NumericFromText("-1234.5600");
  EXPECT_TRUE(n.negative);
  EXPECT_EQ(n.scale, 4);
  EXPECT_EQ(n.magnitude, static_cast<unsigned __int128>(12345600));
  Numeric big = NumericFromText("99999999999999999999999999999999999999");
  unsigned __int128 expect = 0;
  for (int i = 0; i < 38; ++i) expect = expect * 10 + 9;
  EXPECT_EQ(big.magnitude, expect);
  EXPECT_EQ(big.scale, 0);
  Numeric tiny = NumericFromText(".00000000000000000000000000000000000001");
  EXPECT_EQ(tiny.magnitude, static_cast<unsigned __int128>(1));
  EXPECT_EQ(tiny.scale, 38);
  EXPECT_FALSE(NumericFromText("-0.00").negative);
  EXPECT_EQ(NumericFromText(" 00012 ").magnitude, static_cast<unsigned __int128>(12));
  for (const char* bad :
       {"", "-", "1e5", "12a", "1.2.3", "999999999999999999999999999999999999999"}) {
    EXPECT_THROW(NumericFromText(bad), AseError) << bad;
  }
}

TEST(RealTest, SinglePrecisionReadsAsItsShortestText) {
  EXPECT_EQ(DoubleFromReal(3.14f), 3.14);
  EXPECT_EQ(DoubleFromReal(-1.5e-7f), -1.5e-7);
  EXPECT_EQ(DoubleFromReal(16777216.0f), 16777216.0);
}

}  // namespace
}  // namespace vq::ase
