#include "rt/main_thread.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace corvane {

// One caller's wake-up. A thread blocks in at most one call at a time, so it keeps one for
// its life; a pending call has one of its own. The main thread holds its own reference
// while it releases it, because the caller may return, and even end, the moment it sees
// the release.
class MainThread::Waker {
 public:
  static std::shared_ptr<Waker> OfThisThread() {
    thread_local const std::shared_ptr<Waker> waker = std::make_shared<Waker>();
    return waker;
  }
  void Arm() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = false;
  }
  bool Released() {
    std::lock_guard<std::mutex> lock(mutex_);
    return released_;
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    woken_.wait(lock, [this] { return released_; });
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      released_ = true;
    }
    // Outside the lock: the caller wakes to a free mutex.
    woken_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool released_ = false;
};

struct MainThread::Call {
  std::function<void()> fn;
  bool wait_for_end = false;  // Synchronize waits for the end, Send only for the take
  std::exception_ptr error;   // written before the caller is released
  std::shared_ptr<Waker> waker;
};

MainThread& MainThread::Instance() {
  // Never destroyed: event threads may still reach it while static objects go away.
  static MainThread* instance = new MainThread;
  return *instance;
}

MainThread::MainThread() = default;

MainThread::~MainThread() = default;

void MainThread::Attach() {
  main_id_.store(std::this_thread::get_id());
}

bool MainThread::Attached() const {
  return main_id_.load() != std::thread::id();
}

bool MainThread::IsMainThread() const {
  return main_id_.load() == std::this_thread::get_id();
}

void MainThread::RequireMainThread(const char* what) const {
  if (!IsMainThread()) throw std::logic_error(std::string(what) + " called off the main thread");
}

void MainThread::SetWakeFdReadable(bool readable) {
  // Called under mutex_, so the signal's state always matches whether the queue is empty.
  wake_.Set(readable);
}

void MainThread::Enqueue(Call& call) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(&call);
    if (queue_.size() == 1) SetWakeFdReadable(true);
    hook = wake_hook_;
  }
  // A main thread asleep in ServeUntil looks at the queue again.
  changed_.notify_one();
  if (!hook) return;
  // The call is queued and its caller will wait for it; a throwing hook must not unwind
  // past it.
  try {
    hook();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "main thread wake hook failed: %s\n", e.what());
  } catch (...) {
    std::fputs("main thread wake hook failed\n", stderr);
  }
}

void MainThread::EnqueueAndWait(Call& call) {
  // Our own reference: once queued, the call belongs to the main thread until released.
  const std::shared_ptr<Waker> waker = Waker::OfThisThread();
  waker->Arm();
  call.waker = waker;
  Enqueue(call);
  waker->Wait();
}

void MainThread::Synchronize(std::function<void()> fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  Call call;
  call.fn = std::move(fn);
  call.wait_for_end = true;
  EnqueueAndWait(call);
  if (call.error) std::rethrow_exception(call.error);
}

void MainThread::Send(std::function<void()> fn) {
  if (IsMainThread()) {
    try {
      fn();
    } catch (...) {
      HandleException(std::current_exception());
    }
    return;
  }
  Call call;
  call.fn = std::move(fn);
  EnqueueAndWait(call);
}

bool MainThread::RunOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  Call* call = queue_.front();
  queue_.pop_front();
  if (queue_.empty()) SetWakeFdReadable(false);
  lock.unlock();
  // The caller stays blocked until its waker is released: the call is ours until then.
  std::function<void()> fn = std::move(call->fn);
  std::shared_ptr<Waker> waker = std::move(call->waker);
  const bool sync = call->wait_for_end;
  if (!sync) {
    // A sender may return and drop its call from here on.
    call = nullptr;
    waker->Release();
  }
  std::exception_ptr error;
  try {
    fn();
  } catch (...) {
    error = std::current_exception();
  }
  fn = nullptr;  // captured state goes before the caller is released
  if (sync) {
    call->error = error;
    waker->Release();
  } else if (error) {
    HandleException(error);
  }
  lock.lock();
  return true;
}

bool MainThread::ServePending() {
  RequireMainThread("ServePending");
  std::unique_lock<std::mutex> lock(mutex_);
  bool any = false;
  while (RunOne(lock)) any = true;
  return any;
}

void MainThread::ServeUntil(const std::function<bool()>& done) {
  RequireMainThread("ServeUntil");
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done()) {
    if (!RunOne(lock)) changed_.wait(lock);
  }
}

bool MainThread::ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  RequireMainThread("ServeUntil");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done()) {
    if (RunOne(lock)) continue;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) return done();
  }
  return true;
}

void MainThread::Notify() {
  // Taking the lock orders the waker's change before a waiter's next look at it.
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}

void MainThread::JoinServing(ServedThread& t) {
  if (!t.thread_.joinable()) return;
  if (t.thread_.get_id() == std::this_thread::get_id())
    throw std::logic_error("a thread cannot wait for its own end");
  if (IsMainThread()) {
    auto state = t.state_;
    ServeUntil([&state] { return state->ended.load(); });
  }
  t.thread_.join();
}

void MainThread::SetWakeHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_hook_ = std::move(hook);
}

void MainThread::SetExceptionHandler(std::function<void(std::exception_ptr)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  exception_handler_ = std::move(handler);
}

namespace {

void PrintException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fputs("Unknown exception\n", stderr);
  }
}

}  // namespace

void MainThread::HandleException(std::exception_ptr error) {
  if (!error) return;
  std::function<void(std::exception_ptr)> handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler = exception_handler_;
  }
  if (!handler) {
    PrintException(error);
    return;
  }
  // The handler is the last stop; if it fails too, the operator still gets the text.
  try {
    handler(error);
  } catch (...) {
    PrintException(error);
    PrintException(std::current_exception());
  }
}

PendingCall::PendingCall()
    : call_(std::make_unique<MainThread::Call>()), waker_(std::make_shared<MainThread::Waker>()) {}

PendingCall::~PendingCall() {
  if (started_) waker_->Wait();
}

void PendingCall::Start(std::function<void()> fn) {
  if (started_) throw std::logic_error("PendingCall started twice");
  started_ = true;
  call_->error = nullptr;
  waker_->Arm();
  MainThread& main = MainThread::Instance();
  if (main.IsMainThread()) {
    try {
      fn();
    } catch (...) {
      call_->error = std::current_exception();
    }
    waker_->Release();
    return;
  }
  call_->fn = std::move(fn);
  call_->wait_for_end = true;
  call_->waker = waker_;
  main.Enqueue(*call_);
}

bool PendingCall::Ran() const {
  return started_ && waker_->Released();
}

void PendingCall::Finish() {
  if (!started_) return;
  waker_->Wait();
  started_ = false;
  if (std::exception_ptr error = std::exchange(call_->error, nullptr)) {
    std::rethrow_exception(error);
  }
}

ServedThread::~ServedThread() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
    return;
  }
  MainThread::Instance().JoinServing(*this);
}

void ServedThread::Start(std::function<void()> body) {
  if (thread_.joinable()) throw std::logic_error("ServedThread started twice");
  auto state = std::make_shared<State>();
  state_ = state;
  thread_ = std::thread([state, body = std::move(body)]() mutable {
    try {
      body();
    } catch (...) {
      state->error = std::current_exception();
    }
    body = nullptr;
    state->ended.store(true);
    MainThread::Instance().Notify();
  });
}

bool ServedThread::Ended() const {
  return state_ && state_->ended.load();
}

std::exception_ptr ServedThread::Error() const {
  return Ended() ? state_->error : std::exception_ptr();
}

}  // namespace corvane
