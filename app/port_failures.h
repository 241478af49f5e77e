#pragma once
// The failures of several lines in one handler (start-up, a watchdog tick, a reset), raised
// together so that each reaches the operator on its own, under its line's configuration key:
// one line's error never hides another's, and one line's recovery never brings back
// another's. It is the first failure's EComPort, for callers that look at one.
#include <exception>
#include <string>
#include <vector>

#include "cport/com_error.h"

namespace corvane {

class PortFailures : public EComPort {
 public:
  struct Failure {
    std::string line;  // the configuration key: "PORTA", "PORTB", "PORTO"
    std::exception_ptr error;
  };
  // failures: at least one.
  explicit PortFailures(std::vector<Failure> failures);
  const char* what() const noexcept override { return first_.c_str(); }
  const std::vector<Failure>& failures() const { return failures_; }

 private:
  std::vector<Failure> failures_;
  std::string first_;
};

// Collects the failures of a handler's steps, each under its line, and raises them together
// once every step had its turn.
class FailureList {
 public:
  void Add(const std::string& line, std::exception_ptr error) {
    failures_.push_back({line, std::move(error)});
  }
  // Runs step and keeps what it raises under line.
  template <class Step>
  void Attempt(const std::string& line, Step&& step) {
    try {
      step();
    } catch (...) {
      Add(line, std::current_exception());
    }
  }
  bool empty() const { return failures_.empty(); }
  void RaiseIfAny() {
    if (!failures_.empty()) throw PortFailures(std::move(failures_));
  }

 private:
  std::vector<PortFailures::Failure> failures_;
};

}  // namespace corvane
