#pragma once
// Small helpers shared by the files of the tty backend.
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace corvane::platform {

inline int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Failures of the modem and counter ioctls that only say the device has no such lines
// (a pseudo-terminal answers ENOTTY).
inline bool NotProvided(int err) {
  return err == ENOTTY || err == EINVAL || err == ENOTSUP;
}

}  // namespace corvane::platform
