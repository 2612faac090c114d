#include "ui/form2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>

#include "dataaccess/error_report.h"
#include "dataaccess/helpers.h"
#include "transfer/table_commands.h"
#include "transfer/transfer.h"
#include "ui/command_guard.h"
#include "ui/cursor_file.h"
#include "ui/form_metrics.h"
#include "ui/settings_store.h"

namespace vq {
namespace {

// Title bar and borders of the window, in twips: the outer height the start-up
// sets counts them, and Qt sizes windows by their client area. The window
// system tells the real frame only once the window is on screen, so the frame
// of a classic title bar stands in (about 31 pixels at 96 dots per inch).
constexpr int kFrameAllowanceTwips = 460;

// Where "Keep column types" is remembered, beside the connection fields.
constexpr const char* kApplication = "Zelvora";
constexpr const char* kSection = "Vellquist";
constexpr const char* kKeepColumnTypesKey = "KeepColumnTypes";

}  // namespace

Form2::Form2(UiServices services, std::function<void()> show_connection_window)
    : services_(std::move(services)),
      show_connection_window_(std::move(show_connection_window)),
      pointer_(this),
      feedback_(new PointerFeedback(pointer_, this)) {
  BuildControls();
  connect(buttons_[10], &QPushButton::clicked, this, &Form2::PushButton10_Click);
  connect(buttons_[11], &QPushButton::clicked, this, &Form2::PushButton11_Click);
  connect(buttons_[8], &QPushButton::clicked, this, &Form2::PushButton8_Click);
  connect(buttons_[9], &QPushButton::clicked, this, &Form2::PushButton9_Click);
  connect(buttons_[2], &QPushButton::clicked, this, &Form2::PushButton2_Click);
  connect(buttons_[12], &QPushButton::clicked, this, &Form2::PushButton12_Click);
  connect(buttons_[3], &QPushButton::clicked, this, &Form2::PushButton3_Click);
  connect(buttons_[4], &QPushButton::clicked, this, &Form2::PushButton4_Click);
  connect(buttons_[1], &QPushButton::clicked, this, &Form2::PushButton1_Click);
  connect(buttons_[5], &QPushButton::clicked, this, &Form2::PushButton5_Click);
  connect(buttons_[6], &QPushButton::clicked, this, &Form2::PushButton6_Click);
  connect(buttons_[7], &QPushButton::clicked, this, &Form2::PushButton7_Click);
  // Unchecked unless the store says otherwise; a store that cannot be read
  // leaves the default statements.
  try {
    check1_->setChecked(ReadSetting(kApplication, kSection, kKeepColumnTypesKey, "0") == "1");
  } catch (const std::exception&) {
    check1_->setChecked(false);
  }
  connect(check1_, &QCheckBox::clicked, this, &Form2::Check1_Click);
  list2_->setFocus(Qt::OtherFocusReason);
}

int Form2::OuterHeightTwips() {
  // Top of "< Back" plus its height plus the margin under it and the frame.
  return 4980 + 405 + 580;
}

void Form2::Form_Load() {
  ApplyButtonFaceColors(*this);
  setWindowIcon(ApplicationIcon());
  CenterWindow(*this);
  const std::string cursor_path = InProgramFolder(services_.program_folder, {"HAND-M.CUR"});
  if (FileExists(cursor_path)) {
    pointer_.SetCustomCursor(LoadCursorFile(QString::fromStdString(cursor_path)));
  }
  setWindowTitle(QString::fromLatin1(kApplicationTitle));
  setFixedHeight(Px(OuterHeightTwips() - kFrameAllowanceTwips));
}

void Form2::SelectEvery(TableList& list, const char* handler, bool selected) {
  CommandScope scope;
  if (!scope.Acquired()) return;
  StepTrap trap(*services_.dialogs, "Form2", handler);
  int i = 0;
  trap.For(
      100, i, [] { return 0; }, [&] { return list.ListCount() - 1; },
      [&] { trap.Step(102, [&] { list.SetSelected(i, selected); }); });
}

void Form2::PushButton10_Click() {
  SelectEvery(*list1_, "PushButton10_Click", true);
}
void Form2::PushButton11_Click() {
  SelectEvery(*list1_, "PushButton11_Click", false);
}
void Form2::PushButton8_Click() {
  SelectEvery(*list2_, "PushButton8_Click", true);
}
void Form2::PushButton9_Click() {
  SelectEvery(*list2_, "PushButton9_Click", false);
}

bool Form2::KeepsColumnTypes() const {
  return check1_->isChecked();
}

TransferOptions Form2::Options() const {
  TransferOptions options;
  options.keep_column_types = KeepsColumnTypes();
  return options;
}

void Form2::Check1_Click() {
  StepTrap trap(*services_.dialogs, "Form2", "Check1_Click");
  trap.Step(100, [&] {
    WriteSetting(kApplication, kSection, kKeepColumnTypesKey, check1_->isChecked() ? "1" : "0");
  });
}

void Form2::PushButton2_Click() {
  CommandScope scope;
  if (!scope.Acquired()) return;
  StepTrap trap(*services_.dialogs, "Form2", "PushButton2_Click");
  trap.Step(100, [&] { show_connection_window_(); });
  trap.Step(102, [&] { hide(); });
}

std::string Form2::ContactText() {
  return std::string("Questions? Please contact Team Zelvora at ") + VQ_CONTACT_PAGE;
}

void Form2::PushButton12_Click() {
  CommandScope scope;
  if (!scope.Acquired()) return;
  StepTrap trap(*services_.dialogs, "Form2", "PushButton12_Click");
  trap.Step(100, [&] { services_.dialogs->MsgBox(ContactText(), kMsgOkOnly, ""); });
}

void Form2::PushButton3_Click() {
  // A click while another command yields is ignored, never nested.
  CommandScope scope;
  if (!scope.Acquired() || !services_.settings) return;
  SendTablesToAse(CommandEnv{*services_.settings, *services_.dialogs, *services_.yielder},
                  TablesWindow{*list1_, *list2_, *progress_, pointer_}, Options());
}

void Form2::PushButton4_Click() {
  CommandScope scope;
  if (!scope.Acquired() || !services_.settings) return;
  SendTablesToAccess(CommandEnv{*services_.settings, *services_.dialogs, *services_.yielder},
                     TablesWindow{*list1_, *list2_, *progress_, pointer_}, Options());
}

void Form2::PushButton1_Click() {
  CommandScope scope;
  if (!scope.Acquired() || !services_.settings) return;
  DeleteAccessTables(CommandEnv{*services_.settings, *services_.dialogs, *services_.yielder},
                     TablesWindow{*list1_, *list2_, *progress_, pointer_});
}

void Form2::PushButton5_Click() {
  CommandScope scope;
  if (!scope.Acquired() || !services_.settings) return;
  DeleteAseTables(CommandEnv{*services_.settings, *services_.dialogs, *services_.yielder},
                  TablesWindow{*list1_, *list2_, *progress_, pointer_});
}

void Form2::PushButton6_Click() {
  CommandScope scope;
  if (!scope.Acquired() || !services_.settings) return;
  RenameAccessTableCommand(CommandEnv{*services_.settings, *services_.dialogs, *services_.yielder},
                           TablesWindow{*list1_, *list2_, *progress_, pointer_});
}

void Form2::PushButton7_Click() {
  CommandScope scope;
  if (!scope.Acquired() || !services_.settings) return;
  RenameAseTableCommand(CommandEnv{*services_.settings, *services_.dialogs, *services_.yielder});
}

void Form2::closeEvent(QCloseEvent* event) {
  event->accept();
  if (services_.end_program) services_.end_program();
}

}  // namespace vq
