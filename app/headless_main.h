#pragma once
#include <string>
#include <vector>

namespace corvane {
// Runs the bridge without a window until SIGINT or SIGTERM; returns the exit status.
// loop_delivery: the main loop watches the lines itself (off: an event thread per line).
int RunHeadless(const std::vector<std::string>& args, bool loop_delivery = true);
}  // namespace corvane
