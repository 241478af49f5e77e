#pragma once
// The bridge's command ids and its watchdog's interval, shared by the bridge and both
// front ends.
#include <chrono>
#include <cstdint>

namespace corvane {

inline constexpr uint32_t kCmdSettingsA = 444;
inline constexpr uint32_t kCmdSettingsB = 445;
inline constexpr uint32_t kCmdSettingsOut = 446;
inline constexpr uint32_t kCmdResetSync = 447;
inline constexpr uint32_t kCmdAbout = 666;

inline constexpr std::chrono::milliseconds kWatchdogInterval{500};

}  // namespace corvane
