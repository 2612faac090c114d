// The connection window driven as a user would: start-up, fields and store,
// browse, sample, test connection, help and "Next >".
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ui/command_guard.h"
#include "ui/form_metrics.h"
#include "ui/settings_store.h"
#include "ui_fixture.h"

using namespace vq;
using namespace vq::testing;

namespace {

QPushButton* ButtonOf(QWidget& w, const char* name) {
  return w.findChild<QPushButton*>(QString::fromLatin1(name));
}

std::vector<std::string> Texts(const ScriptedDialogs& d) {
  std::vector<std::string> out;
  for (const auto& m : d.messages) out.push_back(m.text);
  return out;
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void FirstRunShowsEmptyFieldsAndStoresOnlyThePort() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    QVERIFY(form.isVisible());
    QCOMPARE(form.windowTitle(), QStringLiteral("Vellquist"));
    QVERIFY(!form.windowIcon().isNull());
    for (int i = 0; i < kSettingCount; ++i) {
      const auto which = static_cast<Setting>(i);
      QCOMPARE(form.Get(which), which == Setting::kAsePort ? std::string("5000") : std::string());
    }
    QCOMPARE(StoredKeys(), QStringList{"Vellquist/ASEPort"});
    QCOMPARE(Stored("ASEPort"), std::string("5000"));
    QVERIFY(world.dialogs.messages.empty());
    QVERIFY(form.TablesWindow() == nullptr);
    QCOMPARE(world.home_page_visits, 1);
    QCOMPARE(form.focusWidget(), form.Field(Setting::kAseServer));
  }

  void StoredEmptyPortStaysEmptyAndOddTextsRoundTrip() {
    UiWorld world;
    Store("ASEPort", "");
    Store("ASEPassword", "p;w=\"x'\xc3\xa9");
    Form1& form = world.MakeForm1();
    form.Start();
    QCOMPARE(form.Get(Setting::kAsePort), std::string());
    QCOMPARE(form.Get(Setting::kAsePassword), std::string("p;w=\"x'\xc3\xa9"));
  }

  void StoredFileAndReachableServerOpenTheTablesWindowByThemselves() {
    UiWorld world;
    AddTable(*world.access, "Orders");
    AddTable(*world.access, "customers");
    AddTable(*world.access, "MSysObjects", "SYSTEM TABLE");
    AddTable(*world.ase, "SALES");
    AddTable(*world.ase, "accounts");
    world.StoreReachableSettings();
    Form1& form = world.MakeForm1();
    form.Start();
    QVERIFY(form.TablesWindow() != nullptr);
    QVERIFY(form.TablesWindow()->isVisible());
    QVERIFY(!form.isVisible());
    QCOMPARE(Entries(form.TablesWindow()->List1()),
             (std::vector<std::string>{"customers", "Orders"}));
    QCOMPARE(Entries(form.TablesWindow()->List2()),
             (std::vector<std::string>{"accounts", "SALES"}));
    QVERIFY(world.dialogs.messages.empty());
    QCOMPARE(form.Pointer().Pointer(), kPointerDefault);
  }

  void UnreachableServerLeavesTheConnectionWindowUpQuietly() {
    UiWorld world;
    world.StoreReachableSettings();
    Store("ASEPassword", "wrong");
    Form1& form = world.MakeForm1();
    QElapsedTimer timer;
    timer.start();
    form.Start();
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY(form.isVisible());
    QVERIFY(form.TablesWindow() == nullptr);
    QVERIFY(world.dialogs.messages.empty());
  }

  void MissingProvidersAreReportedAtTheEndOfTheStartUp() {
    UiWorld world;
    ProviderRegistry::Global().Unregister("ASEOLEDB");
    Form1& form = world.MakeForm1();
    form.Start();
    QCOMPARE(world.dialogs.messages.size(), size_t{1});
    QCOMPARE(world.dialogs.messages[0].text,
             std::string("Access is not installed on this computer. You need to have it "
                         "installed to use this software without error."));
    QCOMPARE(world.dialogs.messages[0].style, kMsgOkOnly);
    QCOMPARE(world.dialogs.messages[0].title, std::string("Vellquist"));
    QVERIFY(form.isVisible());
  }

