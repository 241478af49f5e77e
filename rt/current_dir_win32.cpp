#include <windows.h>

#include <string>

#include "rt/current_dir.h"
#include "rt/utf16_win32.h"

namespace corvane {

std::string CurrentDirWithSlash() {
  std::wstring dir(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data());
    if (n == 0) return "";
    if (n < dir.size()) {
      dir.resize(n);
      break;
    }
    dir.resize(n);  // n is the size needed, terminator included
  }
  std::string text = Utf8(dir);
  if (text.back() != '\\' && text.back() != '/') text += '\\';
  return text;
}

}  // namespace corvane
