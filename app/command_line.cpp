#include "app/command_line.h"

namespace corvane {

const char* const kUsageText =
    "usage: corvane [--headless] [-F configfile]\n"
    "\n"
    "Shares one transceiver's CAT line between two client programs.\n"
    "The configuration file (default Corvane.INI) and the trace file Corvane.Log\n"
    "live in the current directory.\n"
    "\n"
    "  -F name     use the configuration file name (relative to the current directory)\n"
    "  --headless  run without a window; messages go to stderr\n"
    "  --event-threads  with --headless: an event thread per line hands its events to the\n"
    "              main loop, instead of the main loop watching the lines itself\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

const char* const kHeadlessUsageText =
    "usage: corvaned [-F configfile]\n"
    "\n"
    "Shares one transceiver's CAT line between two client programs; runs without a\n"
    "window until SIGINT or SIGTERM, and writes its configuration back then.\n"
    "The configuration file (default Corvane.INI) and the trace file Corvane.Log\n"
    "live in the current directory. Messages go to stderr.\n"
    "\n"
    "  -F name     use the configuration file name (relative to the current directory)\n"
    "  --event-threads  an event thread per line hands its events to the main loop,\n"
    "              instead of the main loop watching the lines itself\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine cl;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--headless") {
      cl.headless = true;
    } else if (arg == "--help") {
      cl.help = true;
    } else if (arg == "--event-threads") {
      cl.event_threads = true;
    } else if (arg == "--version") {
      cl.version = true;
    } else {
      cl.rest.push_back(std::move(arg));
    }
  }
  return cl;
}

}  // namespace corvane
