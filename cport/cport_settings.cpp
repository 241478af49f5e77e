#include "cport/cport_settings.h"

#include "cport/cport.h"

// --- TComTimeouts ---

TComTimeouts::TComTimeouts(const TComTimeouts& Other) : TPersistent(), FComPort(nullptr) {
  Other.AssignTo(*this);
}

void TComTimeouts::AssignTo(TPersistent& Dest) const {
  auto* d = dynamic_cast<TComTimeouts*>(&Dest);
  if (d == nullptr) return TPersistent::AssignTo(Dest);
  d->FReadInterval = FReadInterval;
  d->FReadTotalMultiplier = FReadTotalMultiplier;
  d->FReadTotalConstant = FReadTotalConstant;
  d->FWriteTotalMultiplier = FWriteTotalMultiplier;
  d->FWriteTotalConstant = FWriteTotalConstant;
}

void TComTimeouts::Set(int32_t& Field, int32_t Value) {
  if (Field == Value) return;
  Field = Value;
  if (FComPort != nullptr) FComPort->ApplyTimeoutSettings();
}

// --- TComFlowControl ---

TComFlowControl::TComFlowControl(const TComFlowControl& Other) : TPersistent(), FComPort(nullptr) {
  Other.AssignTo(*this);
}

void TComFlowControl::AssignTo(TPersistent& Dest) const {
  auto* d = dynamic_cast<TComFlowControl*>(&Dest);
  if (d == nullptr) return TPersistent::AssignTo(Dest);
  d->FOutCTSFlow = FOutCTSFlow;
  d->FOutDSRFlow = FOutDSRFlow;
  d->FControlDTR = FControlDTR;
  d->FControlRTS = FControlRTS;
  d->FXonXoffOut = FXonXoffOut;
  d->FXonXoffIn = FXonXoffIn;
  d->FTxContinueOnXoff = FTxContinueOnXoff;
  d->FDSRSensitivity = FDSRSensitivity;
  d->FXonChar = FXonChar;
  d->FXoffChar = FXoffChar;
}

TFlowControl TComFlowControl::FlowControl() const {
  const bool xon = FXonXoffIn || FXonXoffOut;
  if (FControlRTS == rtsHandshake && FOutCTSFlow && !xon) return fcHardware;
  if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut) return fcSoftware;
  if (FControlRTS == rtsDisable && !FOutCTSFlow && !xon) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value) {
  if (Value != fcCustom) {
    FControlRTS = rtsDisable;
    FOutCTSFlow = false;
    FXonXoffIn = false;
    FXonXoffOut = false;
    if (Value == fcHardware) {
      FControlRTS = rtsHandshake;
      FOutCTSFlow = true;
    } else if (Value == fcSoftware) {
      FXonXoffIn = true;
      FXonXoffOut = true;
    }
  }
  Apply();
}

void TComFlowControl::Apply() {
  if (FComPort != nullptr) FComPort->ApplyLineSettings();
}

// --- TComParity ---

TComParity::TComParity(const TComParity& Other) : TPersistent(), FComPort(nullptr) {
  Other.AssignTo(*this);
}

void TComParity::AssignTo(TPersistent& Dest) const {
  auto* d = dynamic_cast<TComParity*>(&Dest);
  if (d == nullptr) return TPersistent::AssignTo(Dest);
  d->FBits = FBits;
  d->FCheck = FCheck;
  d->FReplace = FReplace;
  d->FReplaceChar = FReplaceChar;
}

void TComParity::Apply() {
  if (FComPort != nullptr) FComPort->ApplyLineSettings();
}

// --- TComBuffer ---

TComBuffer::TComBuffer(const TComBuffer& Other) : TPersistent(), FComPort(nullptr) {
  Other.AssignTo(*this);
}

void TComBuffer::AssignTo(TPersistent& Dest) const {
  auto* d = dynamic_cast<TComBuffer*>(&Dest);
  if (d == nullptr) return TPersistent::AssignTo(Dest);
  d->FOutputSize = FOutputSize;
  d->FInputSize = FInputSize;
}

void TComBuffer::Set(int32_t& Field, int32_t Value) {
  if (Field == Value) return;
  // Sizes stay even, as the driver queues want them.
  Field = (Value > 0 && Value % 2 == 1) ? Value - 1 : Value;
  if (FComPort != nullptr) FComPort->ApplyBufferSizes();
}
