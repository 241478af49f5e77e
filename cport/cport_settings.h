#pragma once
// The four settings groups a port owns. Writing a value that differs stores it and has
// the owning port apply the group to its device (nothing while the port is closed, in an
// update bracket or loading). A group without an owning port, made for copying, applies
// nothing. Copying between groups goes through Assign and copies plain values, never the
// owner, and applies nothing on the destination's port.
#include <cstdint>

#include "cport/cport_types.h"
#include "cport/persistent.h"

class TCustomComPort;

class TComTimeouts : public TPersistent {
 public:
  explicit TComTimeouts(TCustomComPort* Owner = nullptr) : FComPort(Owner) {}
  TComTimeouts(const TComTimeouts& Other);  // values only; the copy has no port
  TComTimeouts& operator=(const TComTimeouts&) = delete;

  const char* ClassName() const override { return "TComTimeouts"; }
  void AssignTo(TPersistent& Dest) const override;
  TCustomComPort* ComPort() const { return FComPort; }

  int32_t ReadInterval() const { return FReadInterval; }
  int32_t ReadTotalMultiplier() const { return FReadTotalMultiplier; }
  int32_t ReadTotalConstant() const { return FReadTotalConstant; }
  int32_t WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
  int32_t WriteTotalConstant() const { return FWriteTotalConstant; }
  void SetReadInterval(int32_t Value) { Set(FReadInterval, Value); }
  void SetReadTotalMultiplier(int32_t Value) { Set(FReadTotalMultiplier, Value); }
  void SetReadTotalConstant(int32_t Value) { Set(FReadTotalConstant, Value); }
  void SetWriteTotalMultiplier(int32_t Value) { Set(FWriteTotalMultiplier, Value); }
  void SetWriteTotalConstant(int32_t Value) { Set(FWriteTotalConstant, Value); }

 private:
  void Set(int32_t& Field, int32_t Value);

  TCustomComPort* FComPort;
  int32_t FReadInterval = -1;
  int32_t FReadTotalMultiplier = 0;
  int32_t FReadTotalConstant = 0;
  int32_t FWriteTotalMultiplier = 100;
  int32_t FWriteTotalConstant = 1000;
};

class TComFlowControl : public TPersistent {
 public:
  explicit TComFlowControl(TCustomComPort* Owner = nullptr) : FComPort(Owner) {}
  TComFlowControl(const TComFlowControl& Other);  // values only; the copy has no port
  TComFlowControl& operator=(const TComFlowControl&) = delete;

  const char* ClassName() const override { return "TComFlowControl"; }
  void AssignTo(TPersistent& Dest) const override;
  TCustomComPort* ComPort() const { return FComPort; }

  // The shortcut over RTS control, CTS output flow and the two Xon/Xoff directions.
  TFlowControl FlowControl() const;
  // Sets the shortcut's four fields (fcCustom leaves them) and applies in every case.
  void SetFlowControl(TFlowControl Value);

  bool OutCTSFlow() const { return FOutCTSFlow; }
  bool OutDSRFlow() const { return FOutDSRFlow; }
  TDTRFlowControl ControlDTR() const { return FControlDTR; }
  TRTSFlowControl ControlRTS() const { return FControlRTS; }
  bool XonXoffOut() const { return FXonXoffOut; }
  bool XonXoffIn() const { return FXonXoffIn; }
  bool DSRSensitivity() const { return FDSRSensitivity; }
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  char XonChar() const { return FXonChar; }
  char XoffChar() const { return FXoffChar; }
  void SetOutCTSFlow(bool Value) { Set(FOutCTSFlow, Value); }
  void SetOutDSRFlow(bool Value) { Set(FOutDSRFlow, Value); }
  void SetControlDTR(TDTRFlowControl Value) { Set(FControlDTR, Value); }
  void SetControlRTS(TRTSFlowControl Value) { Set(FControlRTS, Value); }
  void SetXonXoffOut(bool Value) { Set(FXonXoffOut, Value); }
  void SetXonXoffIn(bool Value) { Set(FXonXoffIn, Value); }
  void SetDSRSensitivity(bool Value) { Set(FDSRSensitivity, Value); }
  void SetTxContinueOnXoff(bool Value) { Set(FTxContinueOnXoff, Value); }
  void SetXonChar(char Value) { Set(FXonChar, Value); }
  void SetXoffChar(char Value) { Set(FXoffChar, Value); }

 private:
  template <typename T>
  void Set(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    Apply();
  }
  void Apply();

  TCustomComPort* FComPort;
  bool FOutCTSFlow = false;
  bool FOutDSRFlow = false;
  TDTRFlowControl FControlDTR = dtrDisable;
  TRTSFlowControl FControlRTS = rtsDisable;
  bool FXonXoffOut = false;
  bool FXonXoffIn = false;
  bool FDSRSensitivity = false;
  bool FTxContinueOnXoff = false;
  char FXonChar = 17;
  char FXoffChar = 19;
};

class TComParity : public TPersistent {
 public:
  explicit TComParity(TCustomComPort* Owner = nullptr) : FComPort(Owner) {}
  TComParity(const TComParity& Other);  // values only; the copy has no port
  TComParity& operator=(const TComParity&) = delete;

  const char* ClassName() const override { return "TComParity"; }
  void AssignTo(TPersistent& Dest) const override;
  TCustomComPort* ComPort() const { return FComPort; }

  TParityBits Bits() const { return FBits; }
  bool Check() const { return FCheck; }
  bool Replace() const { return FReplace; }
  char ReplaceChar() const { return FReplaceChar; }
  void SetBits(TParityBits Value) { Set(FBits, Value); }
  void SetCheck(bool Value) { Set(FCheck, Value); }
  void SetReplace(bool Value) { Set(FReplace, Value); }
  void SetReplaceChar(char Value) { Set(FReplaceChar, Value); }

 private:
  template <typename T>
  void Set(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    Apply();
  }
  void Apply();

  TCustomComPort* FComPort;
  TParityBits FBits = prNone;
  bool FCheck = false;
  bool FReplace = false;
  char FReplaceChar = 0;
};

class TComBuffer : public TPersistent {
 public:
  explicit TComBuffer(TCustomComPort* Owner = nullptr) : FComPort(Owner) {}
  TComBuffer(const TComBuffer& Other);  // values only; the copy has no port
  TComBuffer& operator=(const TComBuffer&) = delete;

  const char* ClassName() const override { return "TComBuffer"; }
  void AssignTo(TPersistent& Dest) const override;
  TCustomComPort* ComPort() const { return FComPort; }

  int32_t InputSize() const { return FInputSize; }
  int32_t OutputSize() const { return FOutputSize; }
  // A positive odd size is stored one smaller; the comparison that skips an unchanged
  // value is made before that, so writing the same odd size again applies again.
  void SetInputSize(int32_t Value) { Set(FInputSize, Value); }
  void SetOutputSize(int32_t Value) { Set(FOutputSize, Value); }

 private:
  void Set(int32_t& Field, int32_t Value);

  TCustomComPort* FComPort;
  int32_t FInputSize = 1024;
  int32_t FOutputSize = 1024;
};
