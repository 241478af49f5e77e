// corvane: shares one transceiver's CAT line between two client programs.
#include <cstdio>

#include "app/command_line.h"
#include "app/corvane_form.h"
#include "app/headless_main.h"

#ifdef CORVANE_HAS_WINDOW
#include "app/window/window_main.h"
#endif

int main(int argc, char** argv) {
  corvane::CommandLine cl = corvane::ParseCommandLine(argc, argv);
  if (cl.help) {
    std::fputs(corvane::kUsageText, stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("%s\n", kCorvaneVersionLine);
    return 0;
  }
#ifdef CORVANE_HAS_WINDOW
  if (!cl.headless) return corvane::RunWindow(argc, argv, cl.rest);
#endif
  return corvane::RunHeadless(cl.rest, !cl.event_threads);
}
