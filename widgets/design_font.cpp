#include "widgets/design_font.h"

namespace corvane {

QFont DesignFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  return font;
}

}  // namespace corvane
