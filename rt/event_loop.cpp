#include "rt/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

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

EventLoop::EventLoop() {
  quit_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (quit_fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

EventLoop::~EventLoop() {
  close(quit_fd_);
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

int EventLoop::WatchFd(int fd, std::function<void()> fn) {
  const int id = next_id_++;
  watches_[id] = Watch{fd, std::make_shared<std::function<void()>>(std::move(fn))};
  return id;
}

void EventLoop::UnwatchFd(int id) {
  watches_.erase(id);
}

void EventLoop::Quit(int code) {
  // Only async-signal-safe calls here, and errno as the interrupted code left it.
  const int saved_errno = errno;
  quit_code_.store(code);
  const uint64_t one = 1;
  // A full counter (EAGAIN) still leaves the fd readable.
  while (write(quit_fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
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

  std::vector<pollfd> fds;
  std::vector<int> ids;
  fds.push_back({quit_fd_, POLLIN, 0});
  fds.push_back({main.WakeFd(), POLLIN, 0});
  for (const auto& [id, watch] : watches_) {
    fds.push_back({watch.fd, POLLIN, 0});
    ids.push_back(id);
  }
  if (poll(fds.data(), fds.size(), timeout_ms) < 0) {
    if (errno == EINTR) return true;
    throw std::system_error(errno, std::generic_category(), "poll");
  }

  if (fds[0].revents & POLLIN) {
    uint64_t count;
    while (read(quit_fd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
    return false;
  }
  if (fds[1].revents & POLLIN) main.ServePending();
  for (size_t i = 0; i < ids.size(); ++i) {
    const short revents = fds[i + 2].revents;
    if (revents == 0) continue;
    // An earlier callback of this round may have removed the watch.
    auto it = watches_.find(ids[i]);
    if (it == watches_.end()) continue;
    if (revents & POLLNVAL) {
      const int fd = it->second.fd;
      watches_.erase(it);
      main.HandleException(std::make_exception_ptr(
          std::runtime_error("watched descriptor " + std::to_string(fd) + " is not open")));
      continue;
    }
    auto fn = it->second.fn;  // the callback may unwatch itself
    Guarded(*fn);
  }
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
