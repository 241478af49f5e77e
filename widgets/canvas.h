#pragma once
// The drawing operations the LED painters need, with the meanings the painters were written
// for. No toolkit types: painters and their tests run without a display.
#include "widgets/color.h"

namespace corvane {

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void SetPenColor(TColor color) = 0;
  virtual void SetBrushColor(TColor color) = 0;
  // Outline with the pen, inside filled with the brush, covering columns x1 to x2 - 1 and
  // rows y1 to y2 - 1, corners cut by ellipses w wide and h high. Reversed corners are
  // passed on as they are; the canvas decides what they show.
  virtual void RoundRect(int x1, int y1, int x2, int y2, int w, int h) = 0;
  // A line from the pen position to (x, y), which becomes the pen position.
  virtual void LineTo(int x, int y) = 0;
};

}  // namespace corvane
