// The tables window's controls, as designed: positions and sizes in twips
// relative to their container, and the keyboard order.
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "ui/form2.h"
#include "ui/form_metrics.h"

namespace vq {

void Form2::BuildControls() {
  setObjectName(QStringLiteral("Form2"));
  MakeFixedWindow(*this, 8040, 5505);

  frame1_ = MakeGroupBox(this, "Frame1", QStringLiteral("Access Tables"), 120, 120, 3840, 4215);
  list1_ = new QtTableList(frame1_);
  list1_->setFont(FieldFont());
  Place(*list1_, "List1", 240, 360, 3330, 1635);
  buttons_[10] =
      MakeButton(frame1_, "PushButton10", QStringLiteral("Select All"), 240, 2100, 1600, 400);
  buttons_[11] =
      MakeButton(frame1_, "PushButton11", QStringLiteral("Deselect All"), 1960, 2100, 1600, 400);
  buttons_[3] = MakeButton(frame1_, "PushButton3", QStringLiteral("Send Table/s To Sybase ASE"),
                           240, 2600, 3330, 400);
  buttons_[1] =
      MakeButton(frame1_, "PushButton1", QStringLiteral("Delete Table/s"), 240, 3100, 3330, 400);
  buttons_[6] =
      MakeButton(frame1_, "PushButton6", QStringLiteral("Rename Table"), 240, 3600, 3330, 400);

  frame2_ =
      MakeGroupBox(this, "Frame2", QStringLiteral("Sybase ASE Tables"), 4080, 120, 3840, 4215);
  list2_ = new QtTableList(frame2_);
  list2_->setFont(FieldFont());
  Place(*list2_, "List2", 240, 360, 3330, 1635);
  buttons_[8] =
      MakeButton(frame2_, "PushButton8", QStringLiteral("Select All"), 240, 2100, 1600, 400);
  buttons_[9] =
      MakeButton(frame2_, "PushButton9", QStringLiteral("Deselect All"), 1960, 2100, 1600, 400);
  buttons_[4] = MakeButton(frame2_, "PushButton4", QStringLiteral("Send Table/s To Access"), 240,
                           2600, 3330, 400);
  buttons_[5] =
      MakeButton(frame2_, "PushButton5", QStringLiteral("Delete Table/s"), 240, 3100, 3330, 400);
  buttons_[7] =
      MakeButton(frame2_, "PushButton7", QStringLiteral("Rename Table"), 240, 3600, 3330, 400);

  // Under the two lists, in the band between the group boxes' last buttons
  // and the progress bar; it sits on the Access box's lower edge the way a
  // group box's title sits on its upper one.
  check1_ = new QCheckBox(QStringLiteral("Keep column types"), this);
  check1_->setFont(FieldFont());
  check1_->setAutoFillBackground(true);
  check1_->setToolTip(QStringLiteral(
      "Checked: tables are created with the source's column types, NOT NULL and primary key. "
      "Unchecked: the columns are created as text, as before."));
  // It keeps no object name: the window's designed controls are the named
  // ones, and it reaches the commands through KeepColumnTypes(). Tab still
  // reaches it, after "Help".
  Place(*check1_, "", 360, 4150, 2400, 300);

  progress_ = new QtProgressBar(this);
  Place(*progress_, "ProgressBar1", 120, 4460, 7800, 405);
  buttons_[2] = MakeButton(this, "PushButton2", QStringLiteral("< Back"), 120, 4980, 3840, 405);
  buttons_[12] = MakeButton(this, "PushButton12", QStringLiteral("Help"), 4080, 4980, 3840, 405);

  SetTabOrder({list2_, list1_, buttons_[10], buttons_[11], buttons_[3], buttons_[1], buttons_[6],
               buttons_[8], buttons_[9], buttons_[4], buttons_[5], buttons_[7], buttons_[2],
               buttons_[12], check1_});
  progress_->setFocusPolicy(Qt::NoFocus);

  feedback_->WatchSurface(*this);
  feedback_->WatchSurface(*frame1_);
  feedback_->WatchSurface(*frame2_);
  feedback_->WatchSurface(*list1_);
  feedback_->WatchSurface(*list2_);
  for (int b = 1; b <= 12; ++b) feedback_->WatchButton(*buttons_[b]);
  feedback_->Ignore(*progress_);
}

}  // namespace vq
