#include "app/error_display.h"

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
  if (showing_ || (has_last_ && message == last_)) {
    if (message == last_) ++repeats_;
    // A different error while a message is on screen is not stacked either; it is shown
    // once the screen is free and it comes again.
    return;
  }
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
