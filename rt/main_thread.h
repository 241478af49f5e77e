#pragma once
// Calls into the main thread.
//
// Threading contract
// - One thread of the process is the main thread: the one that last called
//   MainThread::Attach(). Every bridge handler, timer and port event handler runs there,
//   one at a time, which is why the bridge's state needs no lock.
// - Synchronize() and Send() may be called from any thread. Off the main thread they
//   queue the call, wake whichever loop drives the main thread (wake hook and WakeFd()),
//   and block the caller: Synchronize() until the call has run (re-raising on the caller
//   what it raised), Send() only until the main thread has taken the call off the queue.
//   On the main thread both run the call at once. Each blocked caller waits on a wake-up
//   of its own, released once the main thread has let go of the queue, so serving one call
//   wakes exactly its caller.
// - ServePending(), ServeUntil() and JoinServing() are for the main thread only; they run
//   queued calls in arrival order. They hold no lock while a call runs, so a call may
//   itself queue further calls, serve, or join another thread.
// - A thread blocked in Synchronize() or Send() stays blocked until the main thread
//   serves; whoever ends such a thread from the main thread must wait for it with
//   JoinServing() (or ServeUntil()), never with a plain join, or both threads wait forever.
// - Whatever loop runs the main thread serves: a poll loop watches WakeFd() (see
//   rt/event_loop.h); a window framework's loop posts ServePending() to itself from the
//   wake hook, or watches WakeFd() with its socket notifier.
// - The exception handler is called on whichever thread hands it an exception; with the
//   calls here that is always the main thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "rt/wake_signal.h"

namespace corvane {

class PendingCall;
class ServedThread;

class MainThread {
 public:
  static MainThread& Instance();

  MainThread(const MainThread&) = delete;
  MainThread& operator=(const MainThread&) = delete;

  // The calling thread becomes the main thread.
  void Attach();
  bool IsMainThread() const;
  // Whether some thread has attached as the main thread.
  bool Attached() const;

  // Runs fn on the main thread and waits for it; what fn raised is raised again here.
  void Synchronize(std::function<void()> fn);
  // Hands fn to the main thread and waits only until it has been taken off the queue.
  // What fn raises goes to HandleException(), not back to the sender.
  void Send(std::function<void()> fn);

  // Main thread: runs every queued call, also those queued meanwhile; true if any ran.
  // Throws std::logic_error on another thread.
  bool ServePending();
  // Main thread: serves queued calls until done() is true. done() is evaluated under the
  // queue's lock, so it must be cheap and must not call into MainThread; whoever makes
  // it true from another thread calls Notify() afterwards. Blocks without spinning.
  // Queued calls wake it as well.
  void ServeUntil(const std::function<bool()>& done);
  // As above with a time limit; returns done() at the end.
  bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Main thread: waits until t's body has ended, serving its (and anyone's) calls
  // meanwhile, then joins it. Does nothing for a thread that was never started or
  // has been joined already.
  void JoinServing(ServedThread& t);
  // Wakes ServeUntil() to look at its condition again.
  void Notify();

  // Called after every queued call, on the queueing thread, so that the loop that runs
  // the main thread serves promptly. Must not block.
  void SetWakeHook(std::function<void()> hook);
  // An eventfd that is readable exactly while calls are queued; for poll-based loops.
  int WakeFd() const { return static_cast<int>(wake_.Native()); }
  // The same wake-up as the OS object a loop waits on (on Windows a manual-reset event).
  std::intptr_t WakeHandle() const { return wake_.Native(); }

  // The application's exception handler ("shows its message"). The default writes the
  // message to stderr.
  void SetExceptionHandler(std::function<void(std::exception_ptr)> handler);
  void HandleException(std::exception_ptr error);

 private:
  friend class PendingCall;
  struct Call;
  class Waker;

  MainThread();
  ~MainThread();

  // Queues call and wakes the loop that runs the main thread; the call's waker is released
  // once the call is taken (Send) or has run (the others).
  void Enqueue(Call& call);
  // Queues call and blocks the calling thread until the main thread releases it.
  void EnqueueAndWait(Call& call);
  // Takes the oldest call, or returns false when none is queued. Expects the lock held;
  // drops it while the call runs.
  bool RunOne(std::unique_lock<std::mutex>& lock);
  void RequireMainThread(const char* what) const;
  void SetWakeFdReadable(bool readable);

  std::atomic<std::thread::id> main_id_;
  WakeSignal wake_;

  mutable std::mutex mutex_;
  // Only the main thread waits on it (ServeUntil): callers wait on wake-ups of their own.
  std::condition_variable changed_;
  std::deque<Call*> queue_;
  std::function<void()> wake_hook_;
  std::function<void(std::exception_ptr)> exception_handler_;
};

// A call into the main thread that its caller collects later: Start() queues it and returns
// at once, Finish() waits until it has run and raises again what it raised. In between the
// caller may wait for something else (an event thread waits on its device while the
// handlers of its last batch run), and Finish() blocks only if the call has not run yet.
// One call at a time: Start() again only after Finish(). A thread blocked in Finish() is
// served like one blocked in Synchronize(); on the main thread Start() runs the call at once.
class PendingCall {
 public:
  PendingCall();
  // Waits for a call still under way; what it raised is dropped.
  ~PendingCall();
  PendingCall(const PendingCall&) = delete;
  PendingCall& operator=(const PendingCall&) = delete;

  void Start(std::function<void()> fn);
  // True from Start() until Finish().
  bool Started() const { return started_; }
  // True once the started call has run; never waits.
  bool Ran() const;
  // Nothing to do when no call was started.
  void Finish();

 private:
  std::unique_ptr<MainThread::Call> call_;
  std::shared_ptr<MainThread::Waker> waker_;
  bool started_ = false;
};

// A thread whose end the main thread can wait for while it serves calls, so an event
// thread blocked in Synchronize() can finish: start it with the body, end it with
// MainThread::JoinServing(). What the body raises ends the thread and is kept in
// Error(), unshown. Destroying a ServedThread that still runs joins it (serving, on the
// main thread).
class ServedThread {
 public:
  ServedThread() = default;
  explicit ServedThread(std::function<void()> body) { Start(std::move(body)); }
  ~ServedThread();

  ServedThread(const ServedThread&) = delete;
  ServedThread& operator=(const ServedThread&) = delete;

  // Starts the thread; throws std::logic_error when one was started and not yet joined,
  // std::system_error when the system cannot create it.
  void Start(std::function<void()> body);
  bool Joinable() const { return thread_.joinable(); }
  // True once the body has returned or raised.
  bool Ended() const;
  std::thread::id Id() const { return thread_.get_id(); }
  // What the body raised, once Ended(); null when it returned normally.
  std::exception_ptr Error() const;

 private:
  friend class MainThread;
  struct State {
    std::atomic<bool> ended{false};
    std::exception_ptr error;  // written before ended is set
  };

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace corvane
