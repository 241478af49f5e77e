#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <memory>

#include "rt/find_file.h"

namespace corvane {
namespace {

bool Exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

// The entry of dir whose name equals name without regard to case; the first in byte
// order when several do, so the choice does not depend on the directory's order.
std::string MatchInDir(const std::string& dir, const std::string& name) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
  if (!d) return "";
  std::string best;
  while (const dirent* entry = ::readdir(d.get())) {
    const std::string candidate = entry->d_name;
    if (::strcasecmp(candidate.c_str(), name.c_str()) == 0 && (best.empty() || candidate < best))
      best = candidate;
  }
  return best;
}

}  // namespace

std::string FindFileIgnoringCase(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  // Component by component, so an upper-cased "CONF/CORVANE.INI" finds conf/Corvane.ini;
  // repeated slashes come out single.
  std::string found = path.front() == '/' ? "/" : "";
  size_t start = found.size();
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    if (!name.empty()) {
      const std::string dir = found;
      std::string next = dir + name;
      if (!Exists(next)) {
        const std::string match = MatchInDir(dir, name);
        if (match.empty()) return path;
        next = dir + match;
      }
      found = end < path.size() ? next + "/" : next;
    }
    start = end + 1;
  }
  return found;
}

}  // namespace corvane
