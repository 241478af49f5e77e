#include "cport/platform/stop_signal.h"

namespace corvane::platform {

namespace {

std::atomic<uint64_t> g_nextSerial{1};

}  // namespace

StopSignal::StopSignal() : serial_(g_nextSerial.fetch_add(1)) {}

void StopSignal::Set() {
  // The flag first: a waiter woken by the signal must find it set.
  set_.store(true, std::memory_order_release);
  signal_.Set(true);
}

}  // namespace corvane::platform
