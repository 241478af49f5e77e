#include "app/error_display.h"

#include <algorithm>

#include "app/port_failures.h"

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

void ErrorDisplay::Report(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const PortFailures& failures) {
    for (const auto& failure : failures.failures()) Report(failure.line, MessageOf(failure.error));
  } catch (...) {
    Report(MessageOf(error));
  }
}

void ErrorDisplay::Report(const std::string& source, const std::string& message) {
  const auto last = last_.find(source);
  if (last != last_.end() && last->second.message == message) {
    ++last->second.repeats;
    return;
  }
  const std::pair<std::string, std::string> report{source, message};
  if (showing_) {
    // Another error while a message is on screen: it follows once the screen is free.
    if (std::find(waiting_.begin(), waiting_.end(), report) == waiting_.end()) {
      waiting_.push_back(report);
    }
    return;
  }
  Show(source, message);
  while (!waiting_.empty()) {
    const auto [next_source, next] = std::move(waiting_.front());
    waiting_.pop_front();
    const auto shown = last_.find(next_source);
    if (shown == last_.end() || shown->second.message != next) Show(next_source, next);
  }
}

void ErrorDisplay::Show(const std::string& source, const std::string& message) {
  Shown& last = last_[source];
  if (last.repeats > 0) {
    show_("(the previous error" + (source.empty() ? std::string() : " of " + source) +
          " was repeated " + std::to_string(last.repeats) + " more times)");
  }
  last.message = message;
  last.repeats = 0;
  showing_ = true;
  try {
    show_(message);
  } catch (...) {
    showing_ = false;
    throw;
  }
  showing_ = false;
}

size_t ErrorDisplay::Repeats(const std::string& source) const {
  const auto last = last_.find(source);
  return last == last_.end() ? 0 : last->second.repeats;
}

void ErrorDisplay::Forget(const std::string& source) {
  last_.erase(source);
}

}  // namespace corvane
