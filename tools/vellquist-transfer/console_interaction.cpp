#include "console_interaction.h"

#include "dataaccess/error_report.h"
#include "transfer/transfer.h"

namespace vq::tools {

std::string ConsoleLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out += '\n';
    }
  }
  return out;
}

int ConsoleDialogs::MsgBox(const std::string& text, int style, const std::string& title) {
  ++shown_;
  if (title == kErrorReportTitle) {
    ++reports_;
    err_ << kErrorReportTitle << ":\n" << ConsoleLines(text) << "\n\n";
    return kAnswerOk;
  }
  if (title == kFailureRunTitle) {
    // Nobody is there to decide: the table stops, and the rest go on.
    err_ << ConsoleLines(text) << " no: vellquist-transfer sends no more rows of this table\n";
    return kAnswerNo;
  }
  if (MsgBoxAsksYesNo(style)) {
    const bool yes = overwrite_.value_or(false);
    err_ << ConsoleLines(text) << (yes ? " yes" : " no");
    if (!overwrite_) err_ << " (--overwrite yes replaces it)";
    err_ << "\n";
    return yes ? kAnswerYes : kAnswerNo;
  }
  err_ << ConsoleLines(text) << "\n";
  return kAnswerOk;
}

std::string ConsoleDialogs::InputBox(const std::string& prompt, const std::string& /*title*/,
                                     const std::string& /*default_text*/) {
  ++shown_;
  std::string answer = input_answer_.value_or("");
  input_answer_.reset();
  err_ << prompt << " " << answer << "\n";
  return answer;
}

void ConsoleProgressBar::SetValue(int percent) {
  const int shown = ProgressShown(percent);
  if (terminal_ && shown != value_) {
    // Back at 0 the line is cleared for whatever is printed next.
    if (shown == 0) {
      err_ << "\r     \r";
    } else {
      err_ << "\r" << shown << "%";
    }
    err_.flush();
  }
  value_ = shown;
}

}  // namespace vq::tools
