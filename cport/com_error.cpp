#include "cport/com_error.h"

#include <array>
#include <cstring>

namespace corvane {
namespace {

const std::array<std::string, kComExceptionCount> kTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
    "Port Not Open",
};

const std::string kNoText;

}  // namespace

const std::string& ComErrorText(int code) {
  if (code < 1 || code > kComExceptionCount) return kNoText;
  return kTexts[static_cast<size_t>(code - 1)];
}

}  // namespace corvane

EComPort::EComPort(uint16_t Code, int32_t SystemError)
    : std::runtime_error(corvane::ComErrorText(Code) + " (Error: " + std::to_string(SystemError) +
                         ")"),
      FSystemError(SystemError),
      FComErrorCode(Code) {}

EComPort::EComPort(uint16_t Code)
    : std::runtime_error(corvane::ComErrorText(Code)), FSystemError(-1), FComErrorCode(Code) {}