  void TestConnectionTellsWrongFromRightPassword() {
    UiWorld world;
    world.StoreReachableSettings();
    Store("AccessMDBFile", "");
    Form1& form = world.MakeForm1();
    form.Start();
    world.dialogs.messages.clear();
    form.Field(Setting::kAsePassword)->setText("wrong");
    QTest::mouseClick(ButtonOf(form, "PushButton2"), Qt::LeftButton);
    form.Field(Setting::kAsePassword)->setText(QString::fromStdString(world.ase_password));
    QTest::mouseClick(ButtonOf(form, "PushButton2"), Qt::LeftButton);
    QCOMPARE(Texts(world.dialogs),
             (std::vector<std::string>{"Could not connect.", "Connection successful."}));
    for (const auto& m : world.dialogs.messages) {
      QCOMPARE(m.style, kMsgOkOnly);
      QCOMPARE(m.title, std::string("Vellquist"));
    }
    QCOMPARE(form.Pointer().Pointer(), kPointerDefault);
  }

  void TestConnectionKeepsTheWindowAliveAndHoldsOffOtherCommands() {
    UiWorld world;
    world.StoreReachableSettings();
    Store("AccessMDBFile", "");
    Form1& form = world.MakeForm1();
    form.Start();
    world.ase_delay = std::chrono::milliseconds(300);
    world.yielder.count = 0;
    bool clicked = false;
    world.yielder.hook = [&] {
      if (clicked) return;
      clicked = true;
      QCOMPARE(form.Pointer().Pointer(), kPointerHourglass);
      QVERIFY(CommandScope::CommandRunning());
      QTest::mouseClick(ButtonOf(form, "PushButton3"), Qt::LeftButton);  // "Help"
      QTest::mouseClick(ButtonOf(form, "PushButton7"), Qt::LeftButton);  // sample path
    };
    QTest::mouseClick(ButtonOf(form, "PushButton2"), Qt::LeftButton);
    QVERIFY(world.yielder.count > 5);
    QCOMPARE(Texts(world.dialogs), (std::vector<std::string>{"Connection successful."}));
    QCOMPARE(form.Get(Setting::kAccessFile), std::string());
    QVERIFY(!CommandScope::CommandRunning());
  }

