#include <windows.h>

#include <atomic>

#include "rt/event_loop.h"
#include "rt/stop_request.h"

namespace corvane {
namespace {

std::atomic<EventLoop*> g_loop{nullptr};

// Runs on a thread of its own that the console starts for the request.
BOOL WINAPI OnConsoleControl(DWORD /*type*/) {
  EventLoop* loop = g_loop.load();
  if (loop == nullptr) return FALSE;
  loop->Quit();
  return TRUE;
}

}  // namespace

void QuitLoopOnStopRequest(EventLoop* loop) {
  const bool wasRouting = g_loop.exchange(loop) != nullptr;
  if (loop != nullptr && !wasRouting) SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (loop == nullptr && wasRouting) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

}  // namespace corvane
