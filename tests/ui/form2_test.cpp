// The tables window: start-up, select and deselect, back, help, the transfers,
// delete and rename.
#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "ui/form_metrics.h"
#include "ui/window_helpers.h"
#include "ui_fixture.h"

using namespace vq;
using namespace vq::testing;

namespace {

std::string Name(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "t%03d", i);
  return buf;
}

}  // namespace

class Form2Test : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    world_ = std::make_unique<UiWorld>();
    world_->StoreReachableSettings();
    AddTable(*world_->access, "Orders");
    world_->MakeForm1().Start();
    tables_ = world_->form1->TablesWindow();
    QVERIFY(tables_);
  }
  void cleanup() { world_.reset(); }

  void StartUpGivesCaptionColoursAndHeight() {
    QCOMPARE(tables_->windowTitle(), QStringLiteral("Vellquist"));
    QVERIFY(!tables_->windowIcon().isNull());
    const QColor face = ButtonFaceColor();
    QCOMPARE(tables_->palette().color(QPalette::Window), face);
    QVERIFY(tables_->autoFillBackground());
    for (const char* frame : {"Frame1", "Frame2"}) {
      QWidget* box = tables_->findChild<QWidget*>(frame);
      QCOMPARE(box->palette().color(QPalette::Window), face);
    }
    // The outer height of 5965 twips, less the title bar and borders.
    QCOMPARE(tables_->height(), Px(5965 - 460));
    QCOMPARE(tables_->minimumSize(), tables_->maximumSize());
  }

  void SelectAllAndDeselectAllCoverEveryEntryOfOneList() {
    QtTableList& access = tables_->List1();
    QtTableList& ase = tables_->List2();
    access.Clear();
    ase.Clear();
    for (int i = 299; i >= 0; --i) access.AddItem(Name(i));
    ase.AddItem("kept");
    QCOMPARE(access.ListCount(), 300);
    QTest::mouseClick(tables_->Button(10), Qt::LeftButton);
    QCOMPARE(access.SelCount(), 300);
    QCOMPARE(ase.SelCount(), 0);
    QTest::mouseClick(tables_->Button(11), Qt::LeftButton);
    QCOMPARE(access.SelCount(), 0);

    for (int i = 0; i < 300; ++i) ase.AddItem(Name(i));
    QTest::mouseClick(tables_->Button(8), Qt::LeftButton);
    QCOMPARE(ase.SelCount(), 301);
    QCOMPARE(access.SelCount(), 0);
    QTest::mouseClick(tables_->Button(9), Qt::LeftButton);
    QCOMPARE(ase.SelCount(), 0);
    QVERIFY(world_->dialogs.messages.empty());
  }

  void SelectAllOnAnEmptyListDoesNothing() {
    tables_->List1().Clear();
    QTest::mouseClick(tables_->Button(10), Qt::LeftButton);
    QTest::mouseClick(tables_->Button(11), Qt::LeftButton);
    QCOMPARE(tables_->List1().ListCount(), 0);
    QVERIFY(world_->dialogs.messages.empty());
  }

  void HelpShowsTheContactText() {
    QTest::mouseClick(tables_->Button(12), Qt::LeftButton);
    QCOMPARE(world_->dialogs.messages.size(), size_t{1});
    const std::string text = world_->dialogs.messages[0].text;
    const std::string prefix = "Questions? Please contact Team Zelvora at ";
    QCOMPARE(text, prefix + VQ_CONTACT_PAGE);
    QVERIFY(text.size() > prefix.size() + 9);
    QCOMPARE(text.substr(text.size() - 9), std::string("/contact/"));
    QCOMPARE(world_->dialogs.messages[0].style, kMsgOkOnly);
    QCOMPARE(world_->dialogs.messages[0].title, std::string("Vellquist"));
  }

  void BackKeepsEntriesAndSelections() {
    tables_->List1().SetSelected(0, true);
    QTest::mouseClick(tables_->Button(2), Qt::LeftButton);
    QVERIFY(world_->form1->isVisible());
    QVERIFY(!tables_->isVisible());
    QCOMPARE(tables_->List1().SelCount(), 1);
  }

  void SendToAseMovesTheBarKeepsTheListsAndHoldsOffOtherClicks() {
    FakeTable& orders = world_->access->tables["Orders"];
    orders.columns = {FieldInfo{"n", 3}};
    for (int64_t i = 1; i <= 4; ++i) orders.rows.push_back({Value{i}});
    tables_->List1().SetSelected(0, true);
    tables_->List1().SetListIndex(0);
    std::vector<int> bar;
    connect(&tables_->ProgressBar1(), &QProgressBar::valueChanged,
            [&](int v) { bar.push_back(v); });
    // A click on "Select All" of the ASE list while the transfer yields.
    int clicks = 0;
    world_->yielder.hook = [&] {
      if (clicks++ == 0) QTest::mouseClick(tables_->Button(8), Qt::LeftButton);
    };
    tables_->List2().AddItem("other");
    QTest::mouseClick(tables_->Button(3), Qt::LeftButton);
    world_->yielder.hook = nullptr;
    QVERIFY(clicks > 0);
    QCOMPARE(tables_->List2().SelCount(), 0);
    QCOMPARE(Entries(tables_->List2()), (std::vector<std::string>{"Orders", "other"}));
    QCOMPARE(world_->ase->executed.size(), size_t{5});
    QCOMPARE(world_->ase->executed[0], std::string("CREATE TABLE [Orders]([n] INTEGER NULL)"));
    QCOMPARE(bar, (std::vector<int>{25, 50, 75, 100, 0}));
    QVERIFY(world_->dialogs.messages.empty());
  }

  void SendToAccessFillsTheAccessList() {
    FakeTable& remote = world_->ase->tables["Remote"];
    remote.columns = {FieldInfo{"n", 3}, FieldInfo{"t", 200, 10}};
    remote.rows = {{Value{int64_t{1}}, Value{std::string("a")}},
                   {Value{int64_t{2}}, Value{std::string("b")}}};
    tables_->List2().AddItem("Remote");
    tables_->List2().SetSelected(0, true);
    tables_->List2().SetListIndex(0);
    std::vector<int> bar;
    connect(&tables_->ProgressBar1(), &QProgressBar::valueChanged,
            [&](int v) { bar.push_back(v); });
    QTest::mouseClick(tables_->Button(4), Qt::LeftButton);
    QCOMPARE(Entries(tables_->List1()), (std::vector<std::string>{"Orders", "Remote"}));
    QCOMPARE(world_->access->executed,
             (std::vector<std::string>{"CREATE TABLE `Remote`(`n` INT,`t` VARCHAR);",
                                       "INSERT INTO `Remote` VALUES('1', 'a')",
                                       "INSERT INTO `Remote` VALUES('2', 'b')"}));
    QCOMPARE(bar, (std::vector<int>{50, 100, 0}));
  }

  void CommandButtonsShowTheirCaptions() {
    const std::pair<int, const char*> captions[] = {
        {3, "Send Table/s To Sybase ASE"}, {1, "Delete Table/s"}, {6, "Rename Table"},
        {4, "Send Table/s To Access"},     {5, "Delete Table/s"}, {7, "Rename Table"}};
    for (const auto& [number, caption] : captions) {
      QCOMPARE(tables_->Button(number)->text(), QString::fromLatin1(caption));
    }
  }

  void DeleteAccessDropsTheSelectedTablesAndTheirEntries() {
    AddTable(*world_->access, "Sales");
    QtTableList& list = tables_->List1();
    list.AddItem("Sales");
    list.AddItem("Kept");
    for (int i = 0; i < list.ListCount(); ++i) list.SetSelected(i, list.List(i) != "Kept");
    list.SetListIndex(0);
    QTest::mouseClick(tables_->Button(1), Qt::LeftButton);
    QCOMPARE(world_->access->executed,
             (std::vector<std::string>{"DROP TABLE `Sales`;", "DROP TABLE `Orders`;"}));
    QCOMPARE(Entries(list), (std::vector<std::string>{"Kept"}));
    QVERIFY(world_->dialogs.messages.empty());
    QCOMPARE(tables_->Pointer().Pointer(), kPointerDefault);
  }

  void DeleteAseDropsTheSelectedTablesAndTheirEntries() {
    QtTableList& list = tables_->List2();
    list.AddItem("Remote");
    list.SetSelected(0, true);
    list.SetListIndex(0);
    QTest::mouseClick(tables_->Button(5), Qt::LeftButton);
    QCOMPARE(world_->ase->executed, (std::vector<std::string>{"DROP TABLE [Remote]"}));
    QCOMPARE(list.ListCount(), 0);
    QCOMPARE(Entries(tables_->List1()), (std::vector<std::string>{"Orders"}));
  }

  void RenameAccessReplacesTheEntry() {
    tables_->List1().SetSelected(0, true);
    tables_->List1().SetListIndex(0);
    world_->dialogs.input_answers = {"Bestellungen"};
    QTest::mouseClick(tables_->Button(6), Qt::LeftButton);
    QCOMPARE(world_->dialogs.inputs.size(), size_t{1});
    QCOMPARE(world_->dialogs.inputs[0].text, std::string("Enter new name of Orders:"));
    QCOMPARE(world_->access->executed,
             (std::vector<std::string>{"ALTER TABLE `Orders` RENAME TO `Bestellungen`;"}));
    QCOMPARE(Entries(tables_->List1()), (std::vector<std::string>{"Bestellungen"}));
    QCOMPARE(tables_->Pointer().Pointer(), kPointerDefault);
  }

  void RenameAseOnlySaysItIsNotAvailable() {
    tables_->List2().AddItem("Remote");
    tables_->List2().SetSelected(0, true);
    QTest::mouseClick(tables_->Button(7), Qt::LeftButton);
    QCOMPARE(world_->dialogs.messages.size(), size_t{1});
    QCOMPARE(world_->dialogs.messages[0].text, std::string("Rename not available for Sybase ASE"));
    QVERIFY(world_->ase->executed.empty());
    QCOMPARE(Entries(tables_->List2()), (std::vector<std::string>{"Remote"}));
  }

  void TableCommandsAreHeldOffWhileATransferYields() {
    FakeTable& orders = world_->access->tables["Orders"];
    orders.columns = {FieldInfo{"n", 3}};
    for (int64_t i = 1; i <= 4; ++i) orders.rows.push_back({Value{i}});
    tables_->List1().SetSelected(0, true);
    tables_->List1().SetListIndex(0);
    tables_->List2().AddItem("other");
    tables_->List2().SetSelected(0, true);
    tables_->List2().SetListIndex(0);
    world_->dialogs.input_answers = {"Renamed"};
    int clicks = 0;
    world_->yielder.hook = [&] {
      if (clicks++ > 0) return;
      for (int button : {1, 5, 6, 7}) QTest::mouseClick(tables_->Button(button), Qt::LeftButton);
    };
    QTest::mouseClick(tables_->Button(3), Qt::LeftButton);
    world_->yielder.hook = nullptr;
    QVERIFY(clicks > 0);
    for (const auto& sql : world_->access->executed) QVERIFY(sql.rfind("DROP", 0) != 0);
    for (const auto& sql : world_->ase->executed) QVERIFY(sql.rfind("DROP", 0) != 0);
    QVERIFY(world_->dialogs.inputs.empty());
    QVERIFY(world_->dialogs.messages.empty());
    QCOMPARE(Entries(tables_->List1()), (std::vector<std::string>{"Orders"}));
    QCOMPARE(Entries(tables_->List2()), (std::vector<std::string>{"Orders", "other"}));
  }

 private:
  std::unique_ptr<UiWorld> world_;
  Form2* tables_ = nullptr;
};

int main(int argc, char** argv) {
  return RunWindowTest<Form2Test>(argc, argv);
}

#include "form2_test.moc"
