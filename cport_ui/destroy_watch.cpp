#include "cport_ui/destroy_watch.h"

#include <utility>

namespace corvane {

class DestroyWatch::Notice : public TComponent {
 public:
  Notice(TComponent& watched, DestroyWatch& watch, Callback onDestroyed)
      : TComponent(&watched),
        watched_(&watched),
        watch_(&watch),
        on_destroyed_(std::move(onDestroyed)) {}

  ~Notice() override {
    if (watch_ == nullptr) return;  // the watch let go first
    watch_->notice_ = nullptr;
    // Moved out first: the callback may well reset or re-point the watch.
    Callback callback = std::move(on_destroyed_);
    if (callback) callback(watched_);
  }

  void Detach() { watch_ = nullptr; }

 private:
  TComponent* watched_;
  DestroyWatch* watch_;
  Callback on_destroyed_;
};

void DestroyWatch::Watch(TComponent& Component, Callback onDestroyed) {
  Reset();
  notice_ = new Notice(Component, *this, std::move(onDestroyed));  // owned by Component
}

void DestroyWatch::Reset() {
  if (notice_ == nullptr) return;
  Notice* notice = std::exchange(notice_, nullptr);
  notice->Detach();
  delete notice;  // leaves its owner's list
}

}  // namespace corvane
