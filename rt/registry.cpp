#include "rt/registry.h"

#include "rt/registry_path.h"

namespace corvane {

std::string Normalize(const std::string& path) {
  std::string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      if (!out.empty()) out += '\\';
      out.append(path, start, end - start);
    }
    start = end + 1;
  }
  return out;
}

}  // namespace corvane

void TRegistry::SetRootKey(corvane::RegistryRoot root) {
  CloseKey();
  root_ = root;
}

std::string TRegistry::Resolve(const std::string& key) const {
  if (!key.empty() && key.front() == '\\') return corvane::Normalize(key);
  return corvane::Normalize(path_ + "\\" + key);
}

void TRegistry::CloseKey() {
  path_.clear();
}
