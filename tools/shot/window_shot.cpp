#include "app/window/main_window.h"
#include "tools/shot/shot_table.h"
#include "widgets/led1.h"

namespace corvane::shot {

std::unique_ptr<QWidget> MakeMainWindow() {
  auto window = std::make_unique<MainWindow>();
  // The names of the configuration's sample, as written there.
  window->SetCaption(TCorvaneView::Label::COMPortLabel, "pty:/tmp/client-a");
  window->SetCaption(TCorvaneView::Label::RigNameLabel, "tcp:127.0.0.1:4532");
  window->SetCaption(TCorvaneView::Label::RigFreqLabel, QString::fromLatin1(kByIdPortName));
  window->SetCaption(TCorvaneView::Label::QueueRead, "0");
  window->SetCaption(TCorvaneView::Label::QueueWrite, "0");
  for (TLed* led : {window->LEDPortA, window->LEDPortB, window->LEDOut}) led->SetOn(true);
  return window;
}

std::unique_ptr<QWidget> MakeKeyedWindow() {
  auto window = MakeMainWindow();
  auto* main = static_cast<MainWindow*>(window.get());
  main->ShowKeying(main->LEDPortB, "Port B#1");
  return window;
}

}  // namespace corvane::shot
