#pragma once
// A loop that drives the main thread when there is no window framework: the headless front
// end and the tests. It serves MainThread calls as soon as they are queued, runs timers
// and reacts to readable descriptors, and sleeps in the OS's wait otherwise.
//
// Threading: construct, add timers and watches, Run() and RunUntil() on the main thread
// (MainThread::Attach() first). Every timer and descriptor callback runs there. Quit() may
// be called from any thread and from a signal handler. A callback that raises hands the
// exception to MainThread::HandleException() and the loop goes on.
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "rt/descriptor_watch.h"
#include "rt/wake_signal.h"

namespace corvane {

class EventLoop : public DescriptorWatcher {
 public:
  EventLoop();
  // Stops being the main loop's watcher if it was.
  ~EventLoop() override;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // A repeating timer, first due one interval from now; intervals below 1 ms count as
  // 1 ms. A timer that falls behind skips the missed ticks rather than firing in a burst.
  // Timers due at the same time fire in the order they were added.
  int AddTimer(std::chrono::milliseconds interval, std::function<void()> fn);
  // Safe from inside any callback, the timer's own included. Unknown ids are ignored.
  void RemoveTimer(int id);

  // Calls fn whenever fd is readable, hung up or in error; fn must read, or unwatch on
  // hang-up, or the loop keeps calling it. A descriptor that gets closed while watched is
  // dropped and reported through the exception handler. POSIX only: on Windows the loop
  // raises std::logic_error while a descriptor is watched.
  int WatchFd(int fd, std::function<void()> fn) { return Watch(fd, kReadable, std::move(fn)); }
  // Whether this OS's loop can watch descriptors at all (the main loop's watcher, if so).
  static bool WatchesDescriptors();
  void UnwatchFd(int id) { Unwatch(id); }
  // The same for readiness to write as well (DescriptorWatcher).
  int Watch(int fd, unsigned ready, std::function<void()> fn) override;
  void Unwatch(int id) override;

  // Ends Run() (or RunUntil()) with the given code; async-signal-safe. A Quit() while no
  // loop runs ends the next Run() at once.
  void Quit(int code = 0);

  // Runs until Quit(); returns Quit's code.
  int Run();
  // Runs until cond() holds, Quit() is called, or the deadline has passed; returns cond().
  // cond() is looked at after every round, so a change made by another thread is seen
  // once something wakes the loop: a MainThread call, a watched fd or a timer.
  bool RunUntil(const std::function<bool()>& cond, std::chrono::milliseconds deadline);

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    Clock::duration interval;
    Clock::time_point due;
    std::shared_ptr<std::function<void()>> fn;
  };
  struct FdWatch {
    int fd;
    unsigned ready;
    std::shared_ptr<std::function<void()>> fn;
  };

  // What woke a round: Quit(), queued main-thread calls, watched descriptors (by id, and
  // whether the descriptor was found closed).
  struct Ready {
    bool quit = false;
    bool serve = false;
    std::vector<std::pair<int, bool>> watches;
  };

  // One round: waits at most until limit (or the next timer), then serves calls, fds and
  // due timers. Returns false once Quit() was seen.
  bool Iterate(Clock::time_point limit);
  // The OS's wait over the quit signal, the main thread's wake-up and the watches; -1
  // waits without a time limit. One file per OS, with what the OS keeps of a watch from
  // one wait to the next (added when a watch starts, dropped when it ends).
  Ready WaitForWork(int timeout_ms);
  void WaitSetAdd(int id, const FdWatch& watch);
  void WaitSetRemove(int id);
  void RunTimers();
  void Guarded(const std::function<void()>& fn);

  WakeSignal quit_;
  std::atomic<int> quit_code_{0};  // lock-free, so Quit() may set it in a signal handler
  int next_id_ = 1;
  std::map<int, Timer> timers_;
  std::map<int, FdWatch> watches_;
  // The OS's own record of what WaitForWork waits on, where it keeps one; made on first use.
  struct WaitSet;
  WaitSet& OsWaitSet();
  std::shared_ptr<WaitSet> waitSet_;
  // The last round's list of woken watches, kept so that a busy loop does not allocate
  // one every round.
  std::vector<std::pair<int, bool>> spareWatches_;
};

}  // namespace corvane
