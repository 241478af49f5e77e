#include <unistd.h>

#include <cerrno>
#include <vector>

#include "rt/current_dir.h"

namespace corvane {

std::string CurrentDirWithSlash() {
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return "";
    buffer.resize(buffer.size() * 2);
  }
  std::string dir = buffer.data();
  // Linux reports an unreachable directory as "(unreachable)/..."; it is no usable home.
  if (dir.empty() || dir.front() != '/') return "";
  if (dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace corvane
