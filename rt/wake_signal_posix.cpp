#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "rt/wake_signal.h"

namespace corvane {

WakeSignal::WakeSignal() : native_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (native_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeSignal::~WakeSignal() {
  close(static_cast<int>(native_));
}

void WakeSignal::Set(bool signalled) {
  const int fd = static_cast<int>(native_);
  if (signalled) {
    const uint64_t one = 1;
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
  } else {
    uint64_t count;
    while (read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace corvane
