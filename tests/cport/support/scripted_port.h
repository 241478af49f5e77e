#pragma once
// A port whose device is the scripted fake: every device call it makes lands in Script.
#include <memory>

#include "cport/cport.h"
#include "cport/platform/fake_device.h"

namespace corvane::test {

class ScriptedPort : public TComPort {
 public:
  explicit ScriptedPort(
      std::shared_ptr<platform::FakeScript> script = std::make_shared<platform::FakeScript>())
      : Script(std::move(script)) {}

  std::shared_ptr<platform::FakeScript> Script;

  using TCustomComPort::ComDevice;
  using TCustomComPort::EndLoading;
  using TCustomComPort::FHasRxBufLink;

 protected:
  void CreateDeviceHandle() override {
    std::unique_ptr<platform::Device> device;
    if (int err = Script->Open(Port(), device)) {
      ReportPortError(CE_OpenFailed + 1, err);
      return;
    }
    AdoptDevice(std::move(device));
  }
};

}  // namespace corvane::test
