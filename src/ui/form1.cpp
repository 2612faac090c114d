#include "ui/form1.h"

#include <QCloseEvent>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "dataaccess/access_catalogue.h"
#include "dataaccess/ase_catalogue.h"
#include "dataaccess/backend.h"
#include "dataaccess/error_report.h"
#include "dataaccess/helpers.h"
#include "dataaccess/memory_interaction.h"
#include "dataaccess/run_while_yielding.h"
#include "dataaccess/session.h"
#include "ui/command_guard.h"
#include "ui/cursor_file.h"
#include "ui/form2.h"
#include "ui/sample_copy.h"
#include "ui/settings_store.h"

namespace vq {
namespace {

constexpr const char* kApplication = "Zelvora";
constexpr const char* kSection = "Vellquist";

// The vendor site named by the help text; a reserved example domain.
constexpr const char* kVendorSite = "www.ase-vendor.example";

}  // namespace

Form1::Form1(UiServices services)
    : services_(std::move(services)),
      pointer_(this),
      feedback_(new PointerFeedback(pointer_, this)) {
  BuildControls();
  for (int i = 0; i < kSettingCount; ++i) {
    const auto which = static_cast<Setting>(i);
    connect(fields_[i], &QLineEdit::textChanged, this, [this, which] { Text_Change(which); });
    fields_[i]->installEventFilter(this);
  }
  connect(buttons_[1], &QPushButton::clicked, this, &Form1::PushButton1_Click);
  connect(buttons_[2], &QPushButton::clicked, this, &Form1::PushButton2_Click);
  connect(buttons_[3], &QPushButton::clicked, this, &Form1::PushButton3_Click);
  connect(buttons_[4], &QPushButton::clicked, this, &Form1::PushButton4_Click);
  connect(buttons_[7], &QPushButton::clicked, this, &Form1::PushButton7_Click);
  Field(Setting::kAseServer)->setFocus(Qt::OtherFocusReason);
}

Form1::~Form1() = default;

std::string Form1::Get(Setting which) const {
  return Field(which)->text().toStdString();
}

void Form1::Start() {
  Form_Load();
  const bool moved_on = form2_ && form2_->isVisible();
  if (!moved_on) {
    show();
    Field(Setting::kAseServer)->setFocus(Qt::OtherFocusReason);
  }
}

void Form1::Form_Load() {
  // The start-up yields while it checks the server: no command may start meanwhile.
  CommandScope scope;
  StepTrap trap(*services_.dialogs, "Form1", "Form_Load");
  trap.Step(100, [&] { ApplySkin(*this, services_.program_folder); });
  trap.Step(102, [&] { CenterWindow(*this); });
  trap.Step(104, [&] {
    if (services_.visit_home_page) services_.visit_home_page();
  });
  trap.Step(106, [&] {
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setWindowIcon(ApplicationIcon());
  });
  const std::string cursor_path = InProgramFolder(services_.program_folder, {"HAND-M.CUR"});
  if (trap.Test(108, [&] { return FileExists(cursor_path); })) {
    trap.Step(110, [&] {
      QFile file(QString::fromStdString(cursor_path));
      if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("can't read " + cursor_path);
      }
      pointer_.SetCustomCursor(DecodeCursorFile(file.read(1 << 20)));
    });
  }
  for (int i = 0; i < kSettingCount; ++i) {
    const auto which = static_cast<Setting>(i);
    trap.Step(112 + 2 * i, [&] {
      Field(which)->setText(QString::fromStdString(
          ReadSetting(kApplication, kSection, SettingKey(which), SettingDefault(which))));
    });
  }
  if (trap.Test(126, [&] { return FileExists(Get(Setting::kAccessFile)); })) {
    if (trap.Test(128, [&] { return SybaseAnswers(); })) {
      trap.Step(130, [&] { RunNext(); });
    }
  }
  trap.Step(132, [&] {
    if (!CheckAccessInstalled()) {
      services_.dialogs->MsgBox(
          "Access is not installed on this computer. You need to have it installed to use this "
          "software without error.",
          kMsgOkOnly, "");
    }
  });
}

bool Form1::CheckAccessInstalled() {
  const ProviderRegistry& registry = ProviderRegistry::Global();
  const bool access =
      registry.Find("Microsoft.Jet.OLEDB.4.0") || registry.Find("Microsoft.ACE.OLEDB.12.0");
  return access && static_cast<bool>(registry.Find("ASEOLEDB"));
}

bool Form1::SybaseAnswers() {
  // The connect may wait for its deadline: run it off the UI thread on a copy
  // of the fields, so the window keeps painting.
  FixedConnectionSettings snapshot;
  for (int i = 0; i < kSettingCount; ++i) snapshot.values[i] = Get(static_cast<Setting>(i));
  return RunWhileYielding(*services_.yielder, [snapshot] {
    ScriptedDialogs silent;
    CountingYielder no_yield;
    return SybaseConnects(CommandEnv{snapshot, silent, no_yield});
  });
}

Form2& Form1::EnsureTablesWindow() {
  if (!form2_) {
    UiServices services = services_;
    services.settings = this;
    form2_ = std::make_unique<Form2>(services, [this] { show(); });
    form2_->Form_Load();
  }
  return *form2_;
}

