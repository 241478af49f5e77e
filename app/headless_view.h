#pragma once
// The bridge without a window: captions and LEDs go nowhere, a message box prints its
// text and caption to stderr and is answered OK.
#include <functional>
#include <utility>

#include "app/corvane_view.h"

namespace corvane {
class EventLoop;

class HeadlessView : public TCorvaneView {
 public:
  explicit HeadlessView(EventLoop& loop) : loop_(loop) {}
  ~HeadlessView() override;

  // What the watchdog's timer calls, every interval while it is enabled.
  void SetTick(std::function<void()> tick) { tick_ = std::move(tick); }

  void SetLabelCaption(Label, const std::string&) override {}
  void SetLedOn(Led, bool) override {}
  // The trace already says who keyed and unkeyed the transmitter.
  void ShowTransmitter(std::optional<Led>, const std::string&) override {}
  int MessageBox(const std::string& text, const std::string& caption, Buttons) override;
  void SetApplicationTitle(const std::string&) override {}
  void BuildSystemMenu() override {}
  void BuildTrayMenu() override {}
  void AddTrayIcon(const std::string&) override {}
  void RemoveTrayIcon() override {}
  void PrepareAboutDialog(const AboutTexts&) override {}
  void ShowAbout() override {}
  void ShowSettingsDialog(TComPort& port) override;
  void ShowWindow() override {}
  void SetTimerEnabled(bool enabled) override;
  void ProcessMessages() override;
  void CloseWindow() override;

 private:
  EventLoop& loop_;
  std::function<void()> tick_;
  int timer_ = -1;  // the loop's timer while enabled
};

}  // namespace corvane
