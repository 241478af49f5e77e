#include "rt/find_file.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <memory>

namespace corvane {

std::string FindFileIgnoringCase(const std::string& path) {
  if (path.empty() || ::access(path.c_str(), F_OK) == 0) return path;
  const size_t slash = path.rfind('/');
  const std::string dir_part = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = path.substr(dir_part.size());
  if (name.empty()) return path;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(dir_part.empty() ? "." : dir_part.c_str()),
                                          ::closedir);
  if (!dir) return path;
  std::string best;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string candidate = entry->d_name;
    if (::strcasecmp(candidate.c_str(), name.c_str()) == 0 && (best.empty() || candidate < best))
      best = candidate;
  }
  return best.empty() ? path : dir_part + best;
}

}  // namespace corvane
