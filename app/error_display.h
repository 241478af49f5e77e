#pragma once
// Shows errors to the operator one at a time. A timer or a port can raise the same error
// every 500 ms; while it repeats it is counted instead of shown again, so the operator
// never faces a stack of identical messages.
#include <cstddef>
#include <exception>
#include <functional>
#include <string>

namespace corvane {

// The text an error shows to the operator.
std::string MessageOf(std::exception_ptr error);

class ErrorDisplay {
 public:
  // show: presents one message (a box, a line on stderr). It may block until the operator
  // has read it; errors arriving meanwhile are counted, not shown.
  using ShowFn = std::function<void(const std::string& message)>;
  explicit ErrorDisplay(ShowFn show) : show_(std::move(show)) {}

  void Report(const std::string& message);
  // The number of reports of the current message that were not shown.
  size_t Repeats() const { return repeats_; }
  // Ends the current run of repeats: the next report is shown even if it is the same.
  void Forget();

 private:
  ShowFn show_;
  std::string last_;
  bool has_last_ = false;
  bool showing_ = false;
  size_t repeats_ = 0;
};

}  // namespace corvane
