// "Keep column types" in the tables window: unchecked at first, remembered in
// the settings store under KeepColumnTypes, and what both transfers follow.
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "ui_fixture.h"

using namespace vq;
using namespace vq::testing;

class TypedCheckBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    world_ = std::make_unique<UiWorld>();
    world_->StoreReachableSettings();
    FakeTable& orders = world_->access->tables["Orders"];
    FieldInfo id{"id", 3};
    id.nullable = false;
    id.key_position = 1;
    orders.columns = {id, FieldInfo{"when", 7}};
    orders.rows = {{Value{int64_t{1}}, Value{DateTime{2024, 2, 29, 13, 45, 30, 0}}}};
    FakeTable& remote = world_->ase->tables["Remote"];
    remote.columns = {FieldInfo{"flag", 11}, FieldInfo{"small", 17}};
    remote.rows = {{Value{true}, Value{int64_t{255}}}};
  }
  void cleanup() { world_.reset(); }

  void UncheckedAtFirstAndTheStatementsStayAsBefore() {
    Form2& tables = Start();
    QCheckBox* box = tables.KeepColumnTypes();
    QVERIFY(box);
    QVERIFY(box->focusPolicy() & Qt::TabFocus);
    QCOMPARE(box->text(), QStringLiteral("Keep column types"));
    QVERIFY(!box->isChecked());
    QCOMPARE(Stored("KeepColumnTypes"), std::string("(absent)"));
    SendBothWays(tables);
    QCOMPARE(world_->ase->executed.front(),
             std::string("CREATE TABLE [Orders]([id] INTEGER NULL,[when] TEXT NULL)"));
    QCOMPARE(world_->access->executed.front(),
             std::string("CREATE TABLE `Remote`(`flag` VARCHAR,`small` INT);"));
  }

  void ACheckIsRememberedAndMakesTypedTablesBothWays() {
    Form2& tables = Start();
    QTest::mouseClick(tables.KeepColumnTypes(), Qt::LeftButton);
    QVERIFY(tables.KeepColumnTypes()->isChecked());
    QCOMPARE(Stored("KeepColumnTypes"), std::string("1"));
    SendBothWays(tables);
    QCOMPARE(world_->ase->executed.front(),
             std::string("CREATE TABLE [Orders]([id] int NOT NULL,[when] datetime NULL,"
                         "PRIMARY KEY ([id]))"));
    QCOMPARE(world_->access->executed.front(),
             std::string("CREATE TABLE `Remote`(`flag` BIT,`small` BYTE);"));
    // Unchecked again, and remembered so.
    QTest::mouseClick(tables.KeepColumnTypes(), Qt::LeftButton);
    QVERIFY(!tables.KeepColumnTypes()->isChecked());
    QCOMPARE(Stored("KeepColumnTypes"), std::string("0"));
    QVERIFY2(world_->dialogs.messages.empty(),
             world_->dialogs.messages.empty() ? "" : world_->dialogs.messages[0].text.c_str());
  }

  void TheStoredChoiceIsRestoredAtTheNextStart() {
    Store("KeepColumnTypes", "1");
    QVERIFY(Start().KeepColumnTypes()->isChecked());
    world_.reset();
    init();
    Store("KeepColumnTypes", "0");
    QVERIFY(!Start().KeepColumnTypes()->isChecked());
  }

 private:
  Form2& Start() {
    world_->MakeForm1().Start();
    Form2* tables = world_->form1->TablesWindow();
    if (!tables) qFatal("the tables window did not open");
    return *tables;
  }

  // Sends Orders to ASE and Remote to Access.
  void SendBothWays(Form2& tables) {
    Select(tables.List1(), "Orders");
    QTest::mouseClick(tables.Button(3), Qt::LeftButton);
    Select(tables.List2(), "Remote");
    QTest::mouseClick(tables.Button(4), Qt::LeftButton);
  }

  static void Select(QtTableList& list, const std::string& name) {
    for (int i = 0; i < list.ListCount(); ++i) {
      list.SetSelected(i, list.List(i) == name);
      if (list.List(i) == name) list.SetListIndex(i);
    }
  }

  std::unique_ptr<UiWorld> world_;
};

int main(int argc, char** argv) {
  return RunWindowTest<TypedCheckBoxTest>(argc, argv);
}

#include "typed_check_box_test.moc"
