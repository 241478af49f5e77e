// Opening and closing a port, and putting its settings on the device.
#include <cerrno>

#include "cport/com_loop_watch.h"
#include "cport/com_thread.h"
#include "cport/cport.h"
#include "cport/platform/device_opener.h"

namespace {

using namespace corvane::platform;

// Tables indexed by ordinal; a value outside a table (an enumeration forced out of its
// range) maps to 0, which the device refuses as an invalid setting.
template <typename Table>
auto Lookup(const Table& table, int ordinal) -> typename Table::value_type {
  return ordinal >= 0 && ordinal < static_cast<int>(table.size())
             ? table[static_cast<size_t>(ordinal)]
             : typename Table::value_type{};
}

constexpr std::array<uint8_t, corvane::kDataBitsCount> kByteSizes = {5, 6, 7, 8};
constexpr std::array<uint32_t, corvane::kDTRFlowControlCount> kDtrControl = {
    DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE};
constexpr std::array<uint32_t, corvane::kRTSFlowControlCount> kRtsControl = {
    RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE};

}  // namespace

uint32_t TimeoutToDevice(int32_t Value) {
  return Value == -1 ? MAXDWORD : static_cast<uint32_t>(Value);
}

void TCustomComPort::OpenPort() {
  if (FConnected) return;
  HandleBeforeOpen();
  CreateDeviceHandle();
  // Only an OnException handler gets here without a device: the port stays closed.
  if (!FDevice) return;
  FConnected = true;
  try {
    ApplyAllSettings();
  } catch (...) {
    ReleaseDeviceHandle();
    FConnected = false;
    throw;
  }
  if (FCarriedPort == FPort) FDevice->PutBackInput(FCarriedInput);
  FCarriedInput.clear();
  if (FEvents.empty()) {
    FThreadCreated = false;
  } else {
    StartEventMonitoring();
  }
  HandleAfterOpen();
}

void TCustomComPort::ClosePort() {
  if (!FConnected || CloseRefused()) return;
  HandleBeforeClose();
  AbortPendingIO();
  if (FThreadCreated) {
    StopEventMonitoring();
    FThreadCreated = false;
  }
  // What the device took in and nobody read outlives it, as bytes left in the line do.
  FCarriedInput = FDevice ? FDevice->TakeUnreadInput() : std::string();
  FCarriedPort = FPort;
  ReleaseDeviceHandle();
  FConnected = false;
  HandleAfterClose();
}

bool TCustomComPort::CloseRefused() {
  const bool waits = (FEventThread && FEventThread->WaitsForCaller()) ||
                     (FLoopWatch && FLoopWatch->WaitsForCaller());
  if (!waits) return false;
  ReportPortError(CE_ConnChangeProp + 1, 0);
  return true;
}

void TCustomComPort::CreateDeviceHandle() {
  std::unique_ptr<corvane::platform::Device> device;
  const auto& opener = corvane::platform::InstalledDeviceOpener();
  if (int err = opener ? opener(FPort, device) : OpenDevice(FPort, device)) {
    ReportPortError(CE_OpenFailed + 1, err);
    return;
  }
  AdoptDevice(std::move(device));
}

void TCustomComPort::AdoptDevice(std::unique_ptr<Device> Device) {
  FDevice = std::move(Device);
}

void TCustomComPort::ReleaseDeviceHandle() {
  // A device whose close reports an error is gone all the same; keeping it would only
  // leak it when the port opens again.
  if (!FDevice) return;
  FDevice->Close();
  FDevice.reset();
}

bool TCustomComPort::ApplyAllowed() const {
  return FConnected && FDevice && FUpdateCount == 0 && !Loading();
}

void TCustomComPort::ApplyAllSettings() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

