#include "rt/event_loop.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "rt/main_thread.h"

namespace corvane {

EventLoop::EventLoop() = default;

EventLoop::~EventLoop() {
  if (MainLoopWatcher() == this) SetMainLoopWatcher(nullptr);
}

int EventLoop::AddTimer(std::chrono::milliseconds interval, std::function<void()> fn) {
  const Clock::duration step = std::max(interval, std::chrono::milliseconds(1));
  const int id = next_id_++;
  timers_[id] =
      Timer{step, Clock::now() + step, std::make_shared<std::function<void()>>(std::move(fn))};
  return id;
}

void EventLoop::RemoveTimer(int id) {
  timers_.erase(id);
}

int EventLoop::Watch(int fd, unsigned ready, std::function<void()> fn) {
  const int id = next_id_++;
  const FdWatch& watch = watches_[id] =
      FdWatch{fd, ready, std::make_shared<std::function<void()>>(std::move(fn))};
  try {
    WaitSetAdd(id, watch);
  } catch (...) {
    watches_.erase(id);  // a watch the OS refused is no watch at all
    throw;
  }
  return id;
}

void EventLoop::Unwatch(int id) {
  if (watches_.erase(id) != 0) WaitSetRemove(id);
}

void EventLoop::Quit(int code) {
  // Only async-signal-safe calls here, and errno as the interrupted code left it.
  const int saved_errno = errno;
  quit_code_.store(code);
  quit_.Set(true);
  errno = saved_errno;
}

int EventLoop::Run() {
  while (Iterate(Clock::time_point::max())) {
  }
  return quit_code_.load();
}

bool EventLoop::RunUntil(const std::function<bool()>& cond, std::chrono::milliseconds deadline) {
  const auto limit = Clock::now() + deadline;
  while (!cond()) {
    if (Clock::now() >= limit || !Iterate(limit)) return cond();
  }
  return true;
}

void EventLoop::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    MainThread::Instance().HandleException(std::current_exception());
  }
}

bool EventLoop::Iterate(Clock::time_point limit) {
  MainThread& main = MainThread::Instance();
  if (!main.IsMainThread()) throw std::logic_error("EventLoop runs off the main thread");

  Clock::time_point wake = limit;
  for (const auto& [id, timer] : timers_) wake = std::min(wake, timer.due);
  int timeout_ms = -1;
  if (wake != Clock::time_point::max()) {
    const auto now = Clock::now();
    const auto left = wake <= now ? std::chrono::milliseconds(0)
                                  : std::chrono::ceil<std::chrono::milliseconds>(wake - now);
    timeout_ms = static_cast<int>(std::min<int64_t>(left.count(), INT_MAX));
  }

  Ready ready = WaitForWork(timeout_ms);
  if (ready.quit) {
    quit_.Set(false);
    return false;
  }
  if (ready.serve) main.ServePending();
  for (const auto& [id, closed] : ready.watches) {
    // An earlier callback of this round may have removed the watch.
    auto it = watches_.find(id);
    if (it == watches_.end()) continue;
    if (closed) {
      const int fd = it->second.fd;
      watches_.erase(it);
      WaitSetRemove(id);
      main.HandleException(std::make_exception_ptr(
          std::runtime_error("watched descriptor " + std::to_string(fd) + " is not open")));
      continue;
    }
    auto fn = it->second.fn;  // the callback may unwatch itself
    Guarded(*fn);
  }
  spareWatches_ = std::move(ready.watches);
  RunTimers();
  return true;
}

void EventLoop::RunTimers() {
  const auto now = Clock::now();
  std::vector<std::pair<Clock::time_point, int>> due;
  for (const auto& [id, timer] : timers_) {
    if (timer.due <= now) due.emplace_back(timer.due, id);
  }
  std::sort(due.begin(), due.end());
  for (const auto& [when, id] : due) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;
    Timer& timer = it->second;
    timer.due += timer.interval;
    if (timer.due <= now) timer.due = now + timer.interval;
    auto fn = timer.fn;  // the callback may remove its own timer
    Guarded(*fn);
  }
}

}  // namespace corvane
