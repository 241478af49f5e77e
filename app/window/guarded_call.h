#pragma once
// Handlers of the bridge raise errors for the framework to show. Qt must never see an
// exception, so every call from a Qt signal goes through here.
#include <exception>
#include <functional>
#include <string>

class QTimer;

#include "app/error_display.h"

namespace corvane {

// Runs fn; what it raises goes to MainThread's exception handler. An empty fn does nothing.
void RunGuarded(const std::function<void()>& fn);
// For the watchdog's tick: as RunGuarded, but what fn raised is handed over once control is
// back in the event loop (a message box shown from inside the tick would hold the timer
// still until the operator closes it, and with it every reopen of a missing line), and only
// while `tick` still runs (once the program is closing, a late report has nobody to read it).
void RunGuardedReportLater(const std::function<void()>& fn, const QTimer& tick);

}  // namespace corvane
