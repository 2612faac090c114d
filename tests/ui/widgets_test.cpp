// The pieces under the windows: the sorted list, the cursor file reader and
// the command guard.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "dataaccess/error.h"
#include "dataaccess/memory_interaction.h"
#include "ui/command_guard.h"
#include "ui/cursor_file.h"
#include "ui/qt_interaction.h"
#include "ui/qt_table_list.h"
#include "ui_fixture.h"

using namespace vq;

namespace {

QByteArray OurHandCursor() {
  QFile file(QStringLiteral(VQ_SOURCE_DIR "/resources/HAND-M.CUR"));
  file.open(QIODevice::ReadOnly);
  return file.readAll();
}

}  // namespace

class WidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void ListKeepsCaseInsensitiveOrder() {
    QtTableList list;
    list.AddItem("alpha");
    list.AddItem("omega");
    list.AddItem("zeta");
    QCOMPARE(list.List(2), std::string("zeta"));
    list.AddItem("Beta");
    QCOMPARE(testing::Entries(list), (std::vector<std::string>{"alpha", "Beta", "omega", "zeta"}));
    list.AddItem("BETA");
    list.AddItem("beta");
    QCOMPARE(list.List(1), std::string("BETA"));
    QCOMPARE(list.List(3), std::string("beta"));
    QCOMPARE(list.ListIndex(), -1);
  }

  void CurrentEntryMovesWithoutTouchingTheSelection() {
    QtTableList list;
    for (const char* n : {"a", "b", "c"}) list.AddItem(n);
    list.SetSelected(2, true);
    list.SetListIndex(0);
    QCOMPARE(list.ListIndex(), 0);
    QCOMPARE(list.SelCount(), 1);
    QVERIFY(list.Selected(2));
    QVERIFY(!list.Selected(0));
    list.SetListIndex(-1);
    QCOMPARE(list.ListIndex(), -1);
    list.RemoveItem(2);
    QCOMPARE(list.SelCount(), 0);
    QCOMPARE(list.ListCount(), 2);
  }

  void ListRefusesIndexesOutsideIt() {
    QtTableList list;
    list.AddItem("only");
    for (int bad : {-1, 1, 1000}) {
      QVERIFY_THROWS_EXCEPTION(DatabaseError, list.List(bad));
      QVERIFY_THROWS_EXCEPTION(DatabaseError, list.SetSelected(bad, true));
      QVERIFY_THROWS_EXCEPTION(DatabaseError, list.RemoveItem(bad));
    }
    QVERIFY_THROWS_EXCEPTION(DatabaseError, list.SetListIndex(5));
    QCOMPARE(list.ListCount(), 1);
  }

  void CursorFileGivesImageAndHotspot() {
    QCursor cursor = DecodeCursorFile(OurHandCursor());
    QCOMPARE(cursor.hotSpot(), QPoint(10, 1));
    QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
    // The hotspot sits on the drawn fingertip, not on a transparent pixel.
    QVERIFY(cursor.pixmap().toImage().pixelColor(10, 1).alpha() > 0);
  }

  void MalformedCursorFilesAreRefused() {
    const QByteArray good = OurHandCursor();
    QByteArray wrong_type = good;
    wrong_type[2] = 1;  // an icon, not a cursor
    QByteArray no_images = good;
    no_images[4] = 0;
    QByteArray past_end = good;
    past_end[18] = '\x7f';  // image offset far past the file
    QByteArray huge_size = good;
    huge_size[14] = '\xff';
    huge_size[15] = '\xff';
    huge_size[16] = '\xff';
    huge_size[17] = '\x7f';
    for (const QByteArray& bad : {QByteArray(), good.left(21), wrong_type, no_images, past_end,
                                  huge_size, good.left(good.size() / 2)}) {
      QVERIFY_THROWS_EXCEPTION(std::runtime_error, DecodeCursorFile(bad));
    }
    QVERIFY(!LoadCursorFile(QStringLiteral("/no/such/HAND-M.CUR")).has_value());
  }

  void GuardLetsOneCommandRunAtATime() {
    QVERIFY(!CommandScope::CommandRunning());
    {
      CommandScope outer;
      QVERIFY(outer.Acquired());
      CommandScope inner;
      QVERIFY(!inner.Acquired());
      QVERIFY(CommandScope::CommandRunning());
    }
    QVERIFY(!CommandScope::CommandRunning());
    CommandScope again;
    QVERIFY(again.Acquired());
  }

  void BoxesAndTheProgressBarReadStylesAsTheDoublesDo() {
    // Each box is answered by a timer: it notes the buttons and the icon the
    // box shows and presses No where there is one, else OK.
    struct Seen {
      QMessageBox::StandardButtons buttons;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    std::vector<Seen> seen;
    auto answer_next_box = [&] {
      QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        seen.push_back({box->standardButtons(), box->icon()});
        QAbstractButton* press = box->button(QMessageBox::No);
        if (press == nullptr) press = box->button(QMessageBox::Ok);
        QVERIFY(press != nullptr);
        press->click();
      });
    };
    QtUserDialogs qt;
    ScriptedDialogs memory;
    const int styles[] = {kMsgYesNo + kMsgQuestion, kMsgYesNo, kMsgExclamation, kMsgOkOnly,
                          kMsgOkOnly + kMsgInformation};
    for (int style : styles) {
      answer_next_box();
      memory.yes_no_answers = {kAnswerNo};
      QCOMPARE(qt.MsgBox("text", style, ""), memory.MsgBox("text", style, ""));
    }
    QCOMPARE(seen.size(), std::size(styles));
    const auto yes_no = QMessageBox::Yes | QMessageBox::No;
    QCOMPARE(seen[0].buttons, yes_no);
    QCOMPARE(seen[0].icon, QMessageBox::Question);
    QCOMPARE(seen[1].buttons, yes_no);
    QCOMPARE(seen[1].icon, QMessageBox::NoIcon);
    QCOMPARE(seen[2].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(seen[2].icon, QMessageBox::Warning);
    QCOMPARE(seen[3].icon, QMessageBox::NoIcon);
    QCOMPARE(seen[4].icon, QMessageBox::Information);

    QtProgressBar qt_bar;
    MemoryProgressBar memory_bar;
    for (int percent : {0, 57, 100, 150, -4}) {
      qt_bar.SetValue(percent);
      memory_bar.SetValue(percent);
      QCOMPARE(qt_bar.Value(), memory_bar.Value());
    }
    QCOMPARE(memory_bar.Value(), 0);
  }

  void MessageLinesBreakAtEveryCarriageReturn() {
    QCOMPARE(DisplayText("a\r\nb\r\rc"), QStringLiteral("a\nb\n\nc"));
    QCOMPARE(DisplayText("\xe2\x80\x93"), QString(QChar(0x2013)));
  }
};

int main(int argc, char** argv) {
  testing::PrepareUiTestProcess();
  QApplication app(argc, argv);
  WidgetsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "widgets_test.moc"
