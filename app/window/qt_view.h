#pragma once
// The bridge's view drawn with Qt: the main window, the tray icon, message boxes, the about
// box and the watchdog's timer. What the operator does comes back through WindowCommands;
// every command runs guarded, so an error it raises reaches the error display.
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/corvane_view.h"
#include "app/window_commands.h"
#include "app/window/main_window.h"
#include "app/window/tray_icon.h"

class TAboutDlg;

namespace corvane {

class QtView : public TCorvaneView {
 public:

  QtView();
  ~QtView() override;

  void SetCommands(WindowCommands commands);
  // Where the view writes its own trace lines.
  void SetTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

  MainWindow& Window() { return window_; }
  TrayIcon& Tray() { return tray_; }
  QTimer& Timer() { return timer_; }
  // Null until the bridge has prepared it.
  TAboutDlg* AboutDialog() const { return about_.get(); }
  const std::string& ApplicationTitle() const { return title_; }

  void SetLabelCaption(Label label, const std::string& caption) override;
  void SetLabelHint(Label label, const std::string& hint) override;
  void SetLedOn(Led led, bool on) override;
  void ShowTransmitter(std::optional<Led> led, const std::string& who) override;
  int MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetApplicationTitle(const std::string& title) override;
  void BuildSystemMenu() override;
  void BuildTrayMenu() override;
  void AddTrayIcon(const std::string& tip) override;
  void RemoveTrayIcon() override;
  void PrepareAboutDialog(const AboutTexts& texts) override;
  void ShowAbout() override;
  void ShowSettingsDialog(TComPort& port) override;
  void ShowWindow() override;
  void SetTimerEnabled(bool enabled) override;
  void ProcessMessages() override;
  void CloseWindow() override;

 private:
  std::function<void()> Guarded(std::function<void()> WindowCommands::*command);

  MainWindow window_;
  TrayIcon tray_;
  QTimer timer_;
  std::unique_ptr<TAboutDlg> about_;
  WindowCommands commands_;
  std::function<void(const std::string&)> trace_;
  std::string title_;
};

}  // namespace corvane
