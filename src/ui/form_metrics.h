// How the windows turn their designed layout (twips, Arial bold) into widgets.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vq {

// The primary screen's logical dots per inch (96 without a screen).
double ScreenDpi();

// `twips` in pixels of the primary screen.
int Px(int twips);

// A rectangle given in twips, in pixels.
QRect PxRect(int left, int top, int width, int height);

// Makes "Arial" fall back to the metric-compatible Liberation Sans where Arial
// is not installed. Safe to call more than once.
void InstallFontSubstitution();

// Arial bold 9 point: fields, labels, group boxes and lists.
QFont FieldFont();
// Arial bold 11.25 point: push buttons.
QFont ButtonFont();

// Places `widget` at a rectangle given in twips and names it.
void Place(QWidget& widget, const char* name, int left, int top, int width, int height);

// Controls of the designed kinds, named, placed and given their font and caption.
QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height);
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height);
QLineEdit* MakeField(QWidget* parent, const char* name, int left, int top, int width, int height);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height);

// A fixed-size top-level window with a client area of the given twips, which
// can be minimised but neither resized nor maximised.
void MakeFixedWindow(QWidget& window, int client_width, int client_height);

// Chains the keyboard focus through `order` (the designed tab order).
void SetTabOrder(const std::vector<QWidget*>& order);

}  // namespace vq
