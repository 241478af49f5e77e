#pragma once
// Handlers of the bridge raise errors for the framework to show. Qt must never see an
// exception, so every call from a Qt signal goes through here.
#include <exception>
#include <functional>
#include <string>

#include "app/error_display.h"

namespace corvane {

// Runs fn; what it raises goes to MainThread's exception handler. An empty fn does nothing.
void RunGuarded(const std::function<void()>& fn);
// As RunGuarded, but what fn raised is handed over once control is back in the event loop.
// For the watchdog's tick: a message box shown from inside it would hold the timer still
// until the operator closes the box, and with it every reopen of a missing line.
void RunGuardedReportLater(const std::function<void()>& fn);

}  // namespace corvane
