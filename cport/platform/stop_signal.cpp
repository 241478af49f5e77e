#include "cport/platform/stop_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace corvane::platform {

namespace {

std::atomic<uint64_t> g_nextSerial{1};

}  // namespace

StopSignal::StopSignal()
    : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), serial_(g_nextSerial.fetch_add(1)) {
  if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), "stop signal");
}

void StopSignal::Set() {
  // The flag first: a waiter woken by the descriptor must find it set.
  set_.store(true, std::memory_order_release);
  // The counter only grows, so the descriptor stays readable; nobody ever reads it.
  const uint64_t one = 1;
  [[maybe_unused]] auto n = write(fd_.get(), &one, sizeof one);
}

}  // namespace corvane::platform
