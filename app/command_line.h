#pragma once
// Our own options may stand anywhere on the command line; they are taken out before the
// "-F name" rule looks at what remains.
#include <string>
#include <vector>

namespace corvane {

struct CommandLine {
  bool headless = false;
  bool help = false;
  bool version = false;
  bool event_threads = false;
  std::vector<std::string> rest;  // what the bridge sees, in order
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

extern const char* const kUsageText;
// The same for corvaned, the program without a window.
extern const char* const kHeadlessUsageText;

}  // namespace corvane
