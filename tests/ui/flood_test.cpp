// The tables window when every row of a table would fail: a target that
// cannot be written gives one report, not one a row, and a server that runs
// out of space asks once whether to go on. Real providers, an Access file made
// for the test and the ASE test server.
#include <sys/stat.h>

#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "dataaccess/error_report.h"
#include "dataaccess/session.h"
#include "jet/database.h"
#include "support/ase_server_fixture.h"
#include "transfer/transfer.h"
#include "ui_fixture.h"

using namespace vq;
using namespace vq::testing;

namespace {

std::string AseString(const AseServerFixture& server) {
  return "Provider=ASEOLEDB;Data Source=" + server.address() + ";User Id=" + server.user() +
         ";Password=" + server.password() + ";;Catalog=" + server.database();
}

std::string AccessString(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Jet OLEDB:Database Password=";
}

// Makes a new Access file at `path` and runs `statements` on it.
void MakeAccessFile(const std::string& path, const std::vector<std::string>& statements) {
  jet::Database::Create(path, jet::NewFormat::kAccess2003, "");
  DatabaseSession db;
  db.Open(AccessString(path));
  for (const std::string& sql : statements) db.Execute(sql);
  db.Close();
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

class FloodTest : public QObject {
  Q_OBJECT

 private slots:
  void AReadOnlyAccessTargetGivesOneReportAndNoEntry() {
    AseServerFixture server;
    {
      DatabaseSession db;
      db.Open(AseString(server));
      db.Execute("CREATE TABLE [Big]([n] INT, [label] VARCHAR(20) NULL)");
      std::vector<std::string> rows;
      for (int i = 1; i <= 5000; ++i) {
        rows.push_back("INSERT INTO [Big] VALUES(" + std::to_string(i) + ", 'row " +
                       std::to_string(i) + "')");
      }
      std::vector<std::string_view> views(rows.begin(), rows.end());
      std::vector<std::exception_ptr> outcomes;
      QCOMPARE(db.ExecuteBatch(views, outcomes), views.size());
      QVERIFY(std::none_of(outcomes.begin(), outcomes.end(), [](auto& e) { return bool(e); }));
    }
    UiWorld world(false);
    const std::string file = (world.folder() + "/readonly.mdb").toStdString();
    MakeAccessFile(file, {"CREATE TABLE `Kept` (`n` LONG)"});
    QCOMPARE(::chmod(file.c_str(), 0444), 0);
    Store("AccessMDBFile", file);
    Store("ASEServer", "127.0.0.1");
    Store("ASEPort", std::to_string(server.port()));
    Store("ASEUser", server.user());
    Store("ASEPassword", server.password());
    Store("ASEDatabase", server.database());
    world.MakeForm1().Start();
    Form2* tables = world.form1->TablesWindow();
    QVERIFY(tables && tables->isVisible());
    QCOMPARE(Entries(tables->List1()), std::vector<std::string>{"Kept"});
    QCOMPARE(Entries(tables->List2()), std::vector<std::string>{"Big"});

    tables->List2().SetSelected(0, true);
    tables->List2().SetListIndex(0);
    QTest::mouseClick(tables->Button(4), Qt::LeftButton);

    // One report, for the CREATE TABLE the file refused; no row was tried.
    QCOMPARE(world.dialogs.messages.size(), size_t{1});
    const auto& report = world.dialogs.messages[0];
    QCOMPARE(report.title, std::string(kErrorReportTitle));
    QVERIFY2(report.text.find("read-only") != std::string::npos, report.text.c_str());
    QVERIFY2(report.text.find("sql: CREATE TABLE `Big`(") != std::string::npos,
             report.text.c_str());
    QCOMPARE(Entries(tables->List1()), std::vector<std::string>{"Kept"});

    // Overwriting a table the file has: the refused DROP is the one report,
    // and the table keeps its entry.
    {
      DatabaseSession db;
      db.Open(AseString(server));
      db.Execute("CREATE TABLE [Kept]([n] INT)");
      db.Execute("INSERT INTO [Kept] VALUES(1)");
    }
    tables->List2().AddItem("Kept");
    for (int i = 0; i < tables->List2().ListCount(); ++i) {
      tables->List2().SetSelected(i, tables->List2().List(i) == "Kept");
    }
    world.dialogs.yes_no_answers = {kAnswerYes};
    QTest::mouseClick(tables->Button(4), Qt::LeftButton);
    QCOMPARE(world.dialogs.messages.size(), size_t{3});
    QCOMPARE(world.dialogs.messages[1].text, std::string("Would you like to overwrite Kept?"));
    const std::string& drop = world.dialogs.messages[2].text;
    QVERIFY2(drop.find("read-only") != std::string::npos, drop.c_str());
    QVERIFY2(drop.find("at line 140") != std::string::npos, drop.c_str());
    QCOMPARE(Entries(tables->List1()), std::vector<std::string>{"Kept"});

    // The window is still usable: the pointer is back, the bar at rest, and
    // the next command works.
    QVERIFY(tables->isVisible() && tables->isEnabled());
    QCOMPARE(tables->Pointer().Pointer(), kPointerDefault);
    QCOMPARE(tables->ProgressBar1().Value(), 0);
    tables->List1().AddItem("Other");
    QTest::mouseClick(tables->Button(10), Qt::LeftButton);  // Select All of the Access list
    QCOMPARE(tables->List1().SelCount(), 2);
    QCOMPARE(world.dialogs.messages.size(), size_t{3});
    // The file is as it was.
    DatabaseSession db;
    db.Open(AccessString(file));
    RecordSet rs = db.OpenSchema(kAdSchemaTables);
    std::vector<std::string> names;
    for (; !rs.Eof(); rs.MoveNext()) {
      if (ToText(rs.Fields().Item("TABLE_TYPE").Value()) == "TABLE")
        names.push_back(ToText(rs.Fields().Item("TABLE_NAME").Value()));
    }
    QCOMPARE(names, std::vector<std::string>{"Kept"});
  }

  void AFullServerAsksOnceAndNoGoesOnWithTheNextTable() {
    AseServerOptions options;
    // Each text value takes a page of its own: a few dozen rows fill 40.
    options.extra_args = {"--max-pages", "40"};
    AseServerFixture server(options);
    UiWorld world(false);
    const std::string file = (world.folder() + "/source.mdb").toStdString();
    std::vector<std::string> statements = {"CREATE TABLE `Full` (`n` LONG, `memo` MEMO)",
                                           "CREATE TABLE `Alpha` (`n` LONG)"};
    for (int i = 1; i <= 300; ++i) {
      statements.push_back("INSERT INTO `Full` VALUES(" + std::to_string(i) + ", 'memo " +
                           std::to_string(i) + "')");
    }
    MakeAccessFile(file, statements);
    Store("AccessMDBFile", file);
    Store("ASEServer", "127.0.0.1");
    Store("ASEPort", std::to_string(server.port()));
    Store("ASEUser", server.user());
    Store("ASEPassword", server.password());
    Store("ASEDatabase", server.database());
    world.MakeForm1().Start();
    Form2* tables = world.form1->TablesWindow();
    QVERIFY(tables);
    QCOMPARE(Entries(tables->List1()), (std::vector<std::string>{"Alpha", "Full"}));
    QTest::mouseClick(tables->Button(10), Qt::LeftButton);  // Select All of the Access list
    world.dialogs.yes_no_answers = {kAnswerNo};
    QTest::mouseClick(tables->Button(3), Qt::LeftButton);

    // Full goes first, from the bottom of the list; the rows that fitted are
    // on the server.
    DatabaseSession db;
    db.Open(AseString(server));
    RecordSet rs;
    rs.Open("SELECT [n] FROM [Full] ORDER BY [n]", db);
    int fitted = 0;
    for (; !rs.Eof(); rs.MoveNext()) {
      QCOMPARE(ToText(rs.Fields().Item(0).Value()), std::to_string(++fitted));
    }
    QVERIFY2(fitted > 0 && fitted < 290, std::to_string(fitted).c_str());

    // Ten reports of the full segment, each with its row's statement, then
    // the question once, answered No: nothing more of Full.
    const auto& shown = world.dialogs.messages;
    QCOMPARE(shown.size(), size_t{11});
    for (int i = 0; i < 10; ++i) {
      const int row = fitted + 1 + i;
      QCOMPARE(shown[i].title, std::string(kErrorReportTitle));
      QVERIFY2(shown[i].text.find("segment is full") != std::string::npos, shown[i].text.c_str());
      const std::string sql = "sql: INSERT INTO [Full] VALUES(" + std::to_string(row) + ", 'memo " +
                              std::to_string(row) + "')";
      QVERIFY2(shown[i].text.ends_with(sql), shown[i].text.c_str());
    }
    QCOMPARE(
        shown[10].text,
        std::string("The last 10 rows of Full failed with the same error. Go on sending Full?"));
    QCOMPARE(shown[10].style & kMsgYesNo, kMsgYesNo);

    // The transfer went on with Alpha; both tables are on the server and listed.
    QCOMPARE(Sorted(Entries(tables->List2())), (std::vector<std::string>{"Alpha", "Full"}));
    RecordSet alpha;
    alpha.Open("SELECT count(*) FROM [Alpha]", db);
    QCOMPARE(ToText(alpha.Fields().Item(0).Value()), std::string("0"));
    QCOMPARE(tables->Pointer().Pointer(), kPointerDefault);
  }
};

int main(int argc, char** argv) {
  return RunWindowTest<FloodTest>(argc, argv);
}

#include "flood_test.moc"
