// The in-memory interaction doubles behave as the window's parts do.
#include "dataaccess/memory_interaction.h"

#include <gtest/gtest.h>

namespace vq {
namespace {

TEST(MessageBoxStyle, ButtonsAndIconAreReadFromTheirOwnBits) {
  EXPECT_FALSE(MsgBoxAsksYesNo(kMsgOkOnly));
  EXPECT_TRUE(MsgBoxAsksYesNo(kMsgYesNo));
  EXPECT_TRUE(MsgBoxAsksYesNo(kMsgYesNo + kMsgQuestion));
  EXPECT_FALSE(MsgBoxAsksYesNo(kMsgExclamation));
  EXPECT_EQ(MsgBoxIcon(kMsgYesNo + kMsgQuestion), kMsgQuestion);
  EXPECT_EQ(MsgBoxIcon(kMsgExclamation), kMsgExclamation);
  EXPECT_EQ(MsgBoxIcon(kMsgYesNo), 0);

  ScriptedDialogs dialogs;
  dialogs.yes_no_answers = {kAnswerYes};
  EXPECT_EQ(dialogs.MsgBox("Overwrite?", kMsgYesNo + kMsgQuestion, ""), kAnswerYes);
  EXPECT_EQ(dialogs.MsgBox("Overwrite?", kMsgYesNo, "Overwrite?"), kAnswerNo);  // none left
  EXPECT_EQ(dialogs.MsgBox("Failed", kMsgExclamation, ""), kAnswerOk);
  ASSERT_EQ(dialogs.messages.size(), 3u);
  EXPECT_EQ(dialogs.messages[0].title, kApplicationTitle);
  EXPECT_EQ(dialogs.messages[1].title, "Overwrite?");
}

TEST(MemoryProgressBar, HoldsValuesToTheRangeAsTheWindowsBarDoes) {
  MemoryProgressBar bar;
  bar.SetValue(40);
  EXPECT_EQ(bar.Value(), 40);
  // A share past the end (more rows than counted) shows a full bar, no failure.
  bar.SetValue(150);
  EXPECT_EQ(bar.Value(), 100);
  bar.SetValue(-3);
  EXPECT_EQ(bar.Value(), 0);
  EXPECT_EQ(bar.history, (std::vector<int>{40, 150, -3}));
  EXPECT_EQ(ProgressShown(100), 100);
  EXPECT_EQ(ProgressShown(101), 100);
}

}  // namespace
}  // namespace vq
