#pragma once
// What the bridge needs from the screen. The Qt window draws it; the headless front end
// prints messages to stderr and answers every question with OK. Everything here is
// called on the main thread.
#include <optional>
#include <string>

class TComPort;

class TCorvaneView {
 public:
  enum class Label { COMPortLabel, RigNameLabel, RigFreqLabel, QueueRead, QueueWrite };
  enum class Led { LEDPortA, LEDPortB, LEDOut };
  enum class Buttons { OK, OKCancel };
  enum Answer { idOK = 1, idCancel = 2 };

  struct AboutTexts {
    std::string Title, ProductName, CopyRight, Programmer, WebSite;
  };

  virtual ~TCorvaneView() = default;

  virtual void SetLabelCaption(Label label, const std::string& caption) = 0;
  // The hint shown when the pointer rests on a label (a TCP line's connected clients).
  virtual void SetLabelHint(Label, const std::string&) {}
  virtual void SetLedOn(Led led, bool on) = 0;
  // The transmitter is keyed through the bridge by a client of the port whose lamp is `led`;
  // `who` names that client ("Port B", "Port A#3" for a connection of A's TCP line). No lamp
  // while nobody keys it.
  virtual void ShowTransmitter(std::optional<Led> led, const std::string& who) = 0;
  virtual int MessageBox(const std::string& text, const std::string& caption, Buttons buttons) = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // The window's command entries: close as "&Quit", then 444..447 and 666.
  virtual void BuildSystemMenu() = 0;
  virtual void BuildTrayMenu() = 0;
  virtual void AddTrayIcon(const std::string& tip) = 0;
  virtual void RemoveTrayIcon() = 0;
  virtual void PrepareAboutDialog(const AboutTexts& texts) = 0;
  virtual void ShowAbout() = 0;
  // Opens the port settings dialog for the port and returns when it is closed.
  virtual void ShowSettingsDialog(TComPort& port) = 0;
  virtual void ShowWindow() = 0;
  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual void ProcessMessages() = 0;
  // Ends the program as closing the window does (the bridge's FormDestroy follows).
  virtual void CloseWindow() = 0;
};
