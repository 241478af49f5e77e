#include "cport_ui/setup_apply.h"

#include <string>

namespace corvane {
namespace {

// A new name that could not be opened leaves the port closed under it, and every later
// reopen would try it again: the port goes back to the name it had and is opened under it.
// That reopen may fail too; the port then stays closed under its old name, where the next
// attempt to open it reports that, and the caller hears of the first error, the one the
// operator's choice caused.
void RestoreName(TCustomComPort& Port, const std::string& previous) {
  Port.SetPort(previous);
  try {
    Port.OpenPort();
  } catch (...) {
  }
}

}  // namespace

void ApplySetupChoices(TCustomComPort& Port, const std::array<std::function<void()>, 6>& apply,
                       bool nameChosen) {
  const std::string previous = Port.Port();
  const bool wasOpen = Port.Connected();
  Port.BeginSettingsUpdate();
  try {
    for (size_t i = nameChosen ? 0 : 1; i < apply.size(); ++i) apply[i]();
  } catch (...) {
    // An open bracket would keep every later change of this port from its device. The
    // first error is the one the caller hears of.
    try {
      Port.EndSettingsUpdate();
    } catch (...) {
    }
    if (wasOpen && !Port.Connected() && Port.Port() != previous) RestoreName(Port, previous);
    throw;
  }
  Port.EndSettingsUpdate();
}

}  // namespace corvane
