#include "tests/robustness/bridge_under_test.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane::test {

void PointLink(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), link.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "link " + link);
  }
}

std::unique_ptr<ChildProcess> StartCorvane(const std::string& dir,
                                           const std::vector<std::string>& args) {
  std::string command = "cd '" + dir + "' && exec '" + kCorvane + "' --headless";
  for (const auto& arg : args) command += " '" + arg + "'";
  return std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
}

bool Running(ChildProcess& program) {
  return !program.Wait(std::chrono::steady_clock::now()).has_value();
}

BridgeFiles::BridgeFiles()
    : a(std::make_unique<PtyPair>()),
      b(std::make_unique<PtyPair>()),
      link_a(dir.File("porta")),
      link_b(dir.File("portb")),
      link_rig(dir.File("rig")) {
  PointLink(link_a, a->slave_path());
  PointLink(link_b, b->slave_path());
}

std::string BridgeFiles::Ini(const std::string& out_path) const {
  return "[SETTINGS]\nPORTA=" + link_a + "\nPORTB=" + link_b + "\nPORTO=" + out_path +
         "\nTRACE=YES\n";
}

}  // namespace corvane::test
