#pragma once
// A screen for the bridge that remembers what it was told, for tests without a window.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/corvane_view.h"

namespace corvane::test {

class RecordingView : public TCorvaneView {
 public:
  void SetLabelCaption(Label label, const std::string& caption) override {
    captions[label] = caption;
  }
  void SetLedOn(Led led, bool on) override { leds[led] = on; }
  void ShowTransmitter(std::optional<Led> led, const std::string& who) override {
    keying_led = led;
    keyed_by = who;
  }
  int MessageBox(const std::string& text, const std::string& caption, Buttons) override {
    messages.push_back(caption + ": " + text);
    return answer;
  }
  void SetApplicationTitle(const std::string& title) override { this->title = title; }
  void BuildSystemMenu() override { system_menu = true; }
  void BuildTrayMenu() override { tray_menu = true; }
  void AddTrayIcon(const std::string& tip) override { tray_tip = tip; }
  void RemoveTrayIcon() override { ++tray_removed; }
  void PrepareAboutDialog(const AboutTexts& texts) override { about = texts.Title; }
  void ShowAbout() override { ++about_shown; }
  void ShowSettingsDialog(TComPort&) override { ++settings_shown; }
  void ShowWindow() override { shown = true; }
  void SetTimerEnabled(bool enabled) override { timer = enabled; }
  void ProcessMessages() override {}
  void CloseWindow() override { closed = true; }

  std::map<Label, std::string> captions;
  std::map<Led, bool> leds;
  std::optional<Led> keying_led;
  std::string keyed_by;
  std::vector<std::string> messages;
  int answer = idOK;
  std::string title, tray_tip, about;
  bool system_menu = false, tray_menu = false, shown = false, timer = false, closed = false;
  int tray_removed = 0, about_shown = 0, settings_shown = 0;
};

}  // namespace corvane::test
