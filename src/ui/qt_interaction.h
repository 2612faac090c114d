// The Qt side of the interaction interfaces: progress bar, window pointer,
// message and input boxes, the yield to the event loop, and the file-open box.
#pragma once

#include <QCursor>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <optional>
#include <string>

#include "dataaccess/interaction.h"

namespace vq {

// The transfer progress bar, 0 to 100.
class QtProgressBar : public QProgressBar, public ProgressBar {
  Q_OBJECT

 public:
  explicit QtProgressBar(QWidget* parent = nullptr);
  void SetValue(int percent) override;
  int Value() const override { return value(); }
};

// The pointer of one window. The code shows over the whole window and all its
// controls; the default (0) lets each control show its own pointer again.
class QtWindowPointer : public WindowPointer {
 public:
  explicit QtWindowPointer(QWidget* window) : window_(window) {}
  void SetPointer(int code) override;
  int Pointer() const override { return code_; }
  // The window's custom pointer (code 99); without one, 99 shows the arrow.
  void SetCustomCursor(std::optional<QCursor> cursor) { custom_ = std::move(cursor); }
  bool HasCustomCursor() const { return custom_.has_value(); }

 private:
  QPointer<QWidget> window_;
  std::optional<QCursor> custom_;
  int code_ = kPointerDefault;
};

// Message boxes and input boxes as QMessageBox and QInputDialog over `parent`.
class QtUserDialogs : public UserDialogs {
 public:
  explicit QtUserDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  int MsgBox(const std::string& text, int style, const std::string& title) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& default_text) override;

 private:
  QWidget* Owner() const;
  QPointer<QWidget> parent_;
};

// The message texts break lines with lone carriage returns; Qt breaks only at
// line feeds, so CR LF and lone CR become LF for display.
QString DisplayText(const std::string& text);

// Lets Qt repaint and handle input.
class QtYielder : public Yielder {
 public:
  void DoEvents() override;
};

// Asks the user for a file to open.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // The chosen path, or the empty text when the user cancelled. `filter` is in
  // Qt's ";;"-separated syntax; the first entry is selected.
  virtual std::string ChooseFile(QWidget* parent, const std::string& title,
                                 const std::string& filter) = 0;
};

// The file-open box as QFileDialog. The file need not exist.
class QtFileChooser : public FileChooser {
 public:
  std::string ChooseFile(QWidget* parent, const std::string& title,
                         const std::string& filter) override;
};

}  // namespace vq
