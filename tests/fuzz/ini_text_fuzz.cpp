// Arbitrary bytes as a configuration file: reading never crashes, an unedited file is
// written back byte for byte, and a written key reads back without disturbing the others.
#include <cstddef>
#include <cstdint>
#include <string>

#include "rt/ini_text.h"

namespace {
void Require(bool ok) {
  if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  corvane::IniText ini(text);
  Require(ini.Text() == text);

  const auto trace_before = ini.Value("settings", "TRACE");
  const bool had_other = ini.HasSection("OTHER");
  ini.SetValue("SETTINGS", "PORTA", "/DEV/TTYUSB0");

  corvane::IniText again(ini.Text());
  Require(again.Value("Settings", "porta") == std::optional<std::string>("/DEV/TTYUSB0"));
  Require(again.Value("SETTINGS", "TRACE") == trace_before);
  Require(again.HasSection("OTHER") == had_other);

  (void)corvane::ParseIniInteger(text);
  return 0;
}
