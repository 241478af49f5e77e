#include <QPainter>
#include <QPixmap>

#include "tools/shot/shot_table.h"
#include "widgets/about_dlg.h"
#include "widgets/about_form.h"
#include "widgets/about_texts.h"
#include "widgets/led_painter.h"
#include "widgets/qt_canvas.h"

namespace corvane::shot {
namespace {

// Stands in for the application's icon: a lit lamp.
QIcon LampIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  QtCanvas canvas(painter);
  LedLook look;
  look.c1 = clLime;
  look.c2 = clYellow;
  look.radius = 12;
  look.width = 32;
  look.height = 32;
  PaintLed(canvas, look);
  return QIcon(pixmap);
}

}  // namespace

std::unique_ptr<QWidget> MakeAboutBox() {
  TAboutDlg dialog;
  dialog.SetTitle(kAboutTitle);
  dialog.SetProductName(kAboutProductName);
  dialog.SetCopyRight(kAboutCopyRight);
  dialog.SetProgrammer(kAboutProgrammer);
  dialog.SetWebSite(kAboutWebSite);
  dialog.SetIcon(LampIcon());
  return dialog.CreateBox();
}

}  // namespace corvane::shot
