#include "app/window/main_window.h"
#include "tools/shot/shot_table.h"
#include "widgets/led1.h"

namespace corvane::shot {

std::unique_ptr<QWidget> MakeMainWindow() {
  auto window = std::make_unique<MainWindow>();
  window->SetCaption(TCorvaneView::Label::COMPortLabel, "COM11");
  window->SetCaption(TCorvaneView::Label::RigNameLabel, "COM13");
  window->SetCaption(TCorvaneView::Label::RigFreqLabel, "COM4");
  window->SetCaption(TCorvaneView::Label::QueueRead, "0");
  window->SetCaption(TCorvaneView::Label::QueueWrite, "0");
  for (TLed* led : {window->LEDPortA, window->LEDPortB, window->LEDOut}) led->SetOn(true);
  return window;
}

}  // namespace corvane::shot
