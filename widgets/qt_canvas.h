#pragma once
// The LED painters' canvas on a QPainter. The pen starts at (0, 0) for every paint and the
// brush is the painter's own (none) until a painter sets one.
#include <QPainter>
#include <QPoint>

#include "widgets/canvas.h"

namespace corvane {

QColor ToQColor(TColor color);

class QtCanvas : public Canvas {
 public:
  explicit QtCanvas(QPainter& painter);

  void SetPenColor(TColor color) override;
  void SetBrushColor(TColor color) override;
  void RoundRect(int x1, int y1, int x2, int y2, int w, int h) override;
  void LineTo(int x, int y) override;

 private:
  QPainter& painter_;
  QPoint position_{0, 0};
};

}  // namespace corvane
