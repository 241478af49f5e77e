#include <windows.h>

#include <stdexcept>
#include <system_error>

#include "rt/event_loop.h"
#include "rt/main_thread.h"

namespace corvane {

bool EventLoop::WatchesDescriptors() {
  return false;
}

// Watches are refused by the wait itself: nothing to keep.
void EventLoop::WaitSetAdd(int, const FdWatch&) {}
void EventLoop::WaitSetRemove(int) {}

EventLoop::Ready EventLoop::WaitForWork(int timeout_ms) {
  if (!watches_.empty()) throw std::logic_error("descriptor watches need a POSIX system");
  const HANDLE handles[2] = {reinterpret_cast<HANDLE>(quit_.Native()),
                             reinterpret_cast<HANDLE>(MainThread::Instance().WakeHandle())};
  const DWORD r = WaitForMultipleObjects(
      2, handles, FALSE, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  if (r == WAIT_FAILED)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "wait");
  Ready ready;
  ready.quit = r == WAIT_OBJECT_0;
  ready.serve = r == WAIT_OBJECT_0 + 1;
  return ready;
}

}  // namespace corvane
