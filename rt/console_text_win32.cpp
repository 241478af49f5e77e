#include <windows.h>

#include "rt/console_text.h"

namespace corvane {

void UseUtf8Console() {
  // Without a console (a service wrapper's pipe) there is nothing to set.
  SetConsoleOutputCP(CP_UTF8);
}

}  // namespace corvane
