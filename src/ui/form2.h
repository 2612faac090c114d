// The tables window: the Access and Sybase ASE tables side by side, the
// commands of each side under its list, the progress bar, "< Back" and "Help".
#pragma once

#include <QWidget>
#include <functional>

#include "transfer/transfer.h"
#include "ui/qt_interaction.h"
#include "ui/qt_table_list.h"
#include "ui/ui_services.h"
#include "ui/window_helpers.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace vq {

// The tables window. Created by the first "Next >", it lives until the program ends.
class Form2 : public QWidget {
  Q_OBJECT

 public:
  // `show_connection_window` is what "< Back" calls to bring the connection window back.
  Form2(UiServices services, std::function<void()> show_connection_window);

  QtTableList& List1() { return *list1_; }
  QtTableList& List2() { return *list2_; }
  QtProgressBar& ProgressBar1() { return *progress_; }
  QtWindowPointer& Pointer() { return pointer_; }
  // The push button "PushButton<number>", 1 to 12.
  QPushButton* Button(int number) const { return buttons_[number]; }
  // "Keep column types", under the two lists: both transfers make typed
  // tables while it is checked.
  QCheckBox* KeepColumnTypes() const { return check1_; }
  // Whether the transfers keep column types, as the check box says.
  bool KeepsColumnTypes() const;

  // Start-up: colours, icon, centring, custom pointer, caption, height.
  void Form_Load();
  // "Select All" and "Deselect All" of the Access list.
  void PushButton10_Click();
  void PushButton11_Click();
  // "Select All" and "Deselect All" of the Sybase ASE list.
  void PushButton8_Click();
  void PushButton9_Click();
  // "< Back".
  void PushButton2_Click();
  // "Help": the contact text.
  void PushButton12_Click();
  // "Send Table/s To Sybase ASE": the selected Access tables go to ASE.
  void PushButton3_Click();
  // "Send Table/s To Access": the selected ASE tables go to Access.
  void PushButton4_Click();
  // "Delete Table/s" under each list: the selected tables are dropped at once.
  void PushButton1_Click();
  void PushButton5_Click();
  // "Rename Table": the one selected Access table is renamed; for Sybase ASE
  // only a message says renaming is not offered.
  void PushButton6_Click();
  void PushButton7_Click();

  // The text "Help" shows.
  static std::string ContactText();
  // The outer height the start-up gives the window, in twips.
  static int OuterHeightTwips();

 protected:
  // Form_Unload: closing the window ends the program.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  // Sets the selected flag of every entry of `list`, under the handler's trap.
  void SelectEvery(TableList& list, const char* handler, bool selected);
  // Check1_Click: remembers the check box's state in the settings store.
  void Check1_Click();
  // How the transfers run, with the check box's choice.
  TransferOptions Options() const;

  UiServices services_;
  std::function<void()> show_connection_window_;
  QtWindowPointer pointer_;
  PointerFeedback* feedback_;
  QGroupBox* frame1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QtTableList* list1_ = nullptr;
  QtTableList* list2_ = nullptr;
  QtProgressBar* progress_ = nullptr;
  QPushButton* buttons_[13] = {};
  QCheckBox* check1_ = nullptr;
};

}  // namespace vq
