#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <functional>

#include "recording_canvas.h"
#include "widgets/led1.h"
#include "widgets/qt_canvas.h"

namespace {

// Counts the paints a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class LedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    led.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&led));
    QCoreApplication::processEvents();
  }
  std::vector<std::string> Painted() {
    RecordingCanvas canvas;
    led.Paint(canvas);
    return canvas.ops;
  }

  TLed led;
};

TEST_F(LedTest, ConstructorDefaults) {
  EXPECT_EQ(led.Style(), lsGradient2);
  EXPECT_EQ(led.Color1(), clBlack);
  EXPECT_EQ(led.Color2(), clYellow);
  EXPECT_EQ(led.OffColor1(), clBlack);
  EXPECT_EQ(led.OffColor2(), clWhite);
  EXPECT_EQ(led.Radius(), 1);
  EXPECT_FALSE(led.On());
  EXPECT_FALSE(led.DiagShining());
  EXPECT_FALSE(led.ClickAction());
  EXPECT_FALSE(led.DblClickAction());
  EXPECT_EQ(led.width(), 10);
  EXPECT_EQ(led.height(), 33);
}

// Each drawing property: a change stores the value and paints once at once; the same value
// again paints nothing.
TEST_F(LedTest, DrawingSettersPaintOnlyOnChange) {
  struct Case {
    const char* name;
    std::function<void()> change;
    std::function<bool()> changed;
  };
  const Case cases[] = {
      {"Style", [&] { led.SetStyle(lsAlternative); }, [&] { return led.Style() == lsAlternative; }},
      {"Color1", [&] { led.SetColor1(clLime); }, [&] { return led.Color1() == clLime; }},
      {"Color2", [&] { led.SetColor2(clRed); }, [&] { return led.Color2() == clRed; }},
      {"OffColor1", [&] { led.SetOffColor1(clNavy); }, [&] { return led.OffColor1() == clNavy; }},
      {"OffColor2", [&] { led.SetOffColor2(clGray); }, [&] { return led.OffColor2() == clGray; }},
      {"Radius", [&] { led.SetRadius(7); }, [&] { return led.Radius() == 7; }},
      {"On", [&] { led.SetOn(true); }, [&] { return led.On(); }},
      {"DiagShining", [&] { led.SetDiagShining(true); }, [&] { return led.DiagShining(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaintCounter counter(&led);
    c.change();
    EXPECT_TRUE(c.changed());
    EXPECT_EQ(counter.paints, 1);
    c.change();
    EXPECT_EQ(counter.paints, 1);
  }
}

TEST_F(LedTest, ClickActionsStoreWithoutPainting) {
  PaintCounter counter(&led);
  led.SetClickAction(true);
  led.SetDblClickAction(true);
  EXPECT_TRUE(led.ClickAction());
  EXPECT_TRUE(led.DblClickAction());
  EXPECT_EQ(counter.paints, 0);
}

TEST_F(LedTest, OnPicksTheColourPairToPaint) {
  led.resize(9, 17);
  led.SetColor1(clLime);
  led.SetColor2(clLime);
  EXPECT_EQ(Painted()[0], "pen 0,0,0");
  EXPECT_EQ(Painted()[16], "pen 252,252,252");
  led.SetOn(true);
  EXPECT_EQ(Painted()[0], "pen 0,255,0");
  EXPECT_EQ(Painted()[16], "pen 0,255,0");
}

TEST_F(LedTest, ClickTogglesOnlyUnderClickActionAndNeverCallsOnClick) {
  int handlerCalls = 0;
  led.SetOnClick([&](TObject*) { ++handlerCalls; });
  QTest::mouseClick(&led, Qt::LeftButton);
  EXPECT_FALSE(led.On());

  led.SetClickAction(true);
  QTest::mouseClick(&led, Qt::LeftButton);
  EXPECT_TRUE(led.On());
  QTest::mouseClick(&led, Qt::LeftButton);
  EXPECT_FALSE(led.On());
  QTest::mouseClick(&led, Qt::RightButton);
  EXPECT_FALSE(led.On());
  EXPECT_EQ(handlerCalls, 0);
}

TEST_F(LedTest, ReleaseOutsideTheLampIsNoClick) {
  led.SetClickAction(true);
  QTest::mousePress(&led, Qt::LeftButton, {}, QPoint(2, 2));
  QTest::mouseRelease(&led, Qt::LeftButton, {}, QPoint(50, 50));
  EXPECT_FALSE(led.On());
}

TEST_F(LedTest, DoubleClickTogglesOnlyUnderDblClickActionAndNeverCallsOnDblClick) {
  int handlerCalls = 0;
  led.SetOnDblClick([&](TObject*) { ++handlerCalls; });
  QTest::mouseDClick(&led, Qt::LeftButton);
  EXPECT_FALSE(led.On());

  led.SetDblClickAction(true);
  QTest::mouseDClick(&led, Qt::LeftButton);
  EXPECT_TRUE(led.On());
  QTest::mouseDClick(&led, Qt::LeftButton);
  EXPECT_FALSE(led.On());
  EXPECT_EQ(handlerCalls, 0);
}

TEST_F(LedTest, DoubleClickWithBothActionsIsOneClickAndOneDoubleClick) {
  led.SetClickAction(true);
  led.SetDblClickAction(true);
  QTest::mousePress(&led, Qt::LeftButton);
  QTest::mouseRelease(&led, Qt::LeftButton);
  EXPECT_TRUE(led.On());
  // The second press arrives as a double click; its release is not another click.
  QTest::mouseDClick(&led, Qt::LeftButton);
  EXPECT_FALSE(led.On());
  QTest::mouseRelease(&led, Qt::LeftButton);
  EXPECT_FALSE(led.On());
}

// The Qt canvas puts the rings where the painters mean them: columns x1 to x2 - 1.
TEST(QtCanvasTest, PortLedPixelsLandInsideItsNineBySeventeenBox) {
  QImage image(12, 20, QImage::Format_RGB32);
  image.fill(Qt::red);
  {
    QPainter painter(&image);
    corvane::QtCanvas canvas(painter);
    corvane::LedLook look;
    look.c1 = clBlack;
    look.c2 = clWhite;
    look.width = 9;
    look.height = 17;
    corvane::PaintLed(canvas, look);
  }
  // RoundRect(0, 0, 8, 16) covers columns 0 to 7 and rows 0 to 15; the last column and row
  // stay the background's, except where the first line to (9, 17) crosses them.
  const QRgb red = qRgb(255, 0, 0);
  const QRgb black = qRgb(0, 0, 0);
  for (int y = 0; y < 15; ++y) {
    EXPECT_EQ(image.pixel(0, y), black) << "left rim, row " << y;
    EXPECT_EQ(image.pixel(7, y), black) << "right rim, row " << y;
    EXPECT_EQ(image.pixel(8, y), red) << "outside, row " << y;
  }
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(image.pixel(x, 15), black) << "bottom rim, column " << x;
    EXPECT_EQ(image.pixel(x, 16), red) << "below, column " << x;
  }
  const int greyInRow8[] = {0, 63, 126, 189, 189, 126, 63, 0};
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(image.pixel(x, 8), qRgb(greyInRow8[x], greyInRow8[x], greyInRow8[x])) << x;
  }
}

}  // namespace
