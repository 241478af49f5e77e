#include "cport_ui/port_list_source.h"

#include <utility>

namespace corvane {
namespace {

std::string& Stored() {
  static std::string directory = "/sys/class/tty";
  return directory;
}

}  // namespace

const std::string& PortListDirectory() {
  return Stored();
}

void SetPortListDirectory(std::string Directory) {
  Stored() = std::move(Directory);
}

}  // namespace corvane
