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

}  // namespace corvane
