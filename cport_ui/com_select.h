#pragma once
// The selector behind a port property box: which property of which port it edits, the
// value the user chose and not yet applied, and the texts it offers. It fills and searches
// the item list of the box that owns it; the box turns the user's picks into TakeText.
#include <cstdint>
#include <string>

#include "cport/cport.h"
#include "cport/cport_types.h"
#include "rt/tobject.h"

enum TComProperty : uint8_t {
  cpNone,
  cpPort,
  cpBaudRate,
  cpDataBits,
  cpStopBits,
  cpParity,
  cpFlowControl
};

// The item list of the owning control.
class TComItems {
 public:
  virtual ~TComItems() = default;
  virtual void Clear() = 0;
  virtual void Add(const std::string& Text) = 0;
  virtual int Count() const = 0;
  virtual std::string Item(int Index) const = 0;
};

class TComSelect : public TObject {
 public:
  // Pending values; only the one of the current property is used.
  const std::string& Port() const { return FPort; }
  TBaudRate BaudRate() const { return FBaudRate; }
  TDataBits DataBits() const { return FDataBits; }
  TStopBits StopBits() const { return FStopBits; }
  TParityBits Parity() const { return FParity; }
  TFlowControl FlowControl() const { return FFlowControl; }

  TComItems* Items() const { return FItems; }
  void SetItems(TComItems* Value) { FItems = Value; }
  TComProperty ComProperty() const { return FComProperty; }
  // Rebuilds the items for the property.
  void SetComProperty(TComProperty Value);
  TCustomComPort* ComPort() const { return FComPort; }
  void SetComPort(TCustomComPort* Value) { FComPort = Value; }
  bool AutoApply() const { return FAutoApply; }
  void SetAutoApply(bool Value) { FAutoApply = Value; }

  // Makes an item text the pending value; with AutoApply the port gets it at once.
  void TakeText(const std::string& Text);
  // Writes the pending value through the bound port's own setter; a port name that names
  // the port's current line under another spelling is left unapplied.
  void ApplyToPort();
  // Sets ItemIndex to the item showing the port's current value (-1 for none) and takes
  // that item as the pending value. Unbound or cpNone: ItemIndex stays as it was. A port
  // name is found under any spelling that names the same port, and a name the list lacks
  // is added to it.
  void ReadFromPort(int& ItemIndex);

 private:
  // The item naming the same port as Name, added when there is none; -1 for no name.
  int FindPortItem(const std::string& Name);
  // The pending value of the current property, from an item text; never applies.
  void SetPending(const std::string& Text);

  std::string FPort;
  TBaudRate FBaudRate = brCustom;
  TDataBits FDataBits = dbFive;
  TStopBits FStopBits = sbOneStopBit;
  TParityBits FParity = prNone;
  TFlowControl FFlowControl = fcHardware;
  TComItems* FItems = nullptr;
  TComProperty FComProperty = cpNone;
  TCustomComPort* FComPort = nullptr;
  bool FAutoApply = false;
};

namespace corvane {

// Index of the first item equal to Text without regard to the case of a to z; -1 if none.
int FindItem(const TComItems& Items, const std::string& Text);

}  // namespace corvane
