#include "dataaccess/error_report.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

#include "dataaccess/error.h"
#include "dataaccess/memory_interaction.h"

namespace vq {
namespace {

const std::string kRequest =
    std::string("Please email screenshot of this message to ") + VQ_SUPPORT_EMAIL;

[[noreturn]] void Fail(const std::string& description) {
  throw DatabaseError(errors::kUnspecified, description);
}

TEST(ErrorReportText, UniformTransferAndListerVariantsByteForByte) {
  const std::string location = LocationLiteral("Form2", "PushButton3_Click");
  EXPECT_EQ(location, "in Quellmark7/29/2014.Form2.PushButton3_Click ");
  EXPECT_STREQ(SupportEmail(), VQ_SUPPORT_EMAIL);
  EXPECT_NE(std::string(SupportEmail()).find('@'), std::string::npos);

  EXPECT_EQ(
      ComposeErrorReport("Disk full", location, 142),
      "Disk full\r\nin Quellmark7/29/2014.Form2.PushButton3_Click at line 142\r\r" + kRequest);
  EXPECT_EQ(ComposeErrorReport("", LocationLiteral("Form1", "Form_Load"), 100),
            "\r\nin Quellmark7/29/2014.Form1.Form_Load at line 100\r\r" + kRequest);
  EXPECT_EQ(ComposeTransferErrorReport("Bad value", location, 228, "INSERT INTO [t] VALUES(1)"),
            "Bad value\r\nin Quellmark7/29/2014.Form2.PushButton3_Click at line 228\r\r" +
                kRequest + "\r\rsql: INSERT INTO [t] VALUES(1)");
  EXPECT_TRUE(ComposeTransferErrorReport("x", location, 100, "").ends_with(kRequest + "\r\rsql: "));
  EXPECT_EQ(ComposeListerReport("Not a valid password.", -2147217843),
            "Not a valid password. (Error Number = -2147217843)");
  EXPECT_EQ(ComposeListerReport("", 3044), " (Error Number = 3044)");
}

TEST(StepTrap, FailingStepIsReportedAndTheHandlerGoesOn) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton12_Click");
  std::vector<int> ran;
  EXPECT_FALSE(trap.Step(100, [&] { Fail("first"); }));
  EXPECT_TRUE(trap.Step(102, [&] { ran.push_back(102); }));
  EXPECT_FALSE(trap.Step(104, [&] { throw std::runtime_error("plain failure"); }));
  EXPECT_TRUE(trap.Step(106, [&] { ran.push_back(106); }));

  EXPECT_EQ(ran, (std::vector<int>{102, 106}));
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(trap.Failures(), 2);
  for (const auto& box : dialogs.messages) {
    EXPECT_EQ(box.style, 48);
    EXPECT_EQ(box.title, "Application Error");
  }
  EXPECT_EQ(dialogs.messages[0].text,
            ComposeErrorReport("first", "in Quellmark7/29/2014.Form2.PushButton12_Click ", 100));
  EXPECT_EQ(dialogs.messages[1].text, ComposeErrorReport("plain failure", trap.Location(), 104));
}

TEST(StepTrap, FailedTestRunsTheBlockItGoverns) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form1", "PushButton4_Click");
  EXPECT_TRUE(trap.Test(102, [&]() -> bool { Fail("cannot tell"); }));
  EXPECT_FALSE(trap.Test(104, [] { return false; }));
  EXPECT_TRUE(trap.Test(106, [] { return true; }));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("at line 102\r\r"), std::string::npos);
}

TEST(StepTrap, FailedWhileHeadRunsTheBodyButNeverLoopsForever) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton4_Click");
  // Fails once, then counts down normally.
  int left = 2, evaluations = 0, passes = 0;
  while (trap.Loop(120, [&] {
    if (++evaluations == 1) Fail("once");
    return left-- > 0;
  })) {
    ++passes;
  }
  EXPECT_EQ(passes, 3);  // the failed head's pass, then two real ones
  EXPECT_EQ(trap.Failures(), 1);

  // A head that always fails: one pass, two reports, done.
  passes = 0;
  while (trap.Loop(130, []() -> bool { Fail("never readable"); })) ++passes;
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(trap.Failures(), 3);

  // Nested heads that both always fail still end.
  int inner_passes = 0;
  passes = 0;
  while (trap.Loop(140, []() -> bool { Fail("outer"); })) {
    ++passes;
    while (trap.Loop(142, []() -> bool { Fail("inner"); })) ++inner_passes;
  }
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(inner_passes, 1);

  // The same loop entered again later starts afresh.
  passes = 0;
  while (trap.Loop(130, []() -> bool { Fail("again"); })) ++passes;
  EXPECT_EQ(passes, 1);
}

