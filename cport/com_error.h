#pragma once
// The error of the serial port component: a code from 1 to 24 with a fixed English text,
// and, where a platform call failed, that call's error code.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "cport/cport_types.h"

class EComPort : public std::runtime_error {
 public:
  // With a platform code: the message ends in " (Error: <SystemError>)".
  EComPort(uint16_t Code, int32_t SystemError);
  // Without one: the message is the code's text alone and SystemError() is -1.
  explicit EComPort(uint16_t Code);

  int32_t SystemError() const { return FSystemError; }
  int32_t ComErrorCode() const { return FComErrorCode; }

 private:
  int32_t FSystemError;
  int32_t FComErrorCode;
};

namespace corvane {

// The text of an error code; empty for a number outside 1..24.
const std::string& ComErrorText(int code);

// The error kind of a code (1 gives CE_OpenFailed, 24 CEPortNotOpen).
inline TComExceptions ComExceptionOf(int code) {
  return static_cast<TComExceptions>(code - 1);
}

// The operator's text for a platform error code: "System Error.  Code: <code>." followed
// by CR LF and the system's own description of the code.
std::string SystemErrorMessage(int32_t code);

}  // namespace corvane
