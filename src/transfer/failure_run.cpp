// The question a transfer asks when many rows of one table fail alike, so that
// a full segment or a column every row overflows gives one box, not one a row.
#include <string>

#include "transfer/row_sender.h"
#include "transfer/steps.h"
#include "transfer/transfer.h"

namespace vq {

std::string FailureRunQuestion(const std::string& table) {
  return "The last " + std::to_string(RowSender::kFailureRun) + " rows of " + table +
         " failed with the same error. Go on sending " + table + "?";
}

bool AskToGoOn(Steps& steps, UserDialogs& dialogs, int step, const std::string& table) {
  int answer = kAnswerYes;
  steps.Do(step, [&] {
    answer = dialogs.MsgBox(FailureRunQuestion(table), kMsgYesNo + kMsgQuestion, kFailureRunTitle);
  });
  return answer != kAnswerNo;
}

}  // namespace vq
