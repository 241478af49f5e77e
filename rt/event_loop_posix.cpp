#include <poll.h>

#include <cerrno>
#include <system_error>

#include "rt/event_loop.h"
#include "rt/main_thread.h"

namespace corvane {

bool EventLoop::WatchesDescriptors() {
  return true;
}

EventLoop::Ready EventLoop::WaitForWork(int timeout_ms) {
  std::vector<pollfd> fds;
  std::vector<int> ids;
  fds.push_back({static_cast<int>(quit_.Native()), POLLIN, 0});
  fds.push_back({MainThread::Instance().WakeFd(), POLLIN, 0});
  for (const auto& [id, watch] : watches_) {
    const short events = static_cast<short>(((watch.ready & kReadable) ? POLLIN : 0) |
                                            ((watch.ready & kWritable) ? POLLOUT : 0));
    fds.push_back({watch.fd, events, 0});
    ids.push_back(id);
  }
  Ready ready;
  if (poll(fds.data(), fds.size(), timeout_ms) < 0) {
    if (errno == EINTR) return ready;
    throw std::system_error(errno, std::generic_category(), "poll");
  }
  ready.quit = (fds[0].revents & POLLIN) != 0;
  ready.serve = (fds[1].revents & POLLIN) != 0;
  for (size_t i = 0; i < ids.size(); ++i) {
    const short revents = fds[i + 2].revents;
    if (revents != 0) ready.watches.emplace_back(ids[i], (revents & POLLNVAL) != 0);
  }
  return ready;
}

}  // namespace corvane
