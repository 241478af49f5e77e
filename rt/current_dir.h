#pragma once
#include <string>

namespace corvane {

// The process's working directory with a trailing "/"; empty when it cannot be had
// (removed, or not reachable), never an exception.
std::string CurrentDirWithSlash();

}  // namespace corvane
