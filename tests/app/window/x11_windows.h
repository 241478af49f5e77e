#pragma once
// A small X11 client for the end-to-end test: finds a program's window by its title and
// asks it to close the way a window manager does (WM_DELETE_WINDOW).
#include <chrono>
#include <optional>
#include <string>

typedef struct _XDisplay Display;

namespace corvane::test {

class X11Client {
 public:
  // Connects to the display (":N"); throws std::runtime_error when it cannot.
  explicit X11Client(const std::string& display);
  ~X11Client();
  X11Client(const X11Client&) = delete;
  X11Client& operator=(const X11Client&) = delete;

  // The first mapped window with exactly this title, or nothing by the deadline. Waits on
  // the server's notifications, not on a clock.
  std::optional<unsigned long> WaitForWindow(const std::string& title,
                                             std::chrono::steady_clock::time_point deadline);
  // The window's inner size.
  std::pair<int, int> SizeOf(unsigned long window);
  // Sends the window manager's close request to the window.
  void RequestClose(unsigned long window);

 private:
  std::optional<unsigned long> FindMapped(unsigned long parent, const std::string& title);
  std::string TitleOf(unsigned long window);

  Display* display_ = nullptr;
};

}  // namespace corvane::test
