#include "app/error_display.h"

#include <algorithm>

namespace corvane {

std::string MessageOf(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

void ErrorDisplay::Report(const std::string& message) {
  if (has_last_ && message == last_) {
    ++repeats_;
    return;
  }
  if (showing_) {
    // Another error while a message is on screen: it follows once the screen is free.
    if (std::find(waiting_.begin(), waiting_.end(), message) == waiting_.end()) {
      waiting_.push_back(message);
    }
    return;
  }
  Show(message);
  while (!waiting_.empty()) {
    std::string next = std::move(waiting_.front());
    waiting_.pop_front();
    if (!(has_last_ && next == last_)) Show(next);
  }
}

void ErrorDisplay::Show(const std::string& message) {
  if (has_last_ && repeats_ > 0) {
    show_("(the previous error was repeated " + std::to_string(repeats_) + " more times)");
  }
  last_ = message;
  has_last_ = true;
  repeats_ = 0;
  showing_ = true;
  try {
    show_(message);
  } catch (...) {
    showing_ = false;
    throw;
  }
  showing_ = false;
}

void ErrorDisplay::Forget() {
  has_last_ = false;
  repeats_ = 0;
}

}  // namespace corvane
