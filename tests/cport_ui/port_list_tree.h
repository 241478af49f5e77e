#pragma once
// A tty class directory on disk whose entries are the given port names, each with the
// device link of a real serial port; the port boxes list it while this object lives.
#include <filesystem>
#include <string>
#include <vector>

#include "cport_ui/port_list_source.h"
#include "tests/log/temp_dir.h"

namespace corvane::test {

class PortListTree {
 public:
  explicit PortListTree(const std::vector<std::string>& names) : previous_(PortListDirectory()) {
    const std::filesystem::path root = dir_.File("tty");
    for (const std::string& name : names)
      std::filesystem::create_directories(root / name / "device");
    SetPortListDirectory(root.string());
  }
  ~PortListTree() { SetPortListDirectory(previous_); }
  PortListTree(const PortListTree&) = delete;
  PortListTree& operator=(const PortListTree&) = delete;

 private:
  TempDir dir_;
  std::string previous_;
};

}  // namespace corvane::test
