#include "rt/descriptor_watch.h"

namespace corvane {
namespace {

DescriptorWatcher* g_watcher = nullptr;  // main thread only

}  // namespace

DescriptorWatcher* MainLoopWatcher() {
  return g_watcher;
}

void SetMainLoopWatcher(DescriptorWatcher* watcher) {
  g_watcher = watcher;
}

}  // namespace corvane
