#include "app/port_failures.h"

#include <utility>

#include "app/error_display.h"

namespace corvane {
namespace {

EComPort FirstAsComError(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EComPort& e) {
    return e;
  } catch (...) {
    return EComPort(0);
  }
}

}  // namespace

PortFailures::PortFailures(std::vector<Failure> failures)
    : EComPort(FirstAsComError(failures.at(0).error)),
      failures_(std::move(failures)),
      first_(MessageOf(failures_.front().error)) {}

}  // namespace corvane
