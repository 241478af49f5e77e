#pragma once
// Shows errors to the operator one at a time. A timer or a port can raise the same error
// every 500 ms; while it repeats it is counted instead of shown again, so the operator
// never faces a stack of identical messages. Errors are kept apart by their source (a
// line's configuration key, or none): each line's error is shown once per occurrence
// whatever the other lines do. Once a source's condition has cleared (Forget), the same
// error coming back is shown again; another error arriving while a message is on screen
// is shown after it.
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <utility>

namespace corvane {

// The text an error shows to the operator.
std::string MessageOf(std::exception_ptr error);

class ErrorDisplay {
 public:
  // show: presents one message (a box, a line on stderr). It may block until the operator
  // has read it; repeats arriving meanwhile are counted, other errors wait their turn.
  using ShowFn = std::function<void(const std::string& message)>;
  explicit ErrorDisplay(ShowFn show) : show_(std::move(show)) {}

  // What a handler raised: the failures of several lines each under its line, anything
  // else under no source.
  void Report(std::exception_ptr error);
  void Report(const std::string& message) { Report(std::string(), message); }
  void Report(const std::string& source, const std::string& message);
  // The number of reports of the source's current message that were not shown.
  size_t Repeats(const std::string& source = {}) const;
  // Ends the source's current run of repeats: its next report is shown even if it is the same.
  void Forget(const std::string& source = {});

 private:
  struct Shown {
    std::string message;
    size_t repeats = 0;
  };
  void Show(const std::string& source, const std::string& message);

  ShowFn show_;
  std::map<std::string, Shown> last_;  // by source
  bool showing_ = false;
  std::deque<std::pair<std::string, std::string>> waiting_;  // source, message
};

}  // namespace corvane
