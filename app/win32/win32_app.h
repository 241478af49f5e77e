#pragma once
// The bridge with its native window: the view, the bridge object wired to it, and the error
// display that shows what a handler raised, one message box at a time. The caller runs the
// message loop between Start() and Finish() (RunLoop does).
#include <string>
#include <vector>

#include "app/corvane_form.h"
#include "app/error_display.h"
#include "app/win32/win32_view.h"

namespace corvane {

class Win32App {
 public:
  // args: the command line the bridge sees.
  explicit Win32App(std::vector<std::string> args);
  ~Win32App();
  Win32App(const Win32App&) = delete;
  Win32App& operator=(const Win32App&) = delete;

  // Runs the bridge's start-up and shows the window, also when start-up failed.
  void Start();
  // Dispatches the window's messages until the window has closed.
  void RunLoop();
  // The window's destruction: writes the configuration back and removes the tray icon.
  // Runs once, when the window goes or at the latest here.
  void Finish();
  bool Finished() const { return finished_; }

  Win32View& View() { return view_; }
  TCorvaneForm& Form() { return form_; }

 private:
  void Guarded(const std::function<void()>& fn);

  Win32View view_;
  TCorvaneForm form_;
  ErrorDisplay errors_;
  bool finished_ = false;
};

}  // namespace corvane
