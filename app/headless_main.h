#pragma once
#include <string>
#include <vector>

namespace corvane {
// Runs the bridge without a window until SIGINT or SIGTERM; returns the exit status.
int RunHeadless(const std::vector<std::string>& args);
}  // namespace corvane