void TCustomComPort::ApplyLineSettings() {
  if (!ApplyAllowed()) return;
  const TComParity& parity = *FParity;
  const TComFlowControl& flow = *FFlowControl;

  Dcb dcb;
  dcb.DCBlength = kDcbSize;
  dcb.BaudRate = FBaudRate == brCustom ? static_cast<uint32_t>(FCustomBaudRate)
                                       : Lookup(corvane::kBaudRateBits, FBaudRate);
  dcb.Flags = kDcbBinary;
  if (parity.Check()) dcb.Flags |= kDcbParity;
  if (flow.OutCTSFlow()) dcb.Flags |= kDcbOutxCtsFlow;
  if (flow.OutDSRFlow()) dcb.Flags |= kDcbOutxDsrFlow;
  dcb.Flags |= Lookup(kDtrControl, flow.ControlDTR());
  if (flow.DSRSensitivity()) dcb.Flags |= kDcbDsrSensitivity;
  if (flow.TxContinueOnXoff()) dcb.Flags |= kDcbTXContinueOnXoff;
  if (flow.XonXoffOut()) dcb.Flags |= kDcbOutX;
  if (flow.XonXoffIn()) dcb.Flags |= kDcbInX;
  const bool replace = parity.Check() && parity.Replace();
  if (replace) dcb.Flags |= kDcbErrorChar;
  if (FDiscardNull) dcb.Flags |= kDcbNull;
  dcb.Flags |= Lookup(kRtsControl, flow.ControlRTS());
  dcb.XonLim = static_cast<uint16_t>(FBuffer->InputSize() / 4);
  dcb.XoffLim = dcb.XonLim;
  dcb.ByteSize = Lookup(kByteSizes, FDataBits);
  dcb.Parity = static_cast<uint8_t>(parity.Bits());
  dcb.StopBits = static_cast<uint8_t>(FStopBits);
  dcb.XonChar = flow.XonChar();
  dcb.XoffChar = flow.XoffChar();
  dcb.ErrorChar = replace ? parity.ReplaceChar() : 0;
  dcb.EofChar = 0;
  dcb.EvtChar = FEventChar;

  if (int err = FDevice->SetCommState(dcb)) ReportPortError(CE_SetStateFailed + 1, err);
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!ApplyAllowed()) return;
  CommTimeouts t;
  t.ReadIntervalTimeout = TimeoutToDevice(FTimeouts->ReadInterval());
  t.ReadTotalTimeoutMultiplier = TimeoutToDevice(FTimeouts->ReadTotalMultiplier());
  t.ReadTotalTimeoutConstant = TimeoutToDevice(FTimeouts->ReadTotalConstant());
  t.WriteTotalTimeoutMultiplier = TimeoutToDevice(FTimeouts->WriteTotalMultiplier());
  t.WriteTotalTimeoutConstant = TimeoutToDevice(FTimeouts->WriteTotalConstant());
  if (int err = FDevice->SetCommTimeouts(t)) ReportPortError(CE_TimeoutsFailed + 1, err);
}

void TCustomComPort::ApplyBufferSizes() {
  if (!ApplyAllowed()) return;
  const int err = FDevice->SetupComm(static_cast<uint32_t>(FBuffer->InputSize()),
                                     static_cast<uint32_t>(FBuffer->OutputSize()));
  if (err) ReportPortError(CE_SetupComFailed + 1, err);
}

TComModemSignals TCustomComPort::ModemSignals() {
  uint32_t status = 0;
  // A closed port has no device; the platform would reject the invalid handle.
  const int err = FDevice ? FDevice->GetCommModemStatus(status) : EBADF;
  if (err) {
    ReportPortError(CE_ModemStatFailed + 1, err);
    return {};
  }
  TComModemSignals s;
  if (status & MS_CTS_ON) s.insert(msCTS);
  if (status & MS_DSR_ON) s.insert(msDSR);
  if (status & MS_RING_ON) s.insert(msRing);
  if (status & MS_RLSD_ON) s.insert(msRLSD);
  return s;
}

void TCustomComPort::AbortPendingIO() {
  const int err = FDevice ? FDevice->PurgeComm(PURGE_TXABORT | PURGE_RXABORT) : EBADF;
  // A removed device fails its purge as it failed its wait. Keeping it open for that would
  // keep its handle for ever and the line would never come back: the close goes on and
  // releases it.
  const bool lost = FEventThread && FEventThread->WaitRefused();
  if (err && !lost) ReportPortError(CE_PurgeFailed + 1, err);
}
