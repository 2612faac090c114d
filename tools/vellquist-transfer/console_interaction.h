// The interaction interfaces on a console: every box is written to a stream
// (standard error), the overwrite question is answered from the command line,
// the input box from a scripted answer, and the progress bar is drawn on one
// line when that stream is a terminal.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "dataaccess/interaction.h"

namespace vq::tools {

// Message and input boxes that print what they show and answer for the user.
class ConsoleDialogs : public UserDialogs {
 public:
  // `overwrite` answers every overwrite question; without it they are answered
  // No. The question after a run of failed rows is always answered No.
  ConsoleDialogs(std::ostream& err, std::optional<bool> overwrite)
      : err_(err), overwrite_(overwrite) {}

  int MsgBox(const std::string& text, int style, const std::string& title) override;
  // Answers with the text set by SetInputAnswer, then with the empty text.
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& default_text) override;

  void SetInputAnswer(std::string answer) { input_answer_ = std::move(answer); }
  // How many error reports (boxes titled "Application Error") were shown.
  int Reports() const { return reports_; }
  // How many boxes of any kind were shown.
  int Shown() const { return shown_; }

 private:
  std::ostream& err_;
  std::optional<bool> overwrite_;
  std::optional<std::string> input_answer_;
  int reports_ = 0;
  int shown_ = 0;
};

// A progress bar drawn as "NN%" on one line of a terminal, or not at all.
class ConsoleProgressBar : public ProgressBar {
 public:
  ConsoleProgressBar(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}
  void SetValue(int percent) override;
  int Value() const override { return value_; }

 private:
  std::ostream& err_;
  bool terminal_;
  int value_ = 0;
};

// A pointer nobody sees.
class ConsolePointer : public WindowPointer {
 public:
  void SetPointer(int code) override { code_ = code; }
  int Pointer() const override { return code_; }

 private:
  int code_ = kPointerDefault;
};

// Nothing waits to be served on a console.
class ConsoleYielder : public Yielder {
 public:
  void DoEvents() override {}
};

// `text` with the boxes' line breaks (CR LF, or CR alone) as plain line feeds.
std::string ConsoleLines(const std::string& text);

}  // namespace vq::tools
