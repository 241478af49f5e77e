#pragma once
// The serial device of a POSIX tty: real serial ports, USB adapters and pseudo-terminals.
#include <atomic>
#include <memory>
#include <string>

#include "cport/platform/device.h"
#include "cport/platform/unique_fd.h"

namespace corvane::platform {

class PosixDevice final : public Device {
 public:
  // Opens path (already resolved) with O_NONBLOCK, exclusively: TIOCEXCL keeps other
  // programs out and an advisory flock keeps a second Corvane out even as root (root passes
  // TIOCEXCL). A device held elsewhere is EBUSY; a path that is no tty is ENOTTY.
  static int Open(const std::string& path, std::unique_ptr<Device>& device);
  ~PosixDevice() override;

  int SetCommState(const Dcb& dcb) override;
  int SetCommTimeouts(const CommTimeouts& timeouts) override;
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  int SetCommMask(uint32_t mask) override;
  WaitResult WaitCommEvent(const StopSignal& stop) override;
  int StartRead(Transfer& t) override;
  int StartWrite(Transfer& t) override;
  int AwaitTransfer(Transfer& t) override;
  int PurgeComm(uint32_t flags) override;
  int ClearCommError(uint32_t& errors, ComStat& stat) override;
  int GetCommModemStatus(uint32_t& status) override;
  int Close() override;

  int Fd() const { return fd_.get(); }

 private:
  explicit PosixDevice(UniqueFd fd) : fd_(std::move(fd)) {}

  UniqueFd fd_;
  Dcb dcb_{};
  CommTimeouts timeouts_{};
  std::atomic<uint32_t> mask_{0};
};

}  // namespace corvane::platform
