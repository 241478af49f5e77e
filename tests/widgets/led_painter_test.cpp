#include "widgets/led_painter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "recording_canvas.h"

namespace {

using Ops = std::vector<std::string>;

Ops Paint(const corvane::LedLook& look) {
  RecordingCanvas canvas;
  corvane::PaintLed(canvas, look);
  return canvas.ops;
}

corvane::LedLook Look(tLedStyle style, TColor c1, TColor c2, int width, int height) {
  corvane::LedLook look;
  look.style = style;
  look.c1 = c1;
  look.c2 = c2;
  look.width = width;
  look.height = height;
  return look;
}

long Count(const Ops& ops, const std::string& prefix) {
  return std::count_if(ops.begin(), ops.end(),
                       [&](const std::string& op) { return op.rfind(prefix, 0) == 0; });
}

TEST(LedPainter, PortLedWhileOffShadesBlackToWhiteInFiveRings) {
  const Ops expected = {
      "pen 0,0,0",       "brush 0,0,0",       "rect 0,0,8,16 1x1", "line 9,17",
      "pen 63,63,63",    "brush 63,63,63",    "rect 1,1,7,15 1x1", "line 9,17",
      "pen 126,126,126", "brush 126,126,126", "rect 2,2,6,14 1x1", "line 9,17",
      "pen 189,189,189", "brush 189,189,189", "rect 3,3,5,13 1x1", "line 9,17",
      "pen 252,252,252", "brush 252,252,252", "rect 4,4,4,12 1x1", "line 9,17",
  };
  EXPECT_EQ(Paint(Look(lsGradient2, clBlack, clWhite, 9, 17)), expected);
}

TEST(LedPainter, PortLedWhileOnShadesLimeTowardYellow) {
  const Ops ops = Paint(Look(lsGradient2, clLime, clYellow, 9, 17));
  ASSERT_EQ(ops.size(), 20u);
  const char* pens[] = {"pen 0,255,0", "pen 63,255,0", "pen 126,255,0", "pen 189,255,0",
                        "pen 252,255,0"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ops[4 * i], pens[i]) << "ring " << i;
}

TEST(LedPainter, FallingChannelStepsDownwardTruncatingTowardZero) {
  // 255 -> 0 over 4 rings: step -63, not -64.
  const Ops ops = Paint(Look(lsGradient2, clWhite, clBlack, 9, 17));
  EXPECT_EQ(ops[0], "pen 255,255,255");
  EXPECT_EQ(ops[16], "pen 3,3,3");
}

TEST(LedPainter, GradientOneTakesTheLongerSideAndPassesReversedRings) {
  const Ops ops = Paint(Look(lsGradient1, clBlack, clWhite, 9, 17));
  // D = 16, N = 8: nine rings, step 255 div 8 = 31.
  ASSERT_EQ(Count(ops, "rect"), 9);
  EXPECT_EQ(ops[1], "brush 0,0,0");
  EXPECT_EQ(ops[32], "pen 248,248,248");
  EXPECT_EQ(ops[34], "rect 8,8,0,8 1x1");
}

TEST(LedPainter, EqualColoursPaintEveryRingInThatColour) {
  for (tLedStyle style : {lsGradient1, lsGradient2}) {
    const Ops ops = Paint(Look(style, clLime, clLime, 9, 17));
    for (const std::string& op : ops) {
      if (op.rfind("pen", 0) == 0 || op.rfind("brush", 0) == 0) {
        EXPECT_NE(op.find(" 0,255,0"), std::string::npos) << op;
      }
    }
  }
}

TEST(LedPainter, AlternativeOnDefaultSizeMakesSixRectanglesInThreePasses) {
  const Ops expected = {
      "pen 0,0,0",         "brush 255,255,0",   "rect 0,0,9,32 1x1", "pen 255,255,0",
      "brush 0,0,0",       "rect 1,1,8,31 1x1", "pen 0,0,0",         "brush 255,255,0",
      "rect 2,2,7,30 1x1", "pen 255,255,0",     "brush 0,0,0",       "rect 3,3,6,29 1x1",
      "pen 0,0,0",         "brush 255,255,0",   "rect 4,4,5,28 1x1", "pen 255,255,0",
      "brush 0,0,0",       "rect 5,5,4,27 1x1",
  };
  EXPECT_EQ(Paint(Look(lsAlternative, clBlack, TColor(0x00FFFF), 10, 33)), expected);
}

TEST(LedPainter, AlternativePassCountDependsOnWidthOnly) {
  struct Case {
    int width;
    int height;
    long rects;
  };
  const Case cases[] = {{1, 33, 2}, {4, 33, 2}, {5, 1, 4}, {9, 17, 6}, {13, 2, 8}};
  for (const Case& c : cases) {
    EXPECT_EQ(Count(Paint(Look(lsAlternative, clBlack, clWhite, c.width, c.height)), "rect"),
              c.rects)
        << c.width << " x " << c.height;
  }
}

TEST(LedPainter, DiagShiningLeavesTheBrushAlone) {
  for (tLedStyle style : {lsGradient1, lsGradient2, lsAlternative}) {
    corvane::LedLook look = Look(style, clLime, clYellow, 9, 17);
    look.diagShining = true;
    const Ops ops = Paint(look);
    EXPECT_EQ(Count(ops, "brush"), 0) << int(style);
    EXPECT_GT(Count(ops, "pen"), 0) << int(style);
    EXPECT_EQ(Count(ops, "pen"), Count(ops, "rect")) << int(style);
  }
}

TEST(LedPainter, RadiusIsBothCornerSizes) {
  corvane::LedLook look = Look(lsGradient2, clBlack, clWhite, 9, 17);
  look.radius = 255;
  EXPECT_EQ(Paint(look)[2], "rect 0,0,8,16 255x255");
  look.style = lsAlternative;
  look.radius = 0;
  EXPECT_EQ(Paint(look)[2], "rect 0,0,8,16 0x0");
}

TEST(LedPainter, NoRoomToShadeGivesOneRingInTheFirstColour) {
  // The governing side is 1 or 2 pixels: no step can be formed.
  const struct {
    tLedStyle style;
    int width;
    int height;
  } cases[] = {{lsGradient2, 1, 17}, {lsGradient2, 2, 17}, {lsGradient2, 17, 2},
               {lsGradient1, 1, 1},  {lsGradient1, 2, 2},  {lsGradient1, 2, 1}};
  for (const auto& c : cases) {
    const Ops ops = Paint(Look(c.style, clLime, clWhite, c.width, c.height));
    const Ops expected = {
        "pen 0,255,0", "brush 0,255,0",
        "rect 0,0," + std::to_string(c.width - 1) + "," + std::to_string(c.height - 1) + " 1x1",
        "line " + std::to_string(c.width) + "," + std::to_string(c.height)};
    EXPECT_EQ(ops, expected) << c.width << " x " << c.height;
  }
}

TEST(LedPainter, LampWithoutAreaDrawsNothing) {
  const int sizes[][2] = {{0, 17}, {9, 0}, {0, 0}, {-1, 17}, {9, -5}, {-100, -100}};
  for (tLedStyle style : {lsGradient1, lsGradient2, lsAlternative}) {
    for (const auto& size : sizes) {
      EXPECT_EQ(Paint(Look(style, clBlack, clWhite, size[0], size[1])), Ops{})
          << int(style) << ": " << size[0] << " x " << size[1];
    }
  }
}

TEST(Color, NamedColoursKeepRedInTheLowByte) {
  EXPECT_EQ(clLime.Value, 65280u);
  EXPECT_EQ(clYellow.Value, 65535u);
  EXPECT_EQ(clWhite.Value, 16777215u);
  EXPECT_EQ(TColor::FromRgb(1, 2, 3).Value, 0x030201u);
  const TColor systemCode(0xFF00000Fu);
  EXPECT_EQ(systemCode.Red(), 15);
  EXPECT_EQ(systemCode.Blue(), 0);
}

}  // namespace
