#include "app/window/app_icon.h"

#include <QtGlobal>

// The resources live in a static library; nothing references them until they are registered.
static void RegisterWindowResources() {
  Q_INIT_RESOURCE(corvane_window);
}

namespace corvane {

QIcon AppIcon() {
  static const bool registered = (RegisterWindowResources(), true);
  (void)registered;
  QIcon icon;
  for (int size : {16, 32, 64}) {
    icon.addFile(QStringLiteral(":/corvane/icons/corvane_%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace corvane
