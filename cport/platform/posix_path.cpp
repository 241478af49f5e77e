#include "cport/platform/posix_path.h"

#include "rt/find_file.h"

namespace corvane::platform {

std::string ResolveDevicePath(const std::string& name) {
  if (name.empty()) return name;
  return FindFileIgnoringCase(name.find('/') != std::string::npos ? name : "/dev/" + name);
}

}  // namespace corvane::platform
