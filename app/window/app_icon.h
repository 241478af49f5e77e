#pragma once
#include <QIcon>

namespace corvane {
// The application's icon (two client lines joining into the radio's), shipped as a resource.
QIcon AppIcon();
}  // namespace corvane
