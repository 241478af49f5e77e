#include <windows.h>

#include <string>

#include "rt/current_dir.h"

namespace corvane {

std::string CurrentDirWithSlash() {
  std::string dir(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), dir.data());
    if (n == 0) return "";
    if (n < dir.size()) {
      dir.resize(n);
      break;
    }
    dir.resize(n);  // n is the size needed, terminator included
  }
  if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

}  // namespace corvane
