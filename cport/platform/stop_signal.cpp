#include "cport/platform/stop_signal.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace corvane::platform {

StopSignal::StopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), "stop signal");
}

void StopSignal::Set() {
  // The counter only grows, so the descriptor stays readable; nobody ever reads it.
  const uint64_t one = 1;
  [[maybe_unused]] auto n = write(fd_.get(), &one, sizeof one);
}

bool StopSignal::IsSet() const {
  pollfd p{fd_.get(), POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

}  // namespace corvane::platform
