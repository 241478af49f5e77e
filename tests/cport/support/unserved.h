#pragma once
// Waiting on the test's main thread without serving calls into it: an event thread that
// hands a batch over stays blocked meanwhile, so what the test does next makes up its next
// batch, or shows what the thread does without the main thread's help.
#include <poll.h>

#include <chrono>
#include <functional>
#include <thread>

#include "rt/main_thread.h"

namespace corvane::test {

// Waits up to 2 s for cond, which another thread makes true.
inline bool Unserved(const std::function<bool()>& cond) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits up to 2 s until some thread is blocked handing a call to the main thread.
inline bool ThreadWaitsForMain() {
  pollfd p{corvane::MainThread::Instance().WakeFd(), POLLIN, 0};
  return poll(&p, 1, 2000) == 1;
}

}  // namespace corvane::test
