#include "app/window/guarded_call.h"

#include "rt/main_thread.h"

namespace corvane {

void RunGuarded(const std::function<void()>& fn) {
  if (!fn) return;
  try {
    fn();
  } catch (...) {
    MainThread::Instance().HandleException(std::current_exception());
  }
}

}  // namespace corvane
