// The tty backend's input rules that termios cannot carry out: dropping NULs, undoing
// parity marks with their replacement, and watching for the event character, which needs
// the bytes taken in as they arrive.
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "cport/platform/posix_device.h"

namespace corvane::platform {
namespace {

// The read-ahead holds at least what the tty itself would; past its cap the bytes wait in
// the tty, whose flow control then holds the sender back.
constexpr uint32_t kReadAheadFloor = 4096;

}  // namespace

void PosixDevice::SetInputRules(const Dcb& dcb) {
  dropNuls_ = (dcb.Flags & kDcbNull) != 0;
  eventChar_ = dcb.EvtChar;
  marks_.SetReplacement((dcb.Flags & kDcbErrorChar) != 0, dcb.ErrorChar);
  marks_.SetDropNuls(dropNuls_);
  const bool marks = (dcb.Flags & kDcbParity) != 0;
  if (marks != parityMarks_.load()) marks_.Reset();
  parityMarks_.store(marks);
}

void PosixDevice::SetInputRulesOnly(const Dcb& dcb) {
  Dcb rules = dcb;
  rules.Flags &= ~(kDcbParity | kDcbErrorChar);
  std::lock_guard lock(inputMutex_);
  SetInputRules(rules);
}

bool PosixDevice::ReadAheadWanted() const {
  return parityMarks_.load() || (Tracked() & EV_RXFLAG) != 0;
}

void PosixDevice::DropNuls(char* buf, uint32_t& n) const {
  if (!dropNuls_) return;
  n = static_cast<uint32_t>(std::remove(buf, buf + n, '\0') - buf);
}

int PosixDevice::PullInput() {
  const uint32_t cap = std::max(inQueueSize_.load(), kReadAheadFloor);
  const bool watch = (Tracked() & EV_RXFLAG) != 0;
  bool taken = false, flagged = false;
  int err = 0;
  std::string bytes;
  while (readAhead_.size() < cap) {
    char raw[4096];
    const size_t want = std::min<size_t>(sizeof raw, cap - readAhead_.size());
    const ssize_t n = CountedRead(raw, static_cast<uint32_t>(want));
    if (n < 0 && errno != EAGAIN && errno != EINTR) err = errno;
    if (n <= 0) break;
    bytes.clear();
    uint32_t kept = 0;
    if (parityMarks_.load()) {
      // The decoder drops NULs itself: a replaced byte in error may be a NUL to keep.
      marks_.Decode({raw, static_cast<size_t>(n)}, bytes);
      kept = static_cast<uint32_t>(bytes.size());
    } else {
      bytes.assign(raw, static_cast<size_t>(n));
      kept = static_cast<uint32_t>(bytes.size());
      DropNuls(bytes.data(), kept);
    }
    flagged |=
        watch && std::find(bytes.data(), bytes.data() + kept, eventChar_) != bytes.data() + kept;
    readAhead_.insert(readAhead_.end(), bytes.data(), bytes.data() + kept);
    taken |= kept > 0;
    if (static_cast<size_t>(n) < want) break;  // the tty is empty
  }
  queued_.store(static_cast<uint32_t>(readAhead_.size()));
  if (taken) SignalInputTaken();
  if (flagged) {
    eventCharSeen_.store(true);
    Wake();  // taken by a read or a count: the event wait reports it
  }
  return err;
}

bool PosixDevice::TakeArrivalIn() {
  std::lock_guard lock(inputMutex_);
  // Bytes already taken in and not read stay the only ones: the rest waits in the tty,
  // whose flow control then holds the sender back.
  if (!readAhead_.empty()) return false;
  char raw[kReadAheadFloor];
  const ssize_t n = CountedRead(raw, sizeof raw);
  if (n <= 0) return false;  // nothing after all, or a failure: left to the count and reads
  uint32_t kept = static_cast<uint32_t>(n);
  DropNuls(raw, kept);
  readAhead_.assign(raw, raw + kept);
  queued_.store(kept);
  if (kept > 0) SignalInputTaken();
  return static_cast<size_t>(n) < sizeof raw;
}

std::string PosixDevice::TakeUnreadInput() {
  std::lock_guard lock(inputMutex_);
  std::string bytes(readAhead_.begin(), readAhead_.end());
  readAhead_.clear();
  queued_.store(0);
  return bytes;
}

void PosixDevice::PutBackInput(const std::string& bytes) {
  if (bytes.empty()) return;
  {
    std::lock_guard lock(inputMutex_);
    readAhead_.insert(readAhead_.begin(), bytes.begin(), bytes.end());
    queued_.store(static_cast<uint32_t>(readAhead_.size()));
  }
  // Called before monitoring starts: the first look reports them, and is woken for it.
  arrivalKept_ = true;
  Wake();
}

void PosixDevice::SignalInputTaken() {
  // A read waiting on the tty would not see bytes another thread took. It counts itself
  // in before it looks at the read-ahead, and the read-ahead is filled before this looks.
  if (readersWaiting_.load() == 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] auto w = write(inputReady_.get(), &one, sizeof one);
}

uint32_t PosixDevice::ServeInput(char* buffer, uint32_t count) {
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, readAhead_.size()));
  std::copy_n(readAhead_.begin(), n, buffer);
  readAhead_.erase(readAhead_.begin(), readAhead_.begin() + n);
  queued_.store(static_cast<uint32_t>(readAhead_.size()));
  return n;
}

}  // namespace corvane::platform
