#include "widgets/qt_canvas.h"

#include <QPen>
#include <utility>

namespace corvane {

QColor ToQColor(TColor color) {
  return QColor(color.Red(), color.Green(), color.Blue());
}

QtCanvas::QtCanvas(QPainter& painter) : painter_(painter) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  QPen pen(Qt::black);
  pen.setWidth(0);
  painter_.setPen(pen);
}

void QtCanvas::SetPenColor(TColor color) {
  QPen pen = painter_.pen();
  pen.setColor(ToQColor(color));
  painter_.setPen(pen);
}

void QtCanvas::SetBrushColor(TColor color) {
  painter_.setBrush(ToQColor(color));
}

void QtCanvas::RoundRect(int x1, int y1, int x2, int y2, int w, int h) {
  // Reversed corners describe the same box, as they do for the lamp's original canvas.
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (x2 - x1 < 1 || y2 - y1 < 1) return;
  if (x2 - x1 == 1 || y2 - y1 == 1) {
    painter_.drawLine(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1));
    return;
  }
  // A one-pixel pen on QRect(x, y, n, m) covers n + 1 columns: columns x1 .. x2 - 1.
  const QRect box(x1, y1, x2 - x1 - 1, y2 - y1 - 1);
  // Corners of one or two pixels cut nothing off a pixel grid.
  if (w < 3 || h < 3) {
    painter_.drawRect(box);
  } else {
    painter_.drawRoundedRect(box, w / 2.0, h / 2.0, Qt::AbsoluteSize);
  }
}

void QtCanvas::LineTo(int x, int y) {
  const QPoint target(x, y);
  if (target != position_) painter_.drawLine(position_, target);
  position_ = target;
}

}  // namespace corvane
