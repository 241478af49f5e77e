#include "cport/platform/posix_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

namespace corvane::platform {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> SplitComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::string::size_type pos = 0;
  while (pos <= path.size()) {
    auto next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    if (next > pos) parts.push_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

// The entry of dir that equals name ignoring case, the first in byte order.
std::optional<std::string> FindIgnoringCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return std::nullopt;
  std::optional<std::string> best;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0 && (!best || e->d_name < *best)) {
      best = e->d_name;
    }
  }
  closedir(d);
  return best;
}

}  // namespace

std::string ResolveDevicePath(const std::string& name) {
  const std::string path = name.find('/') != std::string::npos ? name : "/dev/" + name;
  if (name.empty() || Exists(path)) return path;

  const bool absolute = path.front() == '/';
  std::string resolved = absolute ? "" : ".";
  for (const std::string& part : SplitComponents(path)) {
    std::string candidate = resolved + "/" + part;
    if (part != "." && part != ".." && !Exists(candidate)) {
      auto match = FindIgnoringCase(resolved.empty() ? "/" : resolved, part);
      if (!match) return path;
      candidate = resolved + "/" + *match;
    }
    resolved = std::move(candidate);
  }
  if (!absolute) resolved.erase(0, 2);  // drop the "./" the walk started from
  return resolved;
}

}  // namespace corvane::platform
