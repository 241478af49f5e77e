#pragma once
#include <string>
#include <vector>

namespace corvane {
// Runs the bridge in its window until the window closes; returns the exit status.
// args: the command line the bridge sees (argc and argv go to Qt).
int RunWindow(int argc, char** argv, const std::vector<std::string>& args);
}  // namespace corvane
