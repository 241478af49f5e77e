#include <cstring>
#include <string>

#include "cport/com_error.h"

namespace corvane {

std::string SystemErrorMessage(int32_t code) {
  char buf[256];
  // The GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(code, buf, sizeof buf);
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + text;
}

}  // namespace corvane
