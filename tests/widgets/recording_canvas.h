#pragma once
// A canvas that writes down every operation, so a paint can be compared step by step.
#include <string>
#include <vector>

#include "widgets/canvas.h"

class RecordingCanvas : public corvane::Canvas {
 public:
  void SetPenColor(TColor color) override { ops.push_back("pen " + Rgb(color)); }
  void SetBrushColor(TColor color) override { ops.push_back("brush " + Rgb(color)); }
  void RoundRect(int x1, int y1, int x2, int y2, int w, int h) override {
    ops.push_back("rect " + std::to_string(x1) + "," + std::to_string(y1) + "," +
                  std::to_string(x2) + "," + std::to_string(y2) + " " + std::to_string(w) + "x" +
                  std::to_string(h));
  }
  void LineTo(int x, int y) override {
    ops.push_back("line " + std::to_string(x) + "," + std::to_string(y));
  }

  static std::string Rgb(TColor c) {
    return std::to_string(c.Red()) + "," + std::to_string(c.Green()) + "," +
           std::to_string(c.Blue());
  }

  std::vector<std::string> ops;
};
