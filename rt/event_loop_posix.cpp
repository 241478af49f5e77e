#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <system_error>
#include <vector>

#include "rt/event_loop.h"
#include "rt/main_thread.h"

namespace corvane {

// One epoll set for the loop's life, so that a round costs one wait however many lines are
// watched. Each watch is registered through a copy of its descriptor: a descriptor closed
// while watched would otherwise leave the set unnoticed, and two watches of one descriptor
// (reading and writing) could not both be in it.
struct EventLoop::WaitSet {
  int epoll = -1;
  int wakeFd = -1;                  // the main thread's wake-up, as registered
  std::map<int, int> copies;        // watch id -> the set's copy of its descriptor
  std::vector<int> closed;          // watches whose descriptor was not open when added

  ~WaitSet() {
    for (const auto& [id, copy] : copies) close(copy);
    if (epoll >= 0) close(epoll);
  }
};

namespace {

// Tags of the set's own members; watches are tagged with their (positive) ids.
constexpr uint64_t kQuitTag = ~uint64_t{0};
constexpr uint64_t kWakeTag = ~uint64_t{0} - 1;

void Add(int epoll, int fd, uint32_t events, uint64_t tag) {
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = tag;
  if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
    throw std::system_error(errno, std::generic_category(), "epoll_ctl");
  }
}

// Whether fd still names the file that copy was made of.
bool SameFile(int fd, int copy) {
  struct stat a {}, b {};
  return fstat(fd, &a) == 0 && fstat(copy, &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

}  // namespace

bool EventLoop::WatchesDescriptors() {
  return true;
}

EventLoop::WaitSet& EventLoop::OsWaitSet() {
  if (!waitSet_) {
    auto set = std::make_shared<WaitSet>();
    set->epoll = epoll_create1(EPOLL_CLOEXEC);
    if (set->epoll < 0) throw std::system_error(errno, std::generic_category(), "epoll");
    Add(set->epoll, static_cast<int>(quit_.Native()), EPOLLIN, kQuitTag);
    waitSet_ = std::move(set);
  }
  return *waitSet_;
}

void EventLoop::WaitSetAdd(int id, const FdWatch& watch) {
  WaitSet& set = OsWaitSet();
  const int copy = fcntl(watch.fd, F_DUPFD_CLOEXEC, 3);
  if (copy < 0) {
    set.closed.push_back(id);  // reported by the next round
    return;
  }
  const uint32_t events = ((watch.ready & kReadable) ? EPOLLIN : 0u) |
                          ((watch.ready & kWritable) ? EPOLLOUT : 0u);
  try {
    Add(set.epoll, copy, events, static_cast<uint64_t>(id));
  } catch (...) {
    close(copy);
    throw;
  }
  set.copies[id] = copy;
}

void EventLoop::WaitSetRemove(int id) {
  WaitSet& set = OsWaitSet();
  const auto it = set.copies.find(id);
  if (it == set.copies.end()) return;
  // Out of the set first: the set holds the file, not the number, as long as the watched
  // descriptor keeps the file open.
  epoll_ctl(set.epoll, EPOLL_CTL_DEL, it->second, nullptr);
  close(it->second);
  set.copies.erase(it);
}

EventLoop::Ready EventLoop::WaitForWork(int timeout_ms) {
  WaitSet& set = OsWaitSet();
  const int wakeFd = MainThread::Instance().WakeFd();
  if (wakeFd != set.wakeFd) {
    if (set.wakeFd >= 0) epoll_ctl(set.epoll, EPOLL_CTL_DEL, set.wakeFd, nullptr);
    Add(set.epoll, wakeFd, EPOLLIN, kWakeTag);
    set.wakeFd = wakeFd;
  }
  Ready ready;
  ready.watches.swap(spareWatches_);
  ready.watches.clear();
  for (const int id : set.closed) ready.watches.emplace_back(id, true);
  set.closed.clear();
  epoll_event out[16];
  const int n = epoll_wait(set.epoll, out, 16, ready.watches.empty() ? timeout_ms : 0);
  if (n < 0) {
    if (errno == EINTR) return ready;
    throw std::system_error(errno, std::generic_category(), "epoll_wait");
  }
  for (int i = 0; i < n; ++i) {
    const uint64_t tag = out[i].data.u64;
    if (tag == kQuitTag) {
      ready.quit = true;
    } else if (tag == kWakeTag) {
      ready.serve = true;
    } else {
      const int id = static_cast<int>(tag);
      // A hang-up or an error may be what a close of the watched descriptor left behind.
      bool closed = false;
      if (out[i].events & (EPOLLHUP | EPOLLERR)) {
        const auto watch = watches_.find(id);
        const auto copy = set.copies.find(id);
        closed = watch != watches_.end() && copy != set.copies.end() &&
                 !SameFile(watch->second.fd, copy->second);
      }
      ready.watches.emplace_back(id, closed);
    }
  }
  return ready;
}

}  // namespace corvane
