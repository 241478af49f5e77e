#include <windows.h>

#include <string>

#include "cport/com_error.h"

namespace corvane {

std::string SystemErrorMessage(int32_t code) {
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, buf, sizeof buf, nullptr);
  // The system's text ends with its own line break.
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n')) --n;
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + std::string(buf, n);
}

}  // namespace corvane
