#include "cport/port_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>

namespace corvane {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

std::string FoldCase(const std::string& text) {
  std::string folded = text;
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

// Case-insensitive text order; names that differ only in case fall back to byte order so
// the result does not depend on the order the directory hands them out.
bool PortNameLess(const std::string& a, const std::string& b) {
  const std::string fa = FoldCase(a), fb = FoldCase(b);
  return fa != fb ? fa < fb : a < b;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Virtual terminals, pty slaves and the like have no device link in the class directory;
// real serial hardware (on-board UARTs, USB adapters, modems) has one.
bool HasDevice(const std::string& classDir, const std::string& name) {
  return Exists(classDir + "/" + name + "/device");
}

// The on-board UART driver registers a fixed number of ports whether or not the chip is
// there; the empty slots report port type 0 and fail to open, so they are no ports.
bool IsEmptyUartSlot(const std::string& classDir, const std::string& name) {
  std::ifstream type(classDir + "/" + name + "/type");
  std::string value;
  return type >> value && value == "0";
}

// The entries of dir that `keep` accepts, sorted; nothing when dir cannot be read.
template <typename Keep>
std::optional<std::vector<std::string>> SortedEntries(const std::string& dir, Keep keep) {
  std::unique_ptr<DIR, DirCloser> handle(opendir(dir.c_str()));
  if (!handle) return std::nullopt;
  std::vector<std::string> found;
  for (;;) {
    const dirent* entry = readdir(handle.get());
    if (entry == nullptr) break;  // end of directory or a read failure: keep what we have
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (keep(name)) found.push_back(name);
  }
  std::sort(found.begin(), found.end(), PortNameLess);
  return found;
}

}  // namespace

bool SamePortName(const std::string& a, const std::string& b) {
  auto path = [](const std::string& name) {
    return FoldCase(name.find('/') == std::string::npos ? "/dev/" + name : name);
  };
  return path(a) == path(b);
}

std::string PortNameAsUsed(const std::string& written) {
  return written;
}

}  // namespace corvane

void ListSerialPorts(std::vector<std::string>& Target, const PortListSource& Source) {
  // A link left behind by an adapter that is gone leads nowhere and is no port.
  const auto links = corvane::SortedEntries(Source.byIdDir, [&](const std::string& name) {
    return corvane::Exists(Source.byIdDir + "/" + name);
  });
  const auto devices = corvane::SortedEntries(Source.classDir, [&](const std::string& name) {
    return corvane::HasDevice(Source.classDir, name) &&
           !corvane::IsEmptyUartSlot(Source.classDir, name);
  });
  if (!links && !devices) return;

  std::vector<std::string> found;
  if (links)
    for (const std::string& name : *links) found.push_back(Source.byIdDir + "/" + name);
  if (devices) found.insert(found.end(), devices->begin(), devices->end());
  Target = std::move(found);
}
