#pragma once
// A process-wide seam for opening devices: a test that cannot reach a port object's
// CreateDeviceHandle (the bridge holds its ports by value) installs an opener here and
// every port of the process opens its device through it. Unset, ports open the real
// device. Install it before any port opens and remove it after the last one closed.
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "cport/platform/device.h"

namespace corvane::platform {

// Same contract as OpenDevice: 0 and a device, or the platform code and no device.
using DeviceOpener = std::function<int(const std::string& name, std::unique_ptr<Device>& device)>;

inline DeviceOpener& InstalledDeviceOpener() {
  static DeviceOpener opener;
  return opener;
}

inline void SetDeviceOpener(DeviceOpener opener) {
  InstalledDeviceOpener() = std::move(opener);
}

}  // namespace corvane::platform
