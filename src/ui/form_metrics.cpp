#include "ui/form_metrics.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "ui/window_logic.h"

namespace vq {

double ScreenDpi() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInch() : 96.0;
}

int Px(int twips) {
  return TwipsToPixels(twips, ScreenDpi());
}

QRect PxRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

void InstallFontSubstitution() {
  if (!QFont::substitutes(QStringLiteral("Arial")).contains(QStringLiteral("Liberation Sans"))) {
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  }
}

QFont FieldFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(9.0);
  font.setBold(true);
  return font;
}

QFont ButtonFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(11.25);
  font.setBold(true);
  return font;
}

void Place(QWidget& widget, const char* name, int left, int top, int width, int height) {
  widget.setObjectName(QString::fromLatin1(name));
  widget.setGeometry(PxRect(left, top, width, height));
}

QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
  auto* box = new QGroupBox(caption, parent);
  box->setFont(FieldFont());
  Place(*box, name, left, top, width, height);
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
  auto* label = new QLabel(caption, parent);
  label->setFont(FieldFont());
  Place(*label, name, left, top, width, height);
  return label;
}

QLineEdit* MakeField(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* field = new QLineEdit(parent);
  field->setFont(FieldFont());
  Place(*field, name, left, top, width, height);
  return field;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
  auto* button = new QPushButton(caption, parent);
  button->setFont(ButtonFont());
  button->setAutoDefault(false);
  Place(*button, name, left, top, width, height);
  return button;
}

void MakeFixedWindow(QWidget& window, int client_width, int client_height) {
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint);
  window.setFixedSize(Px(client_width), Px(client_height));
}

void SetTabOrder(const std::vector<QWidget*>& order) {
  for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace vq
