#include "ui/qt_interaction.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <algorithm>

namespace vq {

QtProgressBar::QtProgressBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(false);
}

void QtProgressBar::SetValue(int percent) {
  setValue(ProgressShown(percent));
}

void QtWindowPointer::SetPointer(int code) {
  code_ = code;
  if (!window_) return;
  std::optional<QCursor> shape;
  if (code == kPointerHourglass) {
    shape = QCursor(Qt::WaitCursor);
  } else if (code == kPointerCustom) {
    shape = custom_ ? *custom_ : QCursor(Qt::ArrowCursor);
  }
  auto apply = [&](QWidget* w) {
    if (shape) {
      w->setCursor(*shape);
    } else {
      w->unsetCursor();
    }
  };
  apply(window_);
  for (QWidget* child : window_->findChildren<QWidget*>()) {
    if (!child->isWindow() && child->window() == window_) apply(child);
  }
}

QString DisplayText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

QWidget* QtUserDialogs::Owner() const {
  // Boxes belong to the window in front; the connection window may be hidden.
  QWidget* active = QApplication::activeWindow();
  return active ? active : parent_.data();
}

int QtUserDialogs::MsgBox(const std::string& text, int style, const std::string& title) {
  QMessageBox box(Owner());
  box.setWindowTitle(QString::fromStdString(title.empty() ? kApplicationTitle : title));
  box.setTextFormat(Qt::PlainText);
  box.setText(DisplayText(text));
  switch (MsgBoxIcon(style)) {
    case kMsgCritical:
      box.setIcon(QMessageBox::Critical);
      break;
    case kMsgQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case kMsgExclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case kMsgInformation:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
  }
  if (MsgBoxAsksYesNo(style)) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return kAnswerOk;
}

std::string QtUserDialogs::InputBox(const std::string& prompt, const std::string& title,
                                    const std::string& default_text) {
  bool ok = false;
  QString answer = QInputDialog::getText(
      Owner(), QString::fromStdString(title.empty() ? kApplicationTitle : title),
      DisplayText(prompt), QLineEdit::Normal, QString::fromStdString(default_text), &ok);
  return ok ? answer.toStdString() : std::string();
}

void QtYielder::DoEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::string QtFileChooser::ChooseFile(QWidget* parent, const std::string& title,
                                      const std::string& filter) {
  QFileDialog dialog(parent, QString::fromStdString(title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QString::fromStdString(filter));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace vq
