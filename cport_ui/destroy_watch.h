#pragma once
// Learning that a component has been destroyed, without a hook in the component: the
// watch hangs a small notice component under it, and an owner destroys what it owns. The
// notice calls back from its destructor, after the watched component's own destructor has
// run, so the callback may compare the pointer but must not use the component.
#include <functional>

#include "cport/component.h"

namespace corvane {

class DestroyWatch {
 public:
  using Callback = std::function<void(TComponent* Destroyed)>;

  DestroyWatch() = default;
  ~DestroyWatch() { Reset(); }
  DestroyWatch(const DestroyWatch&) = delete;
  DestroyWatch& operator=(const DestroyWatch&) = delete;

  // Watches Component instead of what was watched before; onDestroyed runs once, when it
  // is destroyed, unless the watch is reset or destroyed first.
  void Watch(TComponent& Component, Callback onDestroyed);
  // Stops watching; the component is left as it was.
  void Reset();
  bool Watching() const { return notice_ != nullptr; }

 private:
  class Notice;
  friend class Notice;

  Notice* notice_ = nullptr;
};

}  // namespace corvane
