#pragma once
// The bridge with its Qt window: the view, the bridge object wired to it, and the error
// display that shows what a handler raised, one message box at a time. Needs a
// QApplication; the caller runs the event loop between Start() and Finish().
#include <functional>
#include <string>
#include <vector>

#include "app/corvane_form.h"
#include "app/error_display.h"
#include "app/window/qt_fd_watcher.h"
#include "app/window/qt_view.h"

namespace corvane {

class WindowApp {
 public:
  // args: the command line the bridge sees.
  explicit WindowApp(std::vector<std::string> args);
  ~WindowApp();
  WindowApp(const WindowApp&) = delete;
  WindowApp& operator=(const WindowApp&) = delete;

  // Runs the bridge's start-up and shows the window, also when start-up failed.
  void Start();
  // The window's destruction: writes the configuration back and removes the tray icon.
  // Runs once, when the window closes or at the latest here.
  void Finish();
  bool Finished() const { return finished_; }
  // Called after Finish, e.g. to leave the event loop.
  void SetOnFinished(std::function<void()> Value) { OnFinished_ = std::move(Value); }

  QtView& View() { return view_; }
  TCorvaneForm& Form() { return form_; }
  ErrorDisplay& Errors() { return errors_; }

 private:
  void ShowError(const std::string& message);

  QtView view_;
  // Lines served from the window's loop (the TCP client lines) watch their sockets here.
  QtFdWatcher fd_watcher_;
  TCorvaneForm form_;
  ErrorDisplay errors_;
  bool finished_ = false;
  std::function<void()> OnFinished_;
};

}  // namespace corvane
