#include "cport/platform/virtual_line_device.h"

#include <utility>

namespace corvane::platform {

VirtualLineDevice::VirtualLineDevice(std::unique_ptr<PosixDevice> tty, std::function<void()> release)
    : tty_(std::move(tty)), release_(std::move(release)) {}

VirtualLineDevice::~VirtualLineDevice() {
  Close();
}

int VirtualLineDevice::SetCommState(const Dcb& dcb) {
  // No wire to frame: whatever the port asks for is what the line carries.
  tty_->SetInputRulesOnly(dcb);
  return 0;
}

int VirtualLineDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  return tty_->SetCommTimeouts(timeouts);
}

int VirtualLineDevice::SetupComm(uint32_t inQueue, uint32_t outQueue) {
  return tty_->SetupComm(inQueue, outQueue);
}

int VirtualLineDevice::SetCommMask(uint32_t mask) {
  return tty_->SetCommMask(mask);
}

void VirtualLineDevice::SetQuietEvents(uint32_t events) {
  tty_->SetQuietEvents(events);
}

WaitResult VirtualLineDevice::WaitCommEvent(const StopSignal& stop) {
  return tty_->WaitCommEvent(stop);
}

uint32_t VirtualLineDevice::PollCommEvent() {
  return tty_->PollCommEvent();
}

int VirtualLineDevice::EventFd() const {
  return tty_->EventFd();
}

WaitResult VirtualLineDevice::LookCommEvent() {
  return tty_->LookCommEvent();
}

void VirtualLineDevice::EndLook() {
  tty_->EndLook();
}

int VirtualLineDevice::LineFd() const {
  return tty_->LineFd();
}

void VirtualLineDevice::WatchLineOutside(bool outside) {
  tty_->WatchLineOutside(outside);
}

bool VirtualLineDevice::LineWatchedOutside() const {
  return tty_->LineWatchedOutside();
}

WaitResult VirtualLineDevice::LookLineEvent() {
  return tty_->LookLineEvent();
}

std::string VirtualLineDevice::TakeUnreadInput() {
  return tty_->TakeUnreadInput();
}

void VirtualLineDevice::PutBackInput(const std::string& bytes) {
  tty_->PutBackInput(bytes);
}

int VirtualLineDevice::StartRead(Transfer& t) {
  return tty_->StartRead(t);
}

int VirtualLineDevice::StartWrite(Transfer& t) {
  return tty_->StartWrite(t);
}

int VirtualLineDevice::AwaitTransfer(Transfer& t) {
  return tty_->AwaitTransfer(t);
}

int VirtualLineDevice::PurgeComm(uint32_t flags) {
  return tty_->PurgeComm(flags);
}

int VirtualLineDevice::ClearCommError(uint32_t& errors, ComStat& stat) {
  return tty_->ClearCommError(errors, stat);
}

int VirtualLineDevice::ClearCommErrorIn(uint32_t& errors, uint32_t& inQueue) {
  return tty_->ClearCommErrorIn(errors, inQueue);
}

int VirtualLineDevice::DropLineErrors() {
  return tty_->DropLineErrors();
}

int VirtualLineDevice::GetCommModemStatus(uint32_t& status) {
  return tty_->GetCommModemStatus(status);
}

int VirtualLineDevice::Close() {
  const int err = tty_->Close();
  if (auto release = std::exchange(release_, nullptr)) release();
  return err;
}

}  // namespace corvane::platform