void Form1::PushButton1_Click() {
  CommandScope scope;
  if (!scope.Acquired()) return;
  StepTrap trap(*services_.dialogs, "Form1", "PushButton1_Click");
  std::string file_name;
  std::string title;
  std::string filter;
  trap.Step(100, [&] { file_name.clear(); });
  // The platform flags of the original box (read-only box ticked, Explorer
  // style, long names) are the Qt dialog's defaults; the file need not exist.
  trap.Step(102, [&] {});
  trap.Step(104, [&] { title = "Select Access Database"; });
  trap.Step(106, [&] {
    filter =
        "All Microsoft Databases (*.mdb,*.accdb) (*.*db);;"
        "Microsoft Database (*.mdb) (*.mdb);;"
        "Microsoft 2007 Database (*.accdb) (*.accdb)";
  });
  trap.Step(108, [&] { file_name = services_.chooser->ChooseFile(this, title, filter); });
  if (trap.Test(110, [&] { return !file_name.empty(); })) {
    trap.Step(112,
              [&] { Field(Setting::kAccessFile)->setText(QString::fromStdString(file_name)); });
  }
}

void Form1::PushButton7_Click() {
  CommandScope scope;
  if (!scope.Acquired()) return;
  StepTrap trap(*services_.dialogs, "Form1", "PushButton7_Click");
  trap.Step(100, [&] {
    Field(Setting::kAccessFile)
        ->setText(QString::fromStdString(UserSampleDatabase(services_.program_folder)));
  });
}

void Form1::PushButton2_Click() {
  CommandScope scope;
  if (!scope.Acquired()) return;
  StepTrap trap(*services_.dialogs, "Form1", "PushButton2_Click");
  std::shared_ptr<DatabaseSession> session;
  trap.Step(100, [&] { session = std::make_shared<DatabaseSession>(); });
  // From here on a failure means the server could not be reached: no report.
  bool failed = false;
  try {
    pointer_.SetPointer(kPointerHourglass);
    if (!session) throw std::runtime_error("no session");
    const std::string connection_string = BuildSybaseConnectionString(*this);
    RunWhileYielding(*services_.yielder,
                     [session, connection_string] { session->Open(connection_string); });
    services_.dialogs->MsgBox("Connection successful.", kMsgOkOnly, "");
    pointer_.SetPointer(kPointerDefault);
  } catch (...) {
    failed = true;
  }
  if (failed) {
    services_.dialogs->MsgBox("Could not connect.", kMsgOkOnly, "");
    pointer_.SetPointer(kPointerDefault);
  }
}

std::vector<std::string> Form1::HelpPieces() {
  return {"This is how I was able to make a Sybase ASE connection: ",
          "I purchased",
          "Sybase Adaptive Server Enterprise \u2013 Developer's Edition",
          std::string("via ") + kVendorSite,
          "and downloaded the Sybase 15.01 Client",
          "specifically",
          "ase1501clientwin32.zip",
          "Make sure you select Custom instead of Typical and Full and make sure",
          "ASE Data Providers (ASE ODBC Driver)",
          "are installed during the client installation."};
}

void Form1::PushButton3_Click() {
  CommandScope scope;
  if (!scope.Acquired()) return;
  StepTrap trap(*services_.dialogs, "Form1", "PushButton3_Click");
  std::vector<std::string> pieces;
  std::string text;
  int style = kMsgOkOnly;
  trap.Step(100, [&] { pieces = HelpPieces(); });
  for (size_t i = 0; i < 10; ++i) {
    trap.Step(102 + 2 * static_cast<int>(i), [&] { text += pieces.at(i) + "\r\r"; });
  }
  trap.Step(122, [&] { style = kMsgOkOnly; });
  trap.Step(124, [&] { services_.dialogs->MsgBox(text, style, ""); });
}

void Form1::PushButton4_Click() {
  CommandScope scope;
  if (!scope.Acquired()) return;
  RunNext();
}

void Form1::RunNext() {
  StepTrap trap(*services_.dialogs, "Form1", "PushButton4_Click");
  trap.Step(100, [&] { pointer_.SetPointer(kPointerHourglass); });
  if (trap.Test(102, [&] { return FileExists(Get(Setting::kAccessFile)); }) &&
      trap.Test(104, [&] { return SybaseAnswers(); })) {
    CommandEnv env{*this, *services_.dialogs, *services_.yielder};
    trap.Step(106, [&] {
      Form2& tables = EnsureTablesWindow();
      FillAccessTableList(env, tables.List1(), Get(Setting::kAccessFile));
    });
    trap.Step(108, [&] { FillSybaseTableList(env, EnsureTablesWindow().List2()); });
    trap.Step(110, [&] { EnsureTablesWindow().show(); });
    trap.Step(112, [&] { hide(); });
  }
  trap.Step(114, [&] { pointer_.SetPointer(kPointerDefault); });
}

void Form1::Text_Change(Setting which) {
  const int i = static_cast<int>(which);
  std::string text = fields_[i]->text().toStdString();
  if (text == stored_[i]) return;
  try {
    WriteSetting(kApplication, kSection, SettingKey(which), text);
  } catch (const std::exception&) {
    // An exception must not leave a Qt signal: it would end the program on a
    // keystroke. The field keeps its text; the next change tries again.
    return;
  }
  stored_[i] = std::move(text);
}

void Form1::Text_GotFocus(Setting which) {
  QLineEdit* field = Field(which);
  field->setSelection(0, static_cast<int>(field->text().size()));
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    for (int i = 0; i < kSettingCount; ++i) {
      if (watched != fields_[i]) continue;
      const auto which = static_cast<Setting>(i);
      Text_GotFocus(which);
      // A click places the caret after the focus arrives; select again once it has.
      if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) {
        QTimer::singleShot(0, fields_[i], [this, which] { Text_GotFocus(which); });
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
  event->accept();
  if (services_.end_program) services_.end_program();
}

}  // namespace vq
