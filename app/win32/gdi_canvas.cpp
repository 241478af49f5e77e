#include "app/win32/gdi_canvas.h"

namespace corvane {

GdiCanvas::GdiCanvas(HDC dc, int x, int y) : dc_(dc), saved_(SaveDC(dc)) {
  SetViewportOrgEx(dc_, x, y, nullptr);
  MoveToEx(dc_, 0, 0, nullptr);
}

GdiCanvas::~GdiCanvas() {
  RestoreDC(dc_, saved_);
  if (pen_) DeleteObject(pen_);
  if (brush_) DeleteObject(brush_);
}

void GdiCanvas::SetPenColor(TColor color) {
  HPEN pen = CreatePen(PS_SOLID, 1, color.Value & 0xFFFFFF);
  SelectObject(dc_, pen);
  if (pen_) DeleteObject(pen_);
  pen_ = pen;
}

void GdiCanvas::SetBrushColor(TColor color) {
  HBRUSH brush = CreateSolidBrush(color.Value & 0xFFFFFF);
  SelectObject(dc_, brush);
  if (brush_) DeleteObject(brush_);
  brush_ = brush;
}

void GdiCanvas::RoundRect(int x1, int y1, int x2, int y2, int w, int h) {
  ::RoundRect(dc_, x1, y1, x2, y2, w, h);
}

void GdiCanvas::LineTo(int x, int y) {
  ::LineTo(dc_, x, y);
}

}  // namespace corvane
