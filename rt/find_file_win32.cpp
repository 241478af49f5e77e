#include "rt/find_file.h"

namespace corvane {

// Windows file systems already match names without regard to case.
std::string FindFileIgnoringCase(const std::string& path) {
  return path;
}

}  // namespace corvane
