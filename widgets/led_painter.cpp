#include "widgets/led_painter.h"

#include <algorithm>

namespace corvane {
namespace {

int Step(int from, int to, int rings) {
  return from == to || rings == 0 ? 0 : (to - from) / rings;
}

}  // namespace

void PaintLed(Canvas& canvas, const LedLook& look) {
  if (look.width <= 0 || look.height <= 0) return;
  if (look.style == lsAlternative) {
    PaintAlternativeLed(canvas, look);
  } else {
    PaintGradientLed(canvas, look);
  }
}

void PaintAlternativeLed(Canvas& canvas, const LedLook& look) {
  if (look.width <= 0 || look.height <= 0) return;
  const int w = look.width;
  const int h = look.height;
  const int r = look.radius;
  for (int i = 0; i <= (w - 1) / 4; ++i) {
    canvas.SetPenColor(look.c1);
    if (!look.diagShining) canvas.SetBrushColor(look.c2);
    canvas.RoundRect(2 * i, 2 * i, w - 2 * i - 1, h - 2 * i - 1, r, r);
    canvas.SetPenColor(look.c2);
    if (!look.diagShining) canvas.SetBrushColor(look.c1);
    canvas.RoundRect(2 * i + 1, 2 * i + 1, w - 2 * i - 2, h - 2 * i - 2, r, r);
  }
}

void PaintGradientLed(Canvas& canvas, const LedLook& look) {
  if (look.width <= 0 || look.height <= 0) return;
  const int w = look.width;
  const int h = look.height;
  const int r = look.radius;
  const int span = (look.style == lsGradient1 ? std::max(w, h) : std::min(w, h)) - 1;
  const int rings = span / 2;
  const TColor c1 = look.c1;
  const TColor c2 = look.c2;
  const int dr = Step(c1.Red(), c2.Red(), rings);
  const int dg = Step(c1.Green(), c2.Green(), rings);
  const int db = Step(c1.Blue(), c2.Blue(), rings);
  for (int i = 0; i <= rings; ++i) {
    const TColor ring = TColor::FromRgb(static_cast<std::uint8_t>(c1.Red() + i * dr),
                                        static_cast<std::uint8_t>(c1.Green() + i * dg),
                                        static_cast<std::uint8_t>(c1.Blue() + i * db));
    canvas.SetPenColor(ring);
    if (!look.diagShining) canvas.SetBrushColor(ring);
    canvas.RoundRect(i, i, w - i - 1, h - i - 1, r, r);
    canvas.LineTo(w, h);
  }
}

}  // namespace corvane
