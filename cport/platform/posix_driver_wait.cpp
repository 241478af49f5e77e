#include "cport/platform/posix_driver_wait.h"

#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace corvane::platform {
namespace {

void IgnoreSignal(int) {}

int InterruptSignal() {
  // Installed once, on first use: the handler only makes a blocked driver call return.
  static const int sig = [] {
    const int s = SIGRTMIN + 4;
    struct sigaction sa {};
    sa.sa_handler = IgnoreSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: the interrupted call returns EINTR
    sigaction(s, &sa, nullptr);
    return s;
  }();
  return sig;
}

}  // namespace

void InterruptDriverCall(std::thread& thread) {
  pthread_kill(thread.native_handle(), InterruptSignal());
}

DriverWaitThread::DriverWaitThread(Wait wait, Interrupt interrupt)
    : wait_(std::move(wait)),
      interrupt_(std::move(interrupt)),
      fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DriverWaitThread::~DriverWaitThread() {
  Stop();
}

int DriverWaitThread::Start() {
  std::lock_guard lock(mutex_);
  if (running_) return 0;
  if (thread_.joinable()) thread_.join();  // ended on its own earlier
  if (!fd_.valid()) return EMFILE;
  stopping_ = false;
  error_ = 0;
  running_ = true;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    running_ = false;
    return e.code().value();
  }
  return 0;
}

void DriverWaitThread::Run() {
  int err = 0;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
    }
    err = wait_();
    if (err == EINTR) continue;
    const uint64_t one = 1;
    [[maybe_unused]] auto n = write(fd_.get(), &one, sizeof one);
    if (err != 0) break;
  }
  std::lock_guard lock(mutex_);
  if (!stopping_) error_ = err;
  running_ = false;
  ended_.notify_all();
}

void DriverWaitThread::Stop() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) return;
  stopping_ = true;
  // The thread may be between its look at stopping_ and the wait: interrupt until it ends.
  while (running_) {
    lock.unlock();
    interrupt_(thread_);
    lock.lock();
    ended_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !running_; });
  }
  lock.unlock();
  thread_.join();
}

bool DriverWaitThread::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void DriverWaitThread::Consume() {
  uint64_t n = 0;
  [[maybe_unused]] auto r = read(fd_.get(), &n, sizeof n);
}

int DriverWaitThread::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace corvane::platform
