// The designed layout of both windows, the skin switch and the pointer rules.
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cmath>

#include "ui/form_metrics.h"
#include "ui/window_helpers.h"
#include "ui_fixture.h"

using namespace vq;
using namespace vq::testing;

namespace {

// One control of a layout table: name, caption, left, top, width, height in twips.
struct Designed {
  const char* name;
  const char* caption;
  int left, top, width, height;
};

const Designed kForm1[] = {
    {"Frame1", "Access Database", 120, 120, 7800, 1845},
    {"Label5", "MDB or ACCDB File:", 240, 345, 1935, 255},
    {"Text1", nullptr, 2280, 300, 4695, 345},
    {"PushButton1", "...", 7080, 300, 450, 345},
    {"lblPassword", "Password (if required):", 240, 840, 1950, 225},
    {"Text2", nullptr, 2280, 800, 5265, 345},
    {"PushButton7", "Load Sample/Example Database", 240, 1260, 7275, 405},
    {"Frame2", "Sybase ASE Database", 120, 2040, 7800, 2850},
    {"Label2", "Server:", 240, 405, 855, 255},
    {"Text3", nullptr, 1440, 360, 4215, 345},
    {"Label6", "Port:", 5880, 405, 495, 255},
    {"Text4", nullptr, 6480, 360, 1095, 345},
    {"Label1", "User:", 240, 885, 855, 255},
    {"Text5", nullptr, 1440, 840, 6135, 345},
    {"Label3", "Password:", 240, 1365, 975, 255},
    {"Text6", nullptr, 1440, 1320, 6135, 345},
    {"Label4", "Database:", 240, 1845, 855, 255},
    {"Text7", nullptr, 1440, 1800, 6135, 345},
    {"PushButton2", "Test Connection", 240, 2280, 3600, 405},
    {"PushButton3", "Help", 3960, 2280, 3600, 405},
    {"PushButton4", "Next >", 120, 5010, 7800, 405},
};

const Designed kForm2[] = {
    {"Frame1", "Access Tables", 120, 120, 3840, 4215},
    {"List1", nullptr, 240, 360, 3330, 1635},
    {"PushButton10", "Select All", 240, 2100, 1600, 400},
    {"PushButton11", "Deselect All", 1960, 2100, 1600, 400},
    {"PushButton3", "Send Table/s To Sybase ASE", 240, 2600, 3330, 400},
    {"PushButton1", "Delete Table/s", 240, 3100, 3330, 400},
    {"PushButton6", "Rename Table", 240, 3600, 3330, 400},
    {"Frame2", "Sybase ASE Tables", 4080, 120, 3840, 4215},
    {"List2", nullptr, 240, 360, 3330, 1635},
    {"PushButton8", "Select All", 240, 2100, 1600, 400},
    {"PushButton9", "Deselect All", 1960, 2100, 1600, 400},
    {"PushButton4", "Send Table/s To Access", 240, 2600, 3330, 400},
    {"PushButton5", "Delete Table/s", 240, 3100, 3330, 400},
    {"PushButton7", "Rename Table", 240, 3600, 3330, 400},
    {"ProgressBar1", nullptr, 120, 4460, 7800, 405},
    {"PushButton2", "< Back", 120, 4980, 3840, 405},
    {"PushButton12", "Help", 4080, 4980, 3840, 405},
};

int Pixels(int twips) {
  const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

QString CaptionOf(QWidget* w) {
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

void CheckLayout(QWidget& window, const Designed* begin, const Designed* end) {
  for (const Designed* d = begin; d != end; ++d) {
    QWidget* w = window.findChild<QWidget*>(QString::fromLatin1(d->name));
    QVERIFY2(w, d->name);
    QCOMPARE(w->geometry(),
             QRect(Pixels(d->left), Pixels(d->top), Pixels(d->width), Pixels(d->height)));
    if (d->caption) QCOMPARE(CaptionOf(w), QString::fromUtf8(d->caption));
    const double points = qobject_cast<QPushButton*>(w) ? 11.25 : 9.0;
    if (!qobject_cast<QProgressBar*>(w)) {
      QCOMPARE(w->font().family(), QStringLiteral("Arial"));
      QCOMPARE(w->font().pointSizeF(), points);
      QVERIFY(w->font().bold());
    }
  }
}

// The focusable controls in the order Tab visits them, from `first`.
QStringList TabOrder(QWidget* first, int count) {
  QStringList names;
  QWidget* w = first;
  while (names.size() < count) {
    if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty()) names << w->objectName();
    w = w->nextInFocusChain();
  }
  return names;
}

// Moves the mouse onto a point of `w` that its children don't cover.
void MoveOver(QWidget* w) {
  QWidget* window = w->window();
  window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window));
  QTest::mouseMove(w, QPoint(2, 2));
  QCoreApplication::processEvents();
}

}  // namespace

class LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void ConnectionWindowMatchesItsDesign() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    QCOMPARE(form.size(), QSize(Pixels(8040), Pixels(5520)));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    CheckLayout(form, std::begin(kForm1), std::end(kForm1));
    QCOMPARE(form.Field(Setting::kAccessPassword)->echoMode(), QLineEdit::Password);
    QCOMPARE(form.Field(Setting::kAsePassword)->echoMode(), QLineEdit::Normal);
    QCOMPARE(TabOrder(form.Field(Setting::kAseServer), 12),
             (QStringList{"Text3", "Text4", "Text5", "Text6", "Text7", "PushButton2", "PushButton3",
                          "PushButton4", "Text1", "Text2", "PushButton1", "PushButton7"}));
    // Without the skin file the window keeps its white backgrounds.
    for (const char* name : {"Form1", "Frame1", "Frame2", "Label5", "Label4"}) {
      QWidget* w = name == std::string("Form1") ? &form : form.findChild<QWidget*>(name);
      QCOMPARE(w->palette().color(QPalette::Window), QColor(Qt::white));
    }
  }

  void SkinFileTurnsTheConnectionWindowToButtonFace() {
    UiWorld world;
    world.InstallSkinFile();
    Form1& form = world.MakeForm1();
    form.Start();
    for (const char* name : {"Frame1", "Frame2", "Label5", "lblPassword", "Label4"}) {
      QCOMPARE(form.findChild<QWidget*>(name)->palette().color(QPalette::Window),
               ButtonFaceColor());
    }
    QCOMPARE(form.palette().color(QPalette::Window), ButtonFaceColor());
  }

  void TablesWindowMatchesItsDesign() {
    UiWorld world;
    world.StoreReachableSettings();
    Form1& form = world.MakeForm1();
    form.Start();
    Form2* tables = form.TablesWindow();
    QVERIFY(tables);
    QCOMPARE(tables->width(), Pixels(8040));
    QVERIFY(!(tables->windowFlags() & Qt::WindowMaximizeButtonHint));
    CheckLayout(*tables, std::begin(kForm2), std::end(kForm2));
    QCOMPARE(tables->List1().selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(tables->List2().selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(tables->focusWidget(), static_cast<QWidget*>(&tables->List2()));
    QCOMPARE(
        TabOrder(&tables->List2(), 16),
        (QStringList{"List2", "List1", "PushButton10", "PushButton11", "PushButton3", "PushButton1",
                     "PushButton6", "PushButton8", "PushButton9", "PushButton4", "PushButton5",
                     "PushButton7", "PushButton2", "PushButton12", "List2", "List1"}));
  }

  // The style paints a group box title itself: check that it paints it in the
  // box's bold font and not in a font of its own.
  void GroupBoxTitlesArePaintedBold() {
    UiWorld world;
    Form1& form = world.MakeForm1();
    form.Start();
    for (const char* name : {"Frame1", "Frame2"}) {
      auto* box = form.findChild<QGroupBox*>(name);
      const QRect title(0, 0, box->width(), box->fontMetrics().height());
      const QImage bold = box->grab(title).toImage();
      QFont plain = box->font();
      plain.setBold(false);
      box->setFont(plain);
      const QImage regular = box->grab(title).toImage();
      box->setFont(FieldFont());
      QVERIFY2(bold != regular, name);
      QCOMPARE(box->grab(title).toImage(), bold);
    }
  }

  void PointerFollowsTheConvention() {
    UiWorld world;
    world.InstallHandCursor();
    Form1& form = world.MakeForm1();
    form.Start();
    QtWindowPointer& pointer = form.Pointer();
    auto* button = form.findChild<QPushButton*>("PushButton4");
    MoveOver(button);
    QCOMPARE(pointer.Pointer(), kPointerCustom);
    QCOMPARE(button->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(button->cursor().hotSpot(), QPoint(10, 1));
    // Labels change nothing.
    MoveOver(form.findChild<QLabel*>("Label2"));
    QCOMPARE(pointer.Pointer(), kPointerCustom);
    MoveOver(form.Field(Setting::kAseUser));
    QCOMPARE(pointer.Pointer(), kPointerDefault);
    MoveOver(button);
    MoveOver(form.findChild<QGroupBox*>("Frame2"));
    QCOMPARE(pointer.Pointer(), kPointerDefault);
    // The hourglass covers the whole window and nothing moves it.
    pointer.SetPointer(kPointerHourglass);
    QCOMPARE(form.Field(Setting::kAseUser)->cursor().shape(), Qt::WaitCursor);
    MoveOver(button);
    MoveOver(&form);
    QCOMPARE(pointer.Pointer(), kPointerHourglass);
    QCOMPARE(button->cursor().shape(), Qt::WaitCursor);
  }

  void WithoutTheHandFileButtonsShowTheArrow() {
    UiWorld world;
    world.StoreReachableSettings();
    Form1& form = world.MakeForm1();
    form.Start();
    Form2* tables = form.TablesWindow();
    QVERIFY(tables);
    MoveOver(tables->Button(12));
    QCOMPARE(tables->Pointer().Pointer(), kPointerCustom);
    QCOMPARE(tables->Button(12)->cursor().shape(), Qt::ArrowCursor);
    // The progress bar changes nothing; a list sets the default.
    MoveOver(tables->findChild<QProgressBar*>("ProgressBar1"));
    QCOMPARE(tables->Pointer().Pointer(), kPointerCustom);
    MoveOver(tables->List1().viewport());
    QCOMPARE(tables->Pointer().Pointer(), kPointerDefault);
  }
};

int main(int argc, char** argv) {
  return RunWindowTest<LayoutTest>(argc, argv);
}

#include "layout_test.moc"
