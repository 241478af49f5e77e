#pragma once
// Descriptors watched by the loop that runs the main thread (the headless EventLoop's
// watches, the window's socket notifiers), so that code reacting to a device or a socket
// needs no thread of its own: its callback runs on the main thread when the descriptor is
// ready.
//
// Threading: main thread only. Callbacks run there, one at a time, from the loop.
#include <functional>

namespace corvane {

class DescriptorWatcher {
 public:
  // What a watch waits for; hang-up and error count as ready for either.
  enum Ready : unsigned { kReadable = 1, kWritable = 2 };

  virtual ~DescriptorWatcher() = default;
  // Calls fn whenever fd is ready for what `ready` names (kReadable, kWritable or both) and
  // until Unwatch: fn must read or write, or unwatch, or it is called again at once.
  // Returns the watch's id.
  virtual int Watch(int fd, unsigned ready, std::function<void()> fn) = 0;
  // Safe from inside any callback, the watch's own included. Unknown ids are ignored.
  virtual void Unwatch(int id) = 0;
};

// The watcher of the loop that runs the main thread; null while that loop cannot watch
// descriptors (or nobody said it can). The loop sets it and clears it before it goes.
DescriptorWatcher* MainLoopWatcher();
void SetMainLoopWatcher(DescriptorWatcher* watcher);

}  // namespace corvane
