#include <atomic>
#include <csignal>

#include "rt/event_loop.h"
#include "rt/stop_request.h"

namespace corvane {
namespace {

std::atomic<EventLoop*> g_loop{nullptr};

void OnQuitSignal(int) {
  if (EventLoop* loop = g_loop.load()) loop->Quit();
}

}  // namespace

void QuitLoopOnStopRequest(EventLoop* loop) {
  g_loop.store(loop);
  if (loop == nullptr) return;
  struct sigaction quit {};
  quit.sa_handler = OnQuitSignal;
  sigemptyset(&quit.sa_mask);
  sigaction(SIGINT, &quit, nullptr);
  sigaction(SIGTERM, &quit, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace corvane
