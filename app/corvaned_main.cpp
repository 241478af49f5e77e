// corvaned: the bridge without a window and without Qt, for services and small machines.
#include <cstdio>

#include "app/command_line.h"
#include "app/corvane_form.h"
#include "app/headless_main.h"

int main(int argc, char** argv) {
  // "--headless" is taken and changes nothing, so a command line written for corvane works.
  corvane::CommandLine cl = corvane::ParseCommandLine(argc, argv);
  if (cl.help) {
    std::fputs(corvane::kHeadlessUsageText, stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("%s\n", kCorvaneVersionLine);
    return 0;
  }
  return corvane::RunHeadless(cl.rest, !cl.event_threads);
}
