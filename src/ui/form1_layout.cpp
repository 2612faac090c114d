// The connection window's controls, as designed: positions and sizes in twips
// relative to their container, and the keyboard order.
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/form1.h"
#include "ui/form_metrics.h"

namespace vq {

void Form1::BuildControls() {
  setObjectName(QStringLiteral("Form1"));
  MakeFixedWindow(*this, 8040, 5520);
  SetBackground(*this, Qt::white);

  frame1_ = MakeGroupBox(this, "Frame1", QStringLiteral("Access Database"), 120, 120, 7800, 1845);
  QLabel* label5 =
      MakeLabel(frame1_, "Label5", QStringLiteral("MDB or ACCDB File:"), 240, 345, 1935, 255);
  QLineEdit* text1 = MakeField(frame1_, "Text1", 2280, 300, 4695, 345);
  buttons_[1] = MakeButton(frame1_, "PushButton1", QStringLiteral("..."), 7080, 300, 450, 345);
  QLabel* lbl_password = MakeLabel(frame1_, "lblPassword",
                                   QStringLiteral("Password (if required):"), 240, 840, 1950, 225);
  QLineEdit* text2 = MakeField(frame1_, "Text2", 2280, 800, 5265, 345);
  text2->setEchoMode(QLineEdit::Password);
  // Show the masked characters as "*", as the designed field does.
  text2->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  buttons_[7] = MakeButton(frame1_, "PushButton7", QStringLiteral("Load Sample/Example Database"),
                           240, 1260, 7275, 405);

  frame2_ =
      MakeGroupBox(this, "Frame2", QStringLiteral("Sybase ASE Database"), 120, 2040, 7800, 2850);
  QLabel* label2 = MakeLabel(frame2_, "Label2", QStringLiteral("Server:"), 240, 405, 855, 255);
  QLineEdit* text3 = MakeField(frame2_, "Text3", 1440, 360, 4215, 345);
  QLabel* label6 = MakeLabel(frame2_, "Label6", QStringLiteral("Port:"), 5880, 405, 495, 255);
  QLineEdit* text4 = MakeField(frame2_, "Text4", 6480, 360, 1095, 345);
  QLabel* label1 = MakeLabel(frame2_, "Label1", QStringLiteral("User:"), 240, 885, 855, 255);
  QLineEdit* text5 = MakeField(frame2_, "Text5", 1440, 840, 6135, 345);
  QLabel* label3 = MakeLabel(frame2_, "Label3", QStringLiteral("Password:"), 240, 1365, 975, 255);
  QLineEdit* text6 = MakeField(frame2_, "Text6", 1440, 1320, 6135, 345);
  QLabel* label4 = MakeLabel(frame2_, "Label4", QStringLiteral("Database:"), 240, 1845, 855, 255);
  QLineEdit* text7 = MakeField(frame2_, "Text7", 1440, 1800, 6135, 345);
  buttons_[2] =
      MakeButton(frame2_, "PushButton2", QStringLiteral("Test Connection"), 240, 2280, 3600, 405);
  buttons_[3] = MakeButton(frame2_, "PushButton3", QStringLiteral("Help"), 3960, 2280, 3600, 405);
  buttons_[4] = MakeButton(this, "PushButton4", QStringLiteral("Next >"), 120, 5010, 7800, 405);

  fields_ = {text1, text2, text3, text4, text5, text6, text7};

  SetTabOrder({text3, text4, text5, text6, text7, buttons_[2], buttons_[3], buttons_[4], text1,
               text2, buttons_[1], buttons_[7]});

  feedback_->WatchSurface(*this);
  feedback_->WatchSurface(*frame1_);
  feedback_->WatchSurface(*frame2_);
  for (QLineEdit* field : fields_) feedback_->WatchSurface(*field);
  for (int b : {1, 2, 3, 4, 7}) feedback_->WatchButton(*buttons_[b]);
  for (QLabel* label : {label5, lbl_password, label2, label6, label1, label3, label4}) {
    feedback_->Ignore(*label);
    SetBackground(*label, Qt::white);
  }
  SetBackground(*frame1_, Qt::white);
  SetBackground(*frame2_, Qt::white);
}

}  // namespace vq
