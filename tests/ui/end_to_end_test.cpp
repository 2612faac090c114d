// The windows over the real providers: an Access file of the shared test data
// or the sample database the build makes, and the ASE test server over the wire.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "dataaccess/session.h"
#include "support/ase_server_fixture.h"
#include "support/silent_listener.h"
#include "ui/form_metrics.h"
#include "ui_fixture.h"

using namespace vq;
using namespace vq::testing;

namespace {

const char* kFixture = "fixtures/access/jackcess/src/test/data/V2000/indexTestV2000.mdb";

// A file Access made where the shared fixtures are at hand, else the sample
// database the build makes.
QString FixturePath() {
  const QString shared = QStringLiteral(VQ_SHARED_DIR "/") + kFixture;
  return QFileInfo::exists(shared) ? shared : QStringLiteral(VQ_SAMPLE_DATABASE);
}

// The user tables mdbtools finds in `path`, in the lists' order.
std::vector<std::string> TablesByMdbtools(const QString& path) {
  QProcess p;
  p.start("mdb-tables", {"-1", path});
  p.waitForFinished(30000);
  std::vector<std::string> names;
  for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
    if (!line.trimmed().isEmpty()) names.push_back(line.trimmed().toStdString());
  }
  std::sort(names.begin(), names.end(), CollateLess);
  return names;
}

// The tests that read an Access file skip where neither is there.
#define REQUIRE_SHARED_FIXTURE()                                                                \
  do {                                                                                          \
    if (!QFileInfo::exists(FixturePath()))                                                      \
      QSKIP("neither the shared fixtures nor the sample database (target sample_database)");    \
    if (QProcess::execute("mdb-tables", {"--version"}) < 0) QSKIP("mdbtools is not installed"); \
  } while (false)

void StoreServer(const std::string& host, int port, const std::string& user,
                 const std::string& password, const std::string& database) {
  Store("ASEServer", host);
  Store("ASEPort", std::to_string(port));
  Store("ASEUser", user);
  Store("ASEPassword", password);
  Store("ASEDatabase", database);
}

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void StartUpOpensTheTablesWindowWithBothRealLists() {
    REQUIRE_SHARED_FIXTURE();
    AseServerFixture server;
    {
      DatabaseSession db;
      db.Open("Provider=ASEOLEDB;Data Source=" + server.address() + ";User Id=" + server.user() +
              ";Password=" + server.password() + ";;Catalog=" + server.database());
      db.Execute("create table [orders] ([id] int)");
      db.Execute("create table [Analysys] ([id] int)");
      db.Execute("create table [CUSTOMERS] ([id] int, [name] varchar(20) null)");
      db.Execute("insert into [orders] values (1)");
      db.Close();
    }
    UiWorld world(false);
    Store("AccessMDBFile", FixturePath().toStdString());
    StoreServer("127.0.0.1", server.port(), server.user(), server.password(), server.database());
    Form1& form = world.MakeForm1();
    form.Start();
    QCOMPARE(Texts(world), std::vector<std::string>{});
    Form2* tables = form.TablesWindow();
    QVERIFY(tables && tables->isVisible());
    QVERIFY(!form.isVisible());
    QCOMPARE(Entries(tables->List1()), TablesByMdbtools(FixturePath()));
    QCOMPARE(Entries(tables->List2()),
             (std::vector<std::string>{"Analysys", "CUSTOMERS", "orders"}));
    QCOMPARE(tables->List1().ListIndex(), 0);

    // "Test Connection" from the connection window, wrong and right password.
    QTest::mouseClick(tables->Button(2), Qt::LeftButton);
    form.Field(Setting::kAsePassword)->setText("not-the-password");
    QTest::mouseClick(form.findChild<QPushButton*>("PushButton2"), Qt::LeftButton);
    form.Field(Setting::kAsePassword)->setText(QString::fromStdString(server.password()));
    QTest::mouseClick(form.findChild<QPushButton*>("PushButton2"), Qt::LeftButton);
    QCOMPARE(Texts(world),
             (std::vector<std::string>{"Could not connect.", "Connection successful."}));
  }

  void LoadSampleThenNextListsTheSampleTables() {
    const QString sample = QStringLiteral(VQ_SAMPLE_DATABASE);
    if (!QFileInfo::exists(sample)) QSKIP("the sample database has not been built");
    AseServerFixture server;
    UiWorld world(false);
    // The program folder holds the sample where the installed program's does;
    // the button gives the user's own copy of it.
    QVERIFY(QDir(world.folder()).mkpath("Samples"));
    QVERIFY(QFile::copy(sample, world.folder() + "/Samples/sample.mdb"));
    const QString copy = world.data_home() + "/vellquist/sample.mdb";
    StoreServer("127.0.0.1", server.port(), server.user(), server.password(), server.database());
    Form1& form = world.MakeForm1();
    form.Start();
    QVERIFY(form.TablesWindow() == nullptr);  // no Access file stored yet
    QTest::mouseClick(form.findChild<QPushButton*>("PushButton7"), Qt::LeftButton);
    QCOMPARE(form.Get(Setting::kAccessFile), copy.toStdString());
    QTest::mouseClick(form.findChild<QPushButton*>("PushButton4"), Qt::LeftButton);
    QCOMPARE(Texts(world), std::vector<std::string>{});
    Form2* tables = form.TablesWindow();
    QVERIFY(tables && tables->isVisible());
    QCOMPARE(Entries(tables->List1()),
             (std::vector<std::string>{"Keepers", "Lighthouses", "SupplyRuns"}));
  }

  void SilentServerLeavesTheConnectionWindowUpInBoundedTime() {
    REQUIRE_SHARED_FIXTURE();
    SilentListener silent;
    UiWorld world(false);
    Store("AccessMDBFile", FixturePath().toStdString());
    StoreServer("127.0.0.1", silent.Port(), "sa", "secret", "testdb");
    Form1& form = world.MakeForm1();
    QElapsedTimer timer;
    timer.start();
    form.Start();
    const qint64 waited = timer.elapsed();
    QVERIFY2(waited < 30000, qPrintable(QString("start-up took %1 ms").arg(waited)));
    QVERIFY(form.isVisible());
    QVERIFY(form.TablesWindow() == nullptr);
    QVERIFY(world.dialogs.messages.empty());
    QVERIFY(silent.Accepted() >= 1);
    // The window kept handling events while the connect waited.
    QVERIFY(world.yielder.count > waited / 100);
  }

 private:
  static std::vector<std::string> Texts(const UiWorld& world) {
    std::vector<std::string> out;
    for (const auto& m : world.dialogs.messages) out.push_back(m.text);
    return out;
  }
};

int main(int argc, char** argv) {
  return RunWindowTest<EndToEndTest>(argc, argv);
}

#include "end_to_end_test.moc"
