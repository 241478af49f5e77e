// corvane-simrig: a simulated FT2000 on a pseudo-terminal or a given tty.
#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <optional>
#include <system_error>

#include "tools/simrig/cat_line.h"
#include "tools/simrig/simrig_options.h"
#include "tools/simrig/simrig_server.h"

int main(int argc, char** argv) {
  using namespace corvane;
  std::string error;
  const std::optional<SimrigOptions> options =
      ParseSimrigOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "corvane-simrig: %s\n%s\n", error.c_str(), kSimrigUsage);
    return 2;
  }

  // Stop signals arrive as readable data in the server's poll, so the link is removed on the way
  // out.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &stop_signals, nullptr) != 0) {
    std::perror("corvane-simrig: sigprocmask");
    return 1;
  }
  UniqueFd stop(signalfd(-1, &stop_signals, SFD_CLOEXEC | SFD_NONBLOCK));
  if (stop.get() < 0) {
    std::perror("corvane-simrig: signalfd");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);

  try {
    CatLine line = options->device.empty() ? OpenPseudoTerminal() : OpenDevice(options->device);
    std::optional<LineLink> link;
    if (!options->link.empty()) link.emplace(options->link, line.path);
    std::printf("%s\n", line.path.c_str());
    std::fflush(stdout);
    return SimrigServer(line.io.get(), stop.get(), *options).Run();
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "corvane-simrig: %s\n", e.what());
    return 1;
  }
}
