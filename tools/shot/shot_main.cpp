// corvane-shot: renders one of the program's widgets offscreen into a PNG.
#include <stdlib.h>

#include <QApplication>

#include "tools/shot/render.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return corvane::shot::RunShot(argc, argv);
}
