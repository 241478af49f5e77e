#pragma once
// The port's device on a virtual line: the tty backend on the program's end of the
// pseudo-terminal, minus what would reach the client. On a pseudo-terminal the line
// settings written on the program's end land in the client's termios (there is one set for
// the pair), so a reopen during a client's session would undo the client's own settings:
// here they are accepted and kept off the line. The input rules the backend carries out
// itself (dropping NULs, the event character) still hold.
#include <functional>
#include <memory>

#include "cport/platform/device.h"
#include "cport/platform/posix_device.h"

namespace corvane::platform {

class VirtualLineDevice final : public Device {
 public:
  // release runs once, when the device closes: the line is free for the next open.
  VirtualLineDevice(std::unique_ptr<PosixDevice> tty, std::function<void()> release);
  ~VirtualLineDevice() override;

  int SetCommState(const Dcb& dcb) override;
  int SetCommTimeouts(const CommTimeouts& timeouts) override;
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  int SetCommMask(uint32_t mask) override;
  void SetQuietEvents(uint32_t events) override;
  WaitResult WaitCommEvent(const StopSignal& stop) override;
  uint32_t PollCommEvent() override;
  int EventFd() const override;
  WaitResult LookCommEvent() override;
  void EndLook() override;
  int LineFd() const override;
  void WatchLineOutside(bool outside) override;
  bool LineWatchedOutside() const override;
  WaitResult LookLineEvent() override;
  std::string TakeUnreadInput() override;
  void PutBackInput(const std::string& bytes) override;
  int StartRead(Transfer& t) override;
  int StartWrite(Transfer& t) override;
  int AwaitTransfer(Transfer& t) override;
  int PurgeComm(uint32_t flags) override;
  int ClearCommError(uint32_t& errors, ComStat& stat) override;
  int ClearCommErrorIn(uint32_t& errors, uint32_t& inQueue) override;
  int DropLineErrors() override;
  int GetCommModemStatus(uint32_t& status) override;
  int Close() override;

 private:
  std::unique_ptr<PosixDevice> tty_;
  std::function<void()> release_;
};

}  // namespace corvane::platform
