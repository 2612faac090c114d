#include "ui/window_helpers.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QUrl>
#include <filesystem>

#include "ui/form_metrics.h"
#include "ui/window_logic.h"

namespace vq {

std::string ProgramFolder() {
  std::string folder = QCoreApplication::applicationDirPath().toStdString();
  while (folder.size() > 1 && folder.back() == std::filesystem::path::preferred_separator) {
    folder.pop_back();
  }
  return folder;
}

std::string InProgramFolder(const std::string& folder, const std::vector<std::string>& parts) {
  std::string path = folder;
  for (const std::string& part : parts) {
    path += std::filesystem::path::preferred_separator;
    path += part;
  }
  return path;
}

void CenterWindow(QWidget& window) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const double dpi = ScreenDpi();
  const QSize screen_px = screen->geometry().size();
  const QSize window_px = window.frameGeometry().size();
  const WindowPosition at = CenteredPosition(
      PixelsToTwips(screen_px.width(), dpi), PixelsToTwips(screen_px.height(), dpi),
      PixelsToTwips(window_px.width(), dpi), PixelsToTwips(window_px.height(), dpi));
  window.move(screen->geometry().topLeft() +
              QPoint(TwipsToPixels(at.left, dpi), TwipsToPixels(at.top, dpi)));
}

QColor ButtonFaceColor() {
  return QApplication::palette().color(QPalette::Button);
}

void SetBackground(QWidget& widget, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, colour);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

void ApplyButtonFaceColors(QWidget& window) {
  const QColor face = ButtonFaceColor();
  SetBackground(window, face);
  for (QGroupBox* box : window.findChildren<QGroupBox*>()) SetBackground(*box, face);
  for (QLabel* label : window.findChildren<QLabel*>()) SetBackground(*label, face);
}

bool SkinFilePresent(const std::string& folder) {
  QFileInfo info(QString::fromStdString(InProgramFolder(folder, {"x", "o.cjs"})));
  return info.exists() && info.isFile() && !info.isHidden();
}

void ApplySkin(QWidget& connection_window, const std::string& folder) {
  if (!SkinFilePresent(folder)) return;
  ApplyButtonFaceColors(connection_window);
}

void VisitHomePageOccasionally() {
  VisitHomePageOccasionally(
      [](const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); });
}

void PointerFeedback::Watch(QWidget& widget, int code) {
  widget.setProperty("vqPointerCode", code);
  widget.setMouseTracking(true);
  // Buttons ignore moves, which Qt then hands to the container: stop there, or
  // the window background would undo the button's pointer at once.
  widget.setAttribute(Qt::WA_NoMousePropagation, true);
  widget.installEventFilter(this);
  // A list's mouse events arrive at its viewport.
  if (auto* area = qobject_cast<QAbstractScrollArea*>(&widget)) {
    area->viewport()->setProperty("vqPointerCode", code);
    area->viewport()->setMouseTracking(true);
    area->viewport()->setAttribute(Qt::WA_NoMousePropagation, true);
    area->viewport()->installEventFilter(this);
  }
}

void PointerFeedback::WatchSurface(QWidget& widget) {
  Watch(widget, kPointerDefault);
}

void PointerFeedback::WatchButton(QWidget& widget) {
  Watch(widget, kPointerCustom);
}

void PointerFeedback::Ignore(QWidget& widget) {
  widget.setMouseTracking(false);
  widget.setAttribute(Qt::WA_NoMousePropagation, true);
}

bool PointerFeedback::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    QVariant code = watched->property("vqPointerCode");
    if (code.isValid() && pointer_.Pointer() != kPointerHourglass &&
        pointer_.Pointer() != code.toInt()) {
      pointer_.SetPointer(code.toInt());
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vq
