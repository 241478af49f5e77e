#pragma once
// The LED painters' canvas on a GDI device context: colours are GDI's COLORREF already (red
// in the low byte), the pen is one pixel wide, and the lamp's origin is the DC's origin.
#include "app/win32/windows_api.h"
#include "widgets/canvas.h"

namespace corvane {

class GdiCanvas : public Canvas {
 public:
  // Draws on dc with (x, y) as the lamp's top left corner; the DC's state is restored after.
  GdiCanvas(HDC dc, int x, int y);
  ~GdiCanvas() override;
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  void SetPenColor(TColor color) override;
  void SetBrushColor(TColor color) override;
  void RoundRect(int x1, int y1, int x2, int y2, int w, int h) override;
  void LineTo(int x, int y) override;

 private:
  HDC dc_;
  int saved_;
  HPEN pen_ = nullptr;
  HBRUSH brush_ = nullptr;
};

}  // namespace corvane
