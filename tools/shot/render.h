#pragma once
#include <QString>
#include <QWidget>

namespace corvane::shot {

// Renders the widget (client area, without a window frame) into a PNG, each pixel
// enlarged `scale` times without smoothing. False when the file cannot be written.
bool RenderToPng(QWidget& widget, const QString& path, int scale);

// The command line: [--scale N] NAME OUT.png. Returns the process exit code.
int RunShot(int argc, char** argv);

}  // namespace corvane::shot
