#include <windows.h>

#include <system_error>

#include "rt/wake_signal.h"

namespace corvane {

WakeSignal::WakeSignal()
    : native_(reinterpret_cast<std::intptr_t>(CreateEventA(nullptr, TRUE, FALSE, nullptr))) {
  if (native_ == 0)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "event");
}

WakeSignal::~WakeSignal() {
  CloseHandle(reinterpret_cast<HANDLE>(native_));
}

void WakeSignal::Set(bool signalled) {
  const HANDLE event = reinterpret_cast<HANDLE>(native_);
  if (signalled) {
    SetEvent(event);
  } else {
    ResetEvent(event);
  }
}

}  // namespace corvane
