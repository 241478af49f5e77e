#include "cport/port_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>

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

// Virtual terminals, pty slaves and the like have no device link in the class directory;
// real serial hardware (on-board UARTs, USB adapters, modems) has one.
bool HasDevice(const std::string& classDir, const std::string& name) {
  struct stat st;
  return stat((classDir + "/" + name + "/device").c_str(), &st) == 0;
}

// The on-board UART driver registers a fixed number of ports whether or not the chip is
// there; the empty slots report port type 0 and fail to open, so they are no ports.
bool IsEmptyUartSlot(const std::string& classDir, const std::string& name) {
  std::ifstream type(classDir + "/" + name + "/type");
  std::string value;
  return type >> value && value == "0";
}

}  // namespace
}  // namespace corvane

void ListSerialPorts(std::vector<std::string>& Target, const std::string& classDir) {
  std::unique_ptr<DIR, corvane::DirCloser> dir(opendir(classDir.c_str()));
  if (!dir) return;

  std::vector<std::string> found;
  for (;;) {
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) break;  // end of directory or a read failure: keep what we have
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (corvane::HasDevice(classDir, name) && !corvane::IsEmptyUartSlot(classDir, name))
      found.push_back(name);
  }
  std::sort(found.begin(), found.end(), corvane::PortNameLess);
  Target = std::move(found);
}
