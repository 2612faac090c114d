#include "ui/window_logic.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace vq {
namespace {

TEST(CenteredPosition, HalfTheDifferenceOnEachAxis) {
  // A 1920 x 1080 screen at 96 dpi is 28800 x 16200 twips.
  EXPECT_EQ(CenteredPosition(28800, 16200, 8160, 6000), (WindowPosition{10320, 5100}));
  EXPECT_EQ(CenteredPosition(1000, 1000, 1000, 1000), (WindowPosition{0, 0}));
  // Odd differences: halves go to the even neighbour.
  EXPECT_EQ(CenteredPosition(1001, 1003, 0, 0), (WindowPosition{500, 502}));
  // A window larger than the screen sits partly off it, evenly.
  EXPECT_EQ(CenteredPosition(6000, 4000, 8000, 5000), (WindowPosition{-1000, -500}));
  EXPECT_EQ(CenteredPosition(100, 0, 301, 1), (WindowPosition{-100, 0}));
  // Extreme sizes neither overflow nor wrap round.
  WindowPosition far =
      CenteredPosition(std::numeric_limits<int>::max(), 0, std::numeric_limits<int>::min(), 0);
  EXPECT_EQ(far.left, std::numeric_limits<int>::max());
}

TEST(TwipsAndPixels, FifteenTwipsAPixelAtNinetySixDpiScaledByDpi) {
  EXPECT_EQ(PixelsToTwips(1, 96), 15);
  EXPECT_EQ(PixelsToTwips(536, 96), 8040);
  EXPECT_EQ(TwipsToPixels(8040, 96), 536);
  EXPECT_EQ(TwipsToPixels(5520, 96), 368);
  EXPECT_EQ(PixelsToTwips(1, 144), 10);
  EXPECT_EQ(TwipsToPixels(8040, 120), 670);
  EXPECT_EQ(TwipsToPixels(8040, 192), 1072);
  EXPECT_EQ(TwipsToPixels(-1500, 96), -100);
  EXPECT_EQ(TwipsToPixels(7, 96), 0);  // 0.47 of a pixel
  EXPECT_EQ(TwipsToPixels(8, 96), 1);  // 0.53 of a pixel
  // A screen that reports no usable dpi is taken as 96.
  for (double dpi : {0.0, -96.0, std::nan("")}) {
    EXPECT_EQ(PixelsToTwips(10, dpi), 150) << dpi;
    EXPECT_EQ(TwipsToPixels(150, dpi), 10) << dpi;
  }
}

TEST(VisitHomePageOccasionally, OnlyTheDrawSevenLaunchesTheHomePage) {
  std::vector<std::string> launched;
  auto launch = [&](const std::string& url) { launched.push_back(url); };
  auto draw = [](double r) { return [r] { return r; }; };

  EXPECT_TRUE(VisitHomePageOccasionally(launch, draw(0.06)));
  EXPECT_TRUE(VisitHomePageOccasionally(launch, draw(0.0699999)));
  EXPECT_FALSE(VisitHomePageOccasionally(launch, draw(0.0599999)));
  EXPECT_FALSE(VisitHomePageOccasionally(launch, draw(0.07)));
  for (double odd : {1.0, -0.01, 7.0, std::nan("")}) {
    EXPECT_FALSE(VisitHomePageOccasionally(launch, draw(odd))) << odd;
  }
  ASSERT_EQ(launched.size(), 2u);
  EXPECT_EQ(launched[0], HomePageAddress());
  EXPECT_EQ(launched[0], VQ_HOME_PAGE);
}

TEST(VisitHomePageOccasionally, OneDrawInAHundred) {
  int visits = 0;
  for (int i = 0; i < 10000; ++i) {
    double r = i / 10000.0;
    if (VisitHomePageOccasionally([](const std::string&) {}, [r] { return r; })) ++visits;
  }
  EXPECT_EQ(visits, 100);
  for (int i = 0; i < 1000; ++i) {
    double r = ClockSeededRandom();
    ASSERT_TRUE(r >= 0.0 && r < 1.0) << r;
  }
}

// Closing a window while a command waits must not hand control back to it.
TEST(EndProgramNow, NothingAfterItRuns) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        EndProgramNow(0);
        std::fputs("a box after the close", stderr);
        std::exit(3);
      },
      testing::ExitedWithCode(0), "^$");
}

}  // namespace
}  // namespace vq
