#pragma once
// The window's loop as the main loop's descriptor watcher: a socket notifier per watched event.
#include <QSocketNotifier>
#include <functional>
#include <map>

#include "rt/descriptor_watch.h"

namespace corvane {

class QtFdWatcher : public DescriptorWatcher {
 public:
  QtFdWatcher() = default;
  ~QtFdWatcher() override;
  QtFdWatcher(const QtFdWatcher&) = delete;
  QtFdWatcher& operator=(const QtFdWatcher&) = delete;

  int Watch(int fd, unsigned ready, std::function<void()> fn) override;
  void Unwatch(int id) override;

 private:
  struct Entry {
    std::function<void()> fn;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
  };
  void Activated(int id);

  int next_id_ = 1;
  std::map<int, Entry> entries_;
};

}  // namespace corvane
