#include <QIcon>

#include "ui/ui_services.h"

// The icon lives in this library's compiled resources, which a static library
// has to register itself.
static void RegisterResources() {
  Q_INIT_RESOURCE(vellquist);
}

namespace vq {

QIcon ApplicationIcon() {
  static const bool registered = (RegisterResources(), true);
  (void)registered;
  return QIcon(QStringLiteral(":/vellquist/vellquist.png"));
}

}  // namespace vq