TEST(StepTrap, CountedLoopPassesInOrderAndGoesOnAfterFailingPasses) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton3_Click");
  std::vector<int> seen;
  int i = -7;
  trap.For(
      122, i, [] { return 4; }, [] { return 0; },
      [&] {
        trap.Step(124, [&] {
          if (i == 2) Fail("entry 2");
          seen.push_back(i);
        });
      },
      -1);
  EXPECT_EQ(seen, (std::vector<int>{4, 3, 1, 0}));
  EXPECT_EQ(i, -1);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("at line 124"), std::string::npos);

  seen.clear();
  int j = 0;
  trap.For(
      150, j, [] { return 0; }, [] { return -1; }, [&] { seen.push_back(j); });
  EXPECT_TRUE(seen.empty());  // an empty range runs no pass
  EXPECT_EQ(j, 0);

  trap.For(
      160, j, [] { return 2147483646; }, [] { return 2147483647; }, [&] { seen.push_back(j); });
  EXPECT_EQ(seen, (std::vector<int>{2147483646, 2147483647}));
}

TEST(StepTrap, CountedLoopOverRowsTakesSixtyFourBitBounds) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton4_Click");
  // A row count past 2^32, as RecordCount may give.
  const int64_t count = (int64_t{1} << 32) + 2;
  std::vector<int64_t> seen;
  int64_t k = 0;
  trap.For(
      214, k, [&] { return count - 3; }, [&] { return count - 1; }, [&] { seen.push_back(k); });
  EXPECT_EQ(seen, (std::vector<int64_t>{count - 3, count - 2, count - 1}));
  EXPECT_EQ(k, count);
  EXPECT_EQ(trap.Failures(), 0);

  // The last value of int64_t ends the loop instead of wrapping round.
  seen.clear();
  trap.For(
      216, k, [] { return INT64_MAX - 1; }, [] { return INT64_MAX; }, [&] { seen.push_back(k); });
  EXPECT_EQ(seen, (std::vector<int64_t>{INT64_MAX - 1, INT64_MAX}));
  EXPECT_EQ(trap.Failures(), 0);

  // An int counter cannot take such a bound: the head fails, the body runs once.
  int i = 3, passes = 0;
  trap.For(
      218, i, [] { return 0; }, [&] { return count - 1; }, [&] { ++passes; });
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(i, 3);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].text.find("does not fit"), std::string::npos);
  EXPECT_NE(dialogs.messages[0].text.find("at line 218"), std::string::npos);
}

TEST(StepTrap, StepsRunTheCallableInPlace) {
  // Move-only callables: a step holds its body by reference and copies
  // nothing (a std::function would have to copy it onto the heap).
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton3_Click");
  auto owned = std::make_unique<int>(5);
  int sum = 0;
  EXPECT_TRUE(trap.Step(100, [&, p = std::move(owned)] { sum += *p; }));
  auto flag = std::make_unique<bool>(true);
  EXPECT_TRUE(trap.Test(102, [f = std::move(flag)] { return *f; }));
  int rounds = 0;
  auto more = [&, l = std::make_unique<int>(2)] { return rounds < *l; };
  while (trap.Loop(104, more)) ++rounds;
  EXPECT_EQ(sum, 5);
  EXPECT_EQ(rounds, 2);
  EXPECT_EQ(trap.Failures(), 0);
}

TEST(StepTrap, CountedLoopWhoseBoundsFailRunsTheBodyOnce) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton10_Click");
  int i = 5, passes = 0, seen = -1;
  trap.For(
      100, i, [] { return 0; }, []() -> int { Fail("ListCount unreadable"); },
      [&] {
        ++passes;
        seen = i;
      });
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(seen, 5);  // the counter as it stood
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text,
            ComposeErrorReport("ListCount unreadable", trap.Location(), 100));

  passes = 0;
  trap.For(
      102, i, [] { return 0; }, [] { return 3; }, [&] { ++passes; }, 0);
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(trap.Failures(), 2);
}

TEST(StepTrap, TransferVariantShowsTheStatementAsItIsAtTheFailure) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton4_Click");
  std::string sql;
  trap.TrackStatement(&sql);
  trap.Step(112, [&] { Fail("cannot open"); });
  sql = "CREATE TABLE `T`(";
  trap.Step(150, [&] {
    sql += "`A` TEXT";
    Fail("half built");
  });
  sql = "INSERT INTO `T` VALUES('x')";
  trap.Step(200, [&] { Fail("refused"); });

  ASSERT_EQ(dialogs.messages.size(), 3u);
  EXPECT_TRUE(dialogs.messages[0].text.ends_with("\r\rsql: ")) << dialogs.messages[0].text;
  EXPECT_EQ(dialogs.messages[1].text, ComposeTransferErrorReport("half built", trap.Location(), 150,
                                                                 "CREATE TABLE `T`(`A` TEXT"));
  EXPECT_EQ(dialogs.messages[2].text, ComposeTransferErrorReport("refused", trap.Location(), 200,
                                                                 "INSERT INTO `T` VALUES('x')"));
}

TEST(StepTrap, ReadGivesTheFallbackWhenItFails) {
  ScriptedDialogs dialogs;
  StepTrap trap(dialogs, "Form2", "PushButton8_Click");
  EXPECT_EQ(trap.Read(
                100, [] { return 12; }, 0),
            12);
  EXPECT_EQ(trap.Read(
                102, []() -> int { Fail("no list"); }, -1),
            -1);
  EXPECT_EQ(trap.Read<std::string>(
                104, [] { return std::string("t"); }, ""),
            "t");
  EXPECT_EQ(trap.Failures(), 1);
}

}  // namespace
}  // namespace vq
