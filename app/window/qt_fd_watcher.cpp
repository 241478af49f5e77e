#include "app/window/qt_fd_watcher.h"

#include "app/window/guarded_call.h"

namespace corvane {
namespace {

// A notifier may be dropped from inside its own signal: Qt deletes it once that has returned.
void Drop(QSocketNotifier*& notifier) {
  if (notifier == nullptr) return;
  notifier->setEnabled(false);
  notifier->deleteLater();
  notifier = nullptr;
}

}  // namespace

QtFdWatcher::~QtFdWatcher() {
  for (auto& [id, entry] : entries_) {
    delete entry.read;
    delete entry.write;
  }
}

int QtFdWatcher::Watch(int fd, unsigned ready, std::function<void()> fn) {
  const int id = next_id_++;
  Entry& entry = entries_[id];
  entry.fn = std::move(fn);
  if (ready & kReadable) {
    entry.read = new QSocketNotifier(fd, QSocketNotifier::Read);
    QObject::connect(entry.read, &QSocketNotifier::activated, [this, id] { Activated(id); });
  }
  if (ready & kWritable) {
    entry.write = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(entry.write, &QSocketNotifier::activated, [this, id] { Activated(id); });
  }
  return id;
}

void QtFdWatcher::Unwatch(int id) {
  auto it = entries_.find(id);
  if (it == entries_.end()) return;
  Drop(it->second.read);
  Drop(it->second.write);
  entries_.erase(it);
}

void QtFdWatcher::Activated(int id) {
  auto it = entries_.find(id);
  if (it == entries_.end()) return;
  auto fn = it->second.fn;  // the callback may unwatch itself
  RunGuarded(fn);
}

}  // namespace corvane
