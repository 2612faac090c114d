// Helpers both windows share: the program folder and its optional files,
// centring, background colours, the skin switch and the pointer convention.
#pragma once

#include <QColor>
#include <QObject>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "ui/qt_interaction.h"

namespace vq {

// The folder that holds the program, without a trailing separator.
std::string ProgramFolder();

// `folder` followed by each part, joined with the platform's separator.
std::string InProgramFolder(const std::string& folder, const std::vector<std::string>& parts);

// Places the window's outer frame in the middle of the primary screen; a
// window larger than the screen gets a negative position.
void CenterWindow(QWidget& window);

// The desktop's button-face colour, which the palette follows.
QColor ButtonFaceColor();

// Gives `widget` an opaque background of `colour`.
void SetBackground(QWidget& widget, const QColor& colour);

// The window and its group boxes and labels take the button-face background;
// fields, lists and buttons keep theirs.
void ApplyButtonFaceColors(QWidget& window);

// True when `folder`/x/o.cjs is an ordinary, visible file.
bool SkinFilePresent(const std::string& folder);

// Themes the connection window: with the skin file present it takes the
// button-face background like ApplyButtonFaceColors; without it nothing changes.
void ApplySkin(QWidget& connection_window, const std::string& folder);

// Opens the maker's home page in the desktop's browser about one start in a
// hundred. Nothing waits for the browser.
void VisitHomePageOccasionally();

// The pointer convention of a window: over a push button the pointer becomes
// the window's custom pointer, over the window, a group box, a field or a list
// the default one, and while the hourglass shows neither changes it. Labels and
// the progress bar change nothing.
class PointerFeedback : public QObject {
 public:
  PointerFeedback(QtWindowPointer& pointer, QObject* parent) : QObject(parent), pointer_(pointer) {}
  // Mouse moves over `widget` set the default pointer.
  void WatchSurface(QWidget& widget);
  // Mouse moves over `widget` set the custom pointer.
  void WatchButton(QWidget& widget);
  // Mouse moves over `widget` change nothing, and don't reach its container.
  void Ignore(QWidget& widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Watch(QWidget& widget, int code);
  QtWindowPointer& pointer_;
};

}  // namespace vq
