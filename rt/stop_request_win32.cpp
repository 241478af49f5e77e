#include <windows.h>

#include <atomic>

#include "rt/console_control_win32.h"
#include "rt/event_loop.h"
#include "rt/stop_request.h"

namespace corvane {
namespace {

std::atomic<EventLoop*> g_loop{nullptr};

// Set once the loop routing the requests has ended and the program has shut down in order.
HANDLE ShutdownDone() {
  static const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return done;
}

}  // namespace

BOOL WINAPI OnConsoleControl(DWORD type) {
  // Sent to every console program whenever any user logs off, also to one that runs as a
  // service under a wrapper: not a request to this program.
  if (type == CTRL_LOGOFF_EVENT) return TRUE;
  EventLoop* loop = g_loop.load();
  if (loop == nullptr) return FALSE;
  loop->Quit();
  // Closing the console and shutting down end the process as soon as this returns: the
  // write-back and the last trace lines come first, for as long as Windows waits.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(ShutdownDone(), kOrderlyShutdownMs);
  return TRUE;
}

void QuitLoopOnStopRequest(EventLoop* loop) {
  const bool wasRouting = g_loop.exchange(loop) != nullptr;
  if (loop != nullptr) ResetEvent(ShutdownDone());
  if (loop != nullptr && !wasRouting) SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (loop == nullptr && wasRouting) {
    SetEvent(ShutdownDone());
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  }
}

}  // namespace corvane
