#pragma once
// Two COM ports joined like a null-modem cable, opened through the Win32 backend. The
// ports' names come from with_com_pair.sh; without them the tests are skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "cport/platform/device.h"

namespace corvane::platform {

class ComPair : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Waits until dev has at least n bytes to read, up to the deadline; returns the count.
  static uint32_t WaitForInput(Device& dev, uint32_t n,
                               std::chrono::milliseconds deadline = std::chrono::seconds(5));
  // One read of up to n bytes, issued and awaited; err gets the code.
  static std::string Read(Device& dev, uint32_t n, int& err);
  static int Write(Device& dev, const std::string& bytes);

  std::string nameA_, nameB_;
  std::unique_ptr<Device> a_, b_;
};

// The port's line settings as the bridge sets them: 8 data bits, no parity, one stop bit.
Dcb LineSettings(uint32_t baud, uint8_t byteSize = 8, uint8_t parity = NOPARITY,
                 uint8_t stopBits = ONESTOPBIT);
// A read returns at once with what has arrived.
inline constexpr CommTimeouts kReturnAtOnce{MAXDWORD, 0, 0, 0, 0};

}  // namespace corvane::platform
