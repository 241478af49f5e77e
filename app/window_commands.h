#pragma once
// The bridge's handlers, as a window front end's controls, menus and timer call them.
#include <cstdint>
#include <functional>

namespace corvane {

struct WindowCommands {
  std::function<void(uint32_t id)> SysCommand;
  std::function<void()> Reset;
  std::function<void()> SettingsA;
  std::function<void()> SettingsB;
  std::function<void()> SettingsOut;
  std::function<void()> About;
  std::function<void()> Exit;
  std::function<void()> Timer;
};

}  // namespace corvane
