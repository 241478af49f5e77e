// Construction, properties, the settings bracket, loading and error reporting of a port.
#include "cport/cport.h"

#include "cport/com_loop_watch.h"
#include "cport/com_thread.h"
#include "rt/main_thread.h"

TCustomComPort::TCustomComPort(TComponent* AOwner) : TComponent(AOwner) {
  FParity = std::make_unique<TComParity>(this);
  FFlowControl = std::make_unique<TComFlowControl>(this);
  FTimeouts = std::make_unique<TComTimeouts>(this);
  FBuffer = std::make_unique<TComBuffer>(this);
}

TCustomComPort::~TCustomComPort() {
  // An error cannot leave a destructor: a port that fails to close in order is taken
  // down anyway, so its device never outlives it.
  try {
    ClosePort();
  } catch (...) {
  }
  if (FConnected) {
    StopEventMonitoring();
    FDevice.reset();
    FConnected = false;
  }
  FBuffer.reset();
  FFlowControl.reset();
  FTimeouts.reset();
  FParity.reset();
}

void TCustomComPort::SetConnected(bool Value) {
  if (Loading()) {
    FConnected = Value;
    return;
  }
  if (Value == FConnected) return;
  if (Value)
    OpenPort();
  else
    ClosePort();
}

void TCustomComPort::SetBaudRate(TBaudRate Value) {
  if (Value == FBaudRate) return;
  FBaudRate = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int32_t Value) {
  if (Value == FCustomBaudRate) return;
  FCustomBaudRate = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& Value) {
  if (Value == FPort) return;
  // A name the port cannot switch to now is not kept: the next reopen would switch to it
  // unasked.
  if (FConnected && !Loading() && CloseRefused()) return;
  FPort = Value;
  if (FConnected && !Loading()) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetParity(const TComParity& Value) {
  FParity->Assign(Value);
  ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits Value) {
  if (Value == FStopBits) return;
  FStopBits = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits Value) {
  if (Value == FDataBits) return;
  FDataBits = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool Value) {
  if (Value == FDiscardNull) return;
  FDiscardNull = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char Value) {
  if (Value == FEventChar) return;
  FEventChar = Value;
  ApplyLineSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& Value) {
  FBuffer->Assign(Value);
  ApplyBufferSizes();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& Value) {
  FFlowControl->Assign(Value);
  ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& Value) {
  FTimeouts->Assign(Value);
  ApplyTimeoutSettings();
}

void TCustomComPort::SetTriggersOnRxChar(bool Value) {
  // With a handler the report returns, and the value is taken all the same.
  if (FHasRxBufLink) ReportPortError(CE_HasLink + 1, 0);
  FTriggersOnRxChar = Value;
  RefreshHandledEvents();
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value) {
  if (Value == FSyncMethod) return;
  if (FConnected && !Loading()) {
    ReportPortError(CE_ConnChangeProp + 1, 0);
    return;
  }
  FSyncMethod = Value;
}

void TCustomComPort::EndSettingsUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0) ApplyAllSettings();
}

void TCustomComPort::Loaded() {
  TComponent::Loaded();
  if (!FConnected) return;
  FConnected = false;
  // A port that cannot be opened does not stop the rest of the program from loading; the
  // application's exception handler shows the error to the operator.
  try {
    OpenPort();
  } catch (...) {
    corvane::MainThread::Instance().HandleException(std::current_exception());
  }
}

void TCustomComPort::ReportPortError(uint16_t Code, int64_t WinError) {
  if (!FOnException) {
    if (WinError > 0) throw EComPort(Code, static_cast<int32_t>(WinError));
    throw EComPort(Code);
  }
  const std::string winMessage =
      WinError > 0 ? corvane::SystemErrorMessage(static_cast<int32_t>(WinError)) : std::string();
  FOnException(this, corvane::ComExceptionOf(Code), corvane::ComErrorText(Code), WinError,
               winMessage);
}

void TCustomComPort::FireAfterClose() {
  if (FOnAfterClose) FOnAfterClose(this);
}
void TCustomComPort::FireAfterOpen() {
  if (FOnAfterOpen) FOnAfterOpen(this);
}
void TCustomComPort::FireBeforeClose() {
  if (FOnBeforeClose) FOnBeforeClose(this);
}
void TCustomComPort::FireBeforeOpen() {
  if (FOnBeforeOpen) FOnBeforeOpen(this);
}
void TCustomComPort::FireRxChar(int32_t Count) {
  if (FOnRxChar) FOnRxChar(this, Count);
}
void TCustomComPort::FireRxBuf(const void* Buffer, int32_t Count) {
  if (FOnRxBuf) FOnRxBuf(this, Buffer, Count);
}
void TCustomComPort::FireTxEmpty() {
  if (FOnTxEmpty) FOnTxEmpty(this);
}
void TCustomComPort::FireBreak() {
  if (FOnBreak) FOnBreak(this);
}
void TCustomComPort::FireRing() {
  if (FOnRing) FOnRing(this);
}
void TCustomComPort::FireRxFlag() {
  if (FOnRxFlag) FOnRxFlag(this);
}
void TCustomComPort::FireCTSChange(bool OnOff) {
  if (FOnCTSChange) FOnCTSChange(this, OnOff);
}
void TCustomComPort::FireDSRChange(bool OnOff) {
  if (FOnDSRChange) FOnDSRChange(this, OnOff);
}
void TCustomComPort::FireError(TComErrors Errors) {
  if (FOnError) FOnError(this, Errors);
}
void TCustomComPort::FireRLSDChange(bool OnOff) {
  if (FOnRLSDChange) FOnRLSDChange(this, OnOff);
}
void TCustomComPort::FireRx80Full() {
  if (FOnRx80Full) FOnRx80Full(this);
}