  void NextWithAWrongPathOnlyFlashesTheHourglass() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    form.Field(Setting::kAccessFile)->setText(world.folder() + "/no/such/file.mdb");
    QTest::mouseClick(ButtonOf(form, "PushButton4"), Qt::LeftButton);
    QVERIFY(form.TablesWindow() == nullptr);
    QVERIFY(form.isVisible());
    QVERIFY(world.dialogs.messages.empty());
    QVERIFY(world.ase->opened.empty());
    QCOMPARE(form.Pointer().Pointer(), kPointerDefault);
  }

  void ListingFailureIsReportedAtTheCallingStepAndTheWindowStillOpens() {
    UiWorld world;
    AddTable(*world.access, "Orders");
    world.StoreReachableSettings();
    // The start-up check and the one of "Next >" get through; the listing does not.
    world.ase_connects_left = 2;
    Form1& form = world.MakeForm1();
    form.Start();
    QCOMPARE(world.dialogs.messages.size(), size_t{1});
    QCOMPARE(world.dialogs.messages[0].text,
             std::string("Server went away.\r\n"
                         "in Quellmark7/29/2014.Form1.PushButton4_Click at line 108\r\r"
                         "Please email screenshot of this message to ") +
                 VQ_SUPPORT_EMAIL);
    QCOMPARE(world.dialogs.messages[0].style, kMsgExclamation);
    QCOMPARE(world.dialogs.messages[0].title, std::string("Application Error"));
    QVERIFY(form.TablesWindow() && form.TablesWindow()->isVisible());
    QCOMPARE(Entries(form.TablesWindow()->List1()), std::vector<std::string>{"Orders"});
    QCOMPARE(form.TablesWindow()->List2().ListCount(), 0);
    QCOMPARE(form.Pointer().Pointer(), kPointerDefault);
  }

  void BrowseStoresTheChosenPathAndCancelChangesNothing() {
    UiWorld world;
    Store("AccessMDBFile", "/data/old.mdb");
    Form1& form = world.MakeForm1();
    form.Start();
    QTest::mouseClick(ButtonOf(form, "PushButton1"), Qt::LeftButton);
    QCOMPARE(form.Get(Setting::kAccessFile), std::string("/data/old.mdb"));
    QCOMPARE(Stored("AccessMDBFile"), std::string("/data/old.mdb"));
    QCOMPARE(world.chooser.titles, std::vector<std::string>{"Select Access Database"});
    QCOMPARE(world.chooser.filters[0],
             std::string("All Microsoft Databases (*.mdb,*.accdb) (*.*db);;"
                         "Microsoft Database (*.mdb) (*.mdb);;"
                         "Microsoft 2007 Database (*.accdb) (*.accdb)"));
    world.chooser.answers.push_back("/data/new \xc3\xa9.accdb");
    QTest::mouseClick(ButtonOf(form, "PushButton1"), Qt::LeftButton);
    QCOMPARE(form.Get(Setting::kAccessFile), std::string("/data/new \xc3\xa9.accdb"));
    QCOMPARE(Stored("AccessMDBFile"), std::string("/data/new \xc3\xa9.accdb"));
    QVERIFY(world.dialogs.messages.empty());
  }

  void SamplePathIsStoredThoughTheFileIsAbsent() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    QTest::mouseClick(ButtonOf(form, "PushButton7"), Qt::LeftButton);
    const std::string expected = world.folder().toStdString() + "/Samples/sample.mdb";
    QCOMPARE(form.Get(Setting::kAccessFile), expected);
    QCOMPARE(Stored("AccessMDBFile"), expected);
    QVERIFY(world.dialogs.messages.empty());
  }

  void SampleIsTheUsersOwnCopyMadeOnce() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    // The installed original, read-only as under /usr/share.
    QVERIFY(QDir(world.folder()).mkpath("Samples"));
    const QString original = world.folder() + "/Samples/sample.mdb";
    {
      QFile f(original);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("the installed sample");
    }
    QVERIFY(QFile::setPermissions(original, QFile::ReadOwner | QFile::ReadGroup));
    const QString copy = world.data_home() + "/vellquist/sample.mdb";

    QTest::mouseClick(ButtonOf(form, "PushButton7"), Qt::LeftButton);
    QCOMPARE(form.Get(Setting::kAccessFile), copy.toStdString());
    QCOMPARE(Stored("AccessMDBFile"), copy.toStdString());
    QVERIFY(QFileInfo(copy).permissions() & QFile::WriteOwner);  // though the original is not
    QFile made(copy);
    QVERIFY(made.open(QIODevice::ReadWrite));
    QCOMPARE(made.readAll(), QByteArray("the installed sample"));
    made.resize(0);
    made.write("the user's changes");
    made.close();
    QVERIFY(!QFileInfo::exists(copy + ".copying"));

    // Later uses give the same copy as the user left it.
    form.Field(Setting::kAccessFile)->setText("/elsewhere.mdb");
    QTest::mouseClick(ButtonOf(form, "PushButton7"), Qt::LeftButton);
    QCOMPARE(form.Get(Setting::kAccessFile), copy.toStdString());
    QVERIFY(made.open(QIODevice::ReadOnly));
    QCOMPARE(made.readAll(), QByteArray("the user's changes"));
    QVERIFY(world.dialogs.messages.empty());
  }

  void SampleThatCannotBeCopiedIsReportedAndTheFieldKept() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    QVERIFY(QDir(world.folder()).mkpath("Samples"));
    {
      QFile f(world.folder() + "/Samples/sample.mdb");
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("the installed sample");
    }
    // A file stands where the data folder should be.
    {
      QFile blocker(world.data_home());
      QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    form.Field(Setting::kAccessFile)->setText("/data/mine.mdb");
    QTest::mouseClick(ButtonOf(form, "PushButton7"), Qt::LeftButton);
    QCOMPARE(form.Get(Setting::kAccessFile), std::string("/data/mine.mdb"));
    QCOMPARE(world.dialogs.messages.size(), size_t{1});
    QVERIFY(QString::fromStdString(world.dialogs.messages[0].text)
                .contains("The sample database could not be copied to " + world.data_home()));
  }

  void TypingStoresTheWholeTextAtOnce() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    form.activateWindow();
    form.Field(Setting::kAseUser)->setFocus();
    QTest::keyClicks(form.Field(Setting::kAseUser), "dbo");
    QCOMPARE(Stored("ASEUser"), std::string("dbo"));
    QTest::keyClick(form.Field(Setting::kAseUser), Qt::Key_Backspace);
    QCOMPARE(Stored("ASEUser"), std::string("db"));
  }

  // A store that cannot be written (here its file is a folder) must not take
  // the program down on the next keystroke; the field keeps what was typed.
  void UnwritableStoreLeavesTypingAlone() {
    UiWorld world;
    QVERIFY(QDir().mkpath(QString::fromStdString(SettingsFilePath("Zelvora"))));
    Form1& form = world.MakeForm1();
    form.Start();
    const size_t reports = world.dialogs.messages.size();
    form.activateWindow();
    form.Field(Setting::kAseUser)->setFocus();
    QTest::keyClicks(form.Field(Setting::kAseUser), "dbo");
    QCOMPARE(form.Field(Setting::kAseUser)->text(), QStringLiteral("dbo"));
    QCOMPARE(world.dialogs.messages.size(), reports);
  }

  void EnteringAFieldSelectsAllOfIt() {
    UiWorld world;
    Store("ASEDatabase", "warehouse");
    Store("AccessPassword", "hidden");
    Form1& form = world.MakeForm1();
    form.Start();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    for (Setting which : {Setting::kAseDatabase, Setting::kAccessPassword, Setting::kAsePort}) {
      QLineEdit* field = form.Field(which);
      field->deselect();
      form.Field(Setting::kAseServer)->setFocus(Qt::OtherFocusReason);
      field->setFocus(Qt::OtherFocusReason);
      QCOMPARE(field->selectionStart(), 0);
      QCOMPARE(field->selectionLength(), static_cast<int>(field->text().size()));
      QVERIFY(field->selectionLength() > 0);
    }
  }

  void HelpShowsItsTextByteForByte() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    QTest::mouseClick(ButtonOf(form, "PushButton3"), Qt::LeftButton);
    QCOMPARE(world.dialogs.messages.size(), size_t{1});
    QCOMPARE(world.dialogs.messages[0].text,
             std::string("This is how I was able to make a Sybase ASE connection: \r\r"
                         "I purchased\r\r"
                         "Sybase Adaptive Server Enterprise \xe2\x80\x93 Developer's Edition\r\r"
                         "via www.ase-vendor.example\r\r"
                         "and downloaded the Sybase 15.01 Client\r\r"
                         "specifically\r\r"
                         "ase1501clientwin32.zip\r\r"
                         "Make sure you select Custom instead of Typical and Full and make sure"
                         "\r\r"
                         "ASE Data Providers (ASE ODBC Driver)\r\r"
                         "are installed during the client installation.\r\r"));
    QCOMPARE(world.dialogs.messages[0].style, kMsgOkOnly);
    QCOMPARE(world.dialogs.messages[0].title, std::string("Vellquist"));
  }

  void BackThenNextRefillsBothListsExactly() {
    UiWorld world;
    AddTable(*world.access, "Orders");
    AddTable(*world.ase, "SALES");
    world.StoreReachableSettings();
    Form1& form = world.MakeForm1();
    form.Start();
    Form2* tables = form.TablesWindow();
    QVERIFY(tables && tables->isVisible());
    QTest::mouseClick(tables->Button(2), Qt::LeftButton);  // "< Back"
    QVERIFY(form.isVisible());
    QVERIFY(!tables->isVisible());
    QCOMPARE(Entries(tables->List1()), std::vector<std::string>{"Orders"});
    world.access->tables.erase("Orders");
    AddTable(*world.access, "Invoices");
    AddTable(*world.ase, "archive");
    QTest::mouseClick(ButtonOf(form, "PushButton4"), Qt::LeftButton);
    QCOMPARE(form.TablesWindow(), tables);
    QVERIFY(tables->isVisible());
    QVERIFY(!form.isVisible());
    QCOMPARE(Entries(tables->List1()), std::vector<std::string>{"Invoices"});
    QCOMPARE(Entries(tables->List2()), (std::vector<std::string>{"archive", "SALES"}));
  }

  void ClosingEitherWindowEndsTheProgram() {
    UiWorld world;
    world.StoreReachableSettings();
    Form1& form = world.MakeForm1();
    form.Start();
    QVERIFY(form.TablesWindow());
    form.TablesWindow()->close();
    QCOMPARE(world.end_program_calls, 1);
    form.close();
    QCOMPARE(world.end_program_calls, 2);
  }
};

int main(int argc, char** argv) {
  return RunWindowTest<Form1Test>(argc, argv);
}

#include "form1_test.moc"
