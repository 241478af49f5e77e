#pragma once
// The simulated transceiver's command line.
#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct SimrigOptions {
  std::string link;    // symlink to the pty slave, empty for none
  std::string device;  // existing tty to serve instead of a new pty
  bool auto_info = false;
  int delay_ms = 0;
  int refuse_every = 0;  // one read in this many is refused with "?;" (0: none)
  int report_every_ms = 0;  // while auto-information is on, a report this often (0: none)
  bool verbose = false;
};

// Parses the arguments after the program name; on a bad command line returns
// nothing and puts the reason into error.
std::optional<SimrigOptions> ParseSimrigOptions(const std::vector<std::string>& args,
                                                std::string& error);

inline constexpr const char* kSimrigUsage =
    "usage: corvane-simrig [--link PATH] [--device PATH] [--ai] [--delay-ms N] [--refuse N] [--report-every MS] [--verbose]";

}  // namespace corvane
