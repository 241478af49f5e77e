#include "tools/bench_bridge/stop_request.h"

#include <signal.h>

namespace corvane {
namespace {

volatile sig_atomic_t stop_requested = 0;

void OnStopSignal(int) {
  stop_requested = 1;
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A client line whose peer vanished must fail a write, not end the benchmark.
  signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() {
  return stop_requested != 0;
}

}  // namespace corvane
