#pragma once
// Where the port box takes its port names from: the system's tty class directory, or a
// tree of the same shape that a test builds.
#include <string>

namespace corvane {

const std::string& PortListDirectory();
void SetPortListDirectory(std::string Directory);

}  // namespace corvane
