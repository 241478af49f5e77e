#pragma once
// A tty class directory and a by-id directory on disk: the class entries are the given port
// names, each with the device link of a real serial port; the by-id entries are links to
// the given device paths. The port boxes list them while this object lives.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cport_ui/port_list_source.h"
#include "tests/log/temp_dir.h"

namespace corvane::test {

class PortListTree {
 public:
  explicit PortListTree(const std::vector<std::string>& names,
                        const std::map<std::string, std::string>& byIdLinks = {})
      : previous_(PortListSourceInUse()) {
    const std::filesystem::path classDir = dir_.File("tty");
    for (const std::string& name : names)
      std::filesystem::create_directories(classDir / name / "device");
    const std::filesystem::path byIdDir = dir_.File("by-id");
    std::filesystem::create_directories(byIdDir);
    for (const auto& [link, target] : byIdLinks)
      std::filesystem::create_symlink(target, byIdDir / link);
    SetPortListSource({classDir.string(), byIdDir.string()});
  }
  ~PortListTree() { SetPortListSource(previous_); }
  PortListTree(const PortListTree&) = delete;
  PortListTree& operator=(const PortListTree&) = delete;

  // The path under which the port list offers a by-id link.
  std::string ById(const std::string& link) const { return dir_.File("by-id") + "/" + link; }

 private:
  TempDir dir_;
  PortListSource previous_;
};

}  // namespace corvane::test
