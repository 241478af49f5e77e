#pragma once
// The window's loop as a descriptor watcher: one socket notifier per watched event.
#include <QSocketNotifier>
#include <functional>
#include <map>
#include <memory>

#include "rt/fd_watcher.h"

namespace corvane {

class QtFdWatcher : public FdWatcher {
 public:
  QtFdWatcher() = default;
  ~QtFdWatcher() override;
  QtFdWatcher(const QtFdWatcher&) = delete;
  QtFdWatcher& operator=(const QtFdWatcher&) = delete;

  int Watch(int fd, unsigned events, std::function<void(unsigned ready)> fn) override;
  void SetWatchEvents(int id, unsigned events) override;
  void Unwatch(int id) override;

 private:
  struct Entry {
    std::function<void(unsigned)> fn;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
  };
  void Activated(int id, unsigned ready);

  int next_id_ = 1;
  std::map<int, Entry> entries_;
};

}  // namespace corvane
