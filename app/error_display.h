#pragma once
// Shows errors to the operator one at a time. A timer or a port can raise the same error
// every 500 ms; while it repeats it is counted instead of shown again, so the operator
// never faces a stack of identical messages. Once its condition has cleared (Forget), the
// same error coming back is shown again; another error arriving while a message is on
// screen is shown after it.
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <string>

namespace corvane {

// The text an error shows to the operator.
std::string MessageOf(std::exception_ptr error);

class ErrorDisplay {
 public:
  // show: presents one message (a box, a line on stderr). It may block until the operator
  // has read it; repeats arriving meanwhile are counted, other errors wait their turn.
  using ShowFn = std::function<void(const std::string& message)>;
  explicit ErrorDisplay(ShowFn show) : show_(std::move(show)) {}

  void Report(const std::string& message);
  // The number of reports of the current message that were not shown.
  size_t Repeats() const { return repeats_; }
  // Ends the current run of repeats: the next report is shown even if it is the same.
  void Forget();

 private:
  void Show(const std::string& message);

  ShowFn show_;
  std::string last_;
  bool has_last_ = false;
  bool showing_ = false;
  size_t repeats_ = 0;
  std::deque<std::string> waiting_;
};

}  // namespace corvane
