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

std::string MessageOf(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace corvane
