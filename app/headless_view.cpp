#include "app/headless_view.h"

#include <cstdio>

#include "app/bridge_constants.h"
#include "cport/cport.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"

namespace corvane {

int HeadlessView::MessageBox(const std::string& text, const std::string& caption, Buttons) {
  std::fprintf(stderr, "corvane: %s: %s\n", caption.c_str(), text.c_str());
  return idOK;
}

void HeadlessView::ShowSettingsDialog(TComPort& port) {
  std::fprintf(stderr, "corvane: the settings of port %s can only be changed in the window\n",
               port.Port().c_str());
}

void HeadlessView::ProcessMessages() {
  MainThread::Instance().ServePending();
}

HeadlessView::~HeadlessView() {
  SetTimerEnabled(false);
}

void HeadlessView::SetTimerEnabled(bool enabled) {
  if (enabled == (timer_ >= 0)) return;
  if (enabled) {
    timer_ = loop_.AddTimer(kWatchdogInterval, [this] {
      if (tick_) tick_();
    });
  } else {
    loop_.RemoveTimer(timer_);
    timer_ = -1;
  }
}

void HeadlessView::CloseWindow() {
  loop_.Quit();
}

}  // namespace corvane
