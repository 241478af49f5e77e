#pragma once
// A process-wide sink for what a device backend has to tell the operator's trace (a driver
// that lacks a feature the backend then emulates at a cost). The program installs its trace
// writer here; unset, such notes go nowhere. Backends call it from any thread.
#include <functional>
#include <mutex>
#include <string>
#include <utility>

namespace corvane::platform {

using DeviceTraceSink = std::function<void(const std::string& line)>;

inline std::mutex& DeviceTraceMutex() {
  static std::mutex m;
  return m;
}

inline DeviceTraceSink& InstalledDeviceTrace() {
  static DeviceTraceSink sink;
  return sink;
}

inline void SetDeviceTrace(DeviceTraceSink sink) {
  std::lock_guard lock(DeviceTraceMutex());
  InstalledDeviceTrace() = std::move(sink);
}

inline void DeviceTrace(const std::string& line) {
  std::lock_guard lock(DeviceTraceMutex());
  if (InstalledDeviceTrace()) InstalledDeviceTrace()(line);
}

}  // namespace corvane::platform
