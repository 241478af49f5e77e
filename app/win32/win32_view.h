#pragma once
// The bridge's view drawn with the Win32 window calls: the main window with its labels,
// Reset button and lamps, the window's system menu, the tray icon and its menu, message
// boxes, the about box, the port settings dialog and the watchdog's timer. What the
// operator does comes back through WindowCommands. Main thread only.
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/corvane_view.h"
#include "app/win32/windows_api.h"
#include "app/window_commands.h"

namespace corvane {

// The tray icon's id and callback message.
inline constexpr UINT kTrayIconId = 1998;
inline constexpr UINT kTrayMessage = WM_USER + 1998;
// Posted to the window when a port's event thread has a call for the main thread.
inline constexpr UINT kServeMessage = WM_APP + 1;
// The tray menu's entries, in their order: settings A, B, out, reset, about, exit.
inline constexpr UINT kTrayFirstCommand = 1001;
inline constexpr UINT kResetButtonId = 100;

class Win32View : public TCorvaneView {
 public:
  Win32View();
  ~Win32View() override;
  Win32View(const Win32View&) = delete;
  Win32View& operator=(const Win32View&) = delete;

  void SetCommands(WindowCommands commands) { commands_ = std::move(commands); }
  // Where the view writes its own trace lines.
  void SetTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }
  // Called once when the window is destroyed (closed, ended with the session).
  void SetOnDestroy(std::function<void()> fn) { onDestroy_ = std::move(fn); }

  HWND Window() const { return window_; }
  const std::string& ApplicationTitle() const { return title_; }

  void SetLabelCaption(Label label, const std::string& caption) override;
  void SetLedOn(Led led, bool on) override;
  void ShowTransmitter(std::optional<Led> led, const std::string& who) override;
  int MessageBox(const std::string& text, const std::string& caption, Buttons buttons) override;
  void SetApplicationTitle(const std::string& title) override { title_ = title; }
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
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void Paint();
  void RepaintLamp(Led led);
  void OnTrayMouse(LPARAM event);
  void Run(const std::function<void()>& command);
  // Widens the window for the longest caption, back to the design width when none needs it.
  void FitWidth();

  HWND window_ = nullptr;
  HFONT font_ = nullptr, boldFont_ = nullptr;
  std::array<HWND, 5> labels_{};  // in the order of Label
  std::array<bool, 3> ledsOn_{};
  std::optional<Led> keying_;  // the lamp shown red: its port's client keys the transmitter
  HMENU trayMenu_ = nullptr;
  HICON icon_ = nullptr;
  bool trayAdded_ = false;
  bool aboutPrepared_ = false;
  AboutTexts about_;
  std::string title_;
  WindowCommands commands_;
  std::function<void(const std::string&)> trace_;
  std::function<void()> onDestroy_;
};

}  // namespace corvane
