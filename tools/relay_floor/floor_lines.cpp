#include "tools/relay_floor/floor_lines.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace corvane {
namespace {

// The bridge's transceiver line gives a command 100 ms per byte plus a second.
std::chrono::milliseconds RigWriteBudget(size_t bytes) {
  return std::chrono::milliseconds(1000 + 100 * static_cast<long long>(bytes));
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

FloorLines::FloorLines(const std::string& a, const std::string& b, const std::string& rig)
    : lines_{OpenDevice(a), OpenDevice(b), OpenDevice(rig)} {}

void FloorLines::WriteToRig(const std::string& command) {
  const auto end = std::chrono::steady_clock::now() + RigWriteBudget(command.size());
  size_t done = 0;
  while (done < command.size()) {
    const ssize_t n = ::write(fd(kRig), command.data() + done, command.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) Fail("write to the transceiver");
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;  // the rest is dropped, as a timed-out write drops it
    pollfd out{fd(kRig), POLLOUT, 0};
    ::poll(&out, 1, static_cast<int>(left.count()));
  }
}

size_t FloorLines::OfferToClient(size_t client, const std::string& bytes) {
  const ssize_t n = ::write(fd(client), bytes.data(), bytes.size());
  if (n >= 0) return static_cast<size_t>(n);
  if (errno == EAGAIN || errno == EINTR) return 0;
  Fail("write to client " + std::to_string(client));
}

}  // namespace corvane
