// The connection window: the seven connection fields, the Access file browser,
// the sample database, the ASE connection test and help, and "Next >", which
// fills both lists of the tables window and hands over to it.
#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/connection_settings.h"
#include "ui/qt_interaction.h"
#include "ui/ui_services.h"
#include "ui/window_helpers.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vq {

class Form2;

// The connection window. It is the ConnectionSettings every connection string
// is built from: the fields are read afresh each time.
class Form1 : public QWidget, public ConnectionSettings {
  Q_OBJECT

 public:
  explicit Form1(UiServices services);
  ~Form1() override;

  // Runs the start-up, then shows the window unless the start-up has already
  // moved on to the tables window.
  void Start();

  std::string Get(Setting which) const override;

  // The tables window; nothing before the first "Next >".
  Form2* TablesWindow() const { return form2_.get(); }
  QtWindowPointer& Pointer() { return pointer_; }
  // The field bound to `which`.
  QLineEdit* Field(Setting which) const { return fields_[static_cast<int>(which)]; }

  // Start-up: theme, centre, caption, icon, pointer, fields, automatic "Next >",
  // and the check that the database providers are present.
  void Form_Load();
  // "...": browse for the Access file.
  void PushButton1_Click();
  // "Test Connection".
  void PushButton2_Click();
  // "Help": how the ASE client was set up.
  void PushButton3_Click();
  // "Next >".
  void PushButton4_Click();
  // "Load Sample/Example Database".
  void PushButton7_Click();
  // Text1_Change to Text7_Change: stores the field's whole text when it changed.
  void Text_Change(Setting which);
  // Text1_GotFocus to Text7_GotFocus: selects the whole text.
  void Text_GotFocus(Setting which);

  // The ten pieces of the help text; the box shows each followed by two
  // carriage returns.
  static std::vector<std::string> HelpPieces();

 protected:
  // Form_Unload: closing the window ends the program.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  // The body of "Next >", shared by the button and the start-up.
  void RunNext();
  // True when the ASE server answers; the connect runs off the UI thread.
  bool SybaseAnswers();
  // Creates the tables window and runs its start-up, the first time.
  Form2& EnsureTablesWindow();
  // False when no provider is registered for Access or for ASE.
  static bool CheckAccessInstalled();

  UiServices services_;
  QtWindowPointer pointer_;
  PointerFeedback* feedback_;
  std::array<QLineEdit*, kSettingCount> fields_{};
  std::array<std::string, kSettingCount> stored_{};
  QGroupBox* frame1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QPushButton* buttons_[8] = {};
  std::unique_ptr<Form2> form2_;
};

}  // namespace vq
