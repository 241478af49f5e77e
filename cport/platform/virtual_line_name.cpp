#include <cstddef>

#include "cport/platform/virtual_line.h"

namespace corvane::platform {
namespace {

constexpr char kPrefix[] = "pty:";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsVirtualLineName(const std::string& name) {
  if (name.size() < kPrefixLength) return false;
  for (size_t i = 0; i < kPrefixLength; ++i) {
    if (FoldCase(name[i]) != kPrefix[i]) return false;
  }
  return true;
}

std::string VirtualLinePath(const std::string& name) {
  return IsVirtualLineName(name) ? name.substr(kPrefixLength) : std::string();
}

}  // namespace corvane::platform
