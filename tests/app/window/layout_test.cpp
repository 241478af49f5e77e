#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/window/main_window.h"
#include "widgets/led1.h"

namespace {

using corvane::MainWindow;

struct Placed {
  const char* name;
  QPoint at;
  QSize size;  // empty: sized by its caption
  const char* caption;
};

const Placed kControls[] = {
    {"LEDPortA", {8, 8}, {9, 17}, nullptr},       {"Label2", {24, 8}, {}, "Port (A)"},
    {"COMPortLabel", {104, 8}, {49, 13}, "---"},  {"LEDPortB", {8, 32}, {9, 17}, nullptr},
    {"Label3", {24, 32}, {}, "Port (B)"},         {"RigNameLabel", {104, 32}, {57, 13}, "---"},
    {"LEDOut", {8, 56}, {9, 17}, nullptr},        {"Label4", {24, 56}, {}, "Out"},
    {"RigFreqLabel", {104, 56}, {57, 13}, "---"}, {"ResetButton", {40, 80}, {89, 25}, "Reset"},
    {"QueueRead", {8, 112}, {}, "QueueRead"},     {"Label5", {72, 112}, {}, "<->"},
    {"QueueWrite", {96, 112}, {}, "QueueWrite"},
};

QString CaptionOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
  return {};
}

TEST(MainWindowLayout, WindowHasDesignSizeAndCaption) {
  MainWindow window;
  EXPECT_EQ(window.size(), QSize(180, 202));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(window.windowTitle(), "Corvane");
  EXPECT_FALSE(window.windowIcon().isNull());
}

TEST(MainWindowLayout, ControlsAtDesignPlacesWithDesignCaptions) {
  MainWindow window;
  for (const Placed& control : kControls) {
    SCOPED_TRACE(control.name);
    auto* widget = window.findChild<QWidget*>(control.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->pos(), control.at);
    if (!control.size.isEmpty()) {
      EXPECT_EQ(widget->size(), control.size);
    } else {
      // Sized by its caption: the whole caption fits.
      EXPECT_GE(widget->width(), widget->sizeHint().width());
    }
    if (control.caption != nullptr) {
      EXPECT_EQ(CaptionOf(widget), control.caption);
    }
  }
}

TEST(MainWindowLayout, PortCaptionsBoldAndLargerThanTheRest) {
  MainWindow window;
  for (QLabel* label : {window.Label2, window.Label3, window.Label4}) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), 13);
  }
  for (QLabel* label : {window.COMPortLabel, window.QueueRead, window.Label5}) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_FALSE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), 11);
  }
}

TEST(MainWindowLayout, LampsHaveTheirDesignSettingsAndStartOff) {
  MainWindow window;
  struct Expect {
    TLed* led;
    TColor color2;
  };
  for (const Expect& e : {Expect{window.LEDPortA, clLime}, Expect{window.LEDPortB, clYellow},
                          Expect{window.LEDOut, clYellow}}) {
    SCOPED_TRACE(e.led->objectName().toStdString());
    EXPECT_EQ(e.led->Style(), lsGradient2);
    EXPECT_EQ(e.led->Color1(), clLime);
    EXPECT_EQ(e.led->Color2(), e.color2);
    EXPECT_EQ(e.led->OffColor1(), clBlack);
    EXPECT_EQ(e.led->OffColor2(), clWhite);
    EXPECT_EQ(e.led->Radius(), 1);
    EXPECT_FALSE(e.led->On());
    EXPECT_FALSE(e.led->DiagShining());
    EXPECT_FALSE(e.led->ClickAction());
    EXPECT_FALSE(e.led->DblClickAction());
  }
}

// Whatever font the platform substitutes for the design's, every text is drawn whole: its
// width in the label's font fits the label, and the label fits the window.
TEST(MainWindowLayout, EveryCaptionAndPortNameIsDrawnWhole) {
  using Label = TCorvaneView::Label;
  MainWindow window;
  window.SetCaption(Label::COMPortLabel, "/TMP/CORVANE-DEMO/PORTA");
  window.SetCaption(Label::RigNameLabel, "/DEV/TTYUSB2");
  window.SetCaption(Label::RigFreqLabel,
                    "/DEV/SERIAL/BY-ID/USB-FTDI_FT232R_USB_UART_A50285BI-IF00-PORT0");
  window.SetCaption(Label::QueueRead, "4294967295");
  window.SetCaption(Label::QueueWrite, "4294967295");
  for (QLabel* label : window.findChildren<QLabel*>()) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()),
              label->contentsRect().width());
    EXPECT_LT(label->geometry().right(), window.width());
    EXPECT_LE(label->geometry().bottom(), window.height());
  }
  // The bold captions end before the names beside them.
  EXPECT_LT(window.Label2->geometry().right(), window.COMPortLabel->x());
  EXPECT_LT(window.Label3->geometry().right(), window.RigNameLabel->x());
  EXPECT_LT(window.Label4->geometry().right(), window.RigFreqLabel->x());
  EXPECT_EQ(window.RigFreqLabel->pos(), QPoint(104, 56));
  EXPECT_GT(window.width(), 180);
  EXPECT_EQ(window.height(), 202);
  EXPECT_EQ(window.minimumSize(), window.maximumSize());

  // Short names again: the window is back at its design width.
  window.SetCaption(Label::COMPortLabel, "COM11");
  window.SetCaption(Label::RigNameLabel, "COM13");
  window.SetCaption(Label::RigFreqLabel, "COM4");
  window.SetCaption(Label::QueueRead, "0");
  window.SetCaption(Label::QueueWrite, "0");
  EXPECT_EQ(window.size(), QSize(180, 202));
}

TEST(MainWindowLayout, ResetButtonCallsItsHandler) {
  MainWindow window;
  int clicks = 0;
  window.SetOnResetClick([&] { ++clicks; });
  window.ResetButton->click();
  EXPECT_EQ(clicks, 1);
}

}  // namespace
