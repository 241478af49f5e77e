#include "cport_ui/com_select.h"

#include <vector>

#include "cport/cport_text.h"
#include "cport/port_list.h"
#include "cport_ui/port_list_source.h"

namespace corvane {
namespace {

char FoldCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

template <typename Table>
void AddAll(TComItems& items, const Table& texts) {
  for (std::string_view text : texts) items.Add(std::string(text));
}

}  // namespace

int FindItem(const TComItems& Items, const std::string& Text) {
  for (int i = 0; i < Items.Count(); ++i)
    if (SameText(Items.Item(i), Text)) return i;
  return -1;
}

}  // namespace corvane

void TComSelect::SetComProperty(TComProperty Value) {
  FComProperty = Value;
  if (FItems == nullptr) return;
  FItems->Clear();
  switch (Value) {
    case cpNone:
      break;
    case cpPort: {
      std::vector<std::string> ports;
      ListSerialPorts(ports, corvane::PortListSourceInUse());
      for (const std::string& name : ports) FItems->Add(name);
      break;
    }
    case cpBaudRate:
      corvane::AddAll(*FItems, BaudRateTexts);
      break;
    case cpDataBits:
      corvane::AddAll(*FItems, DataBitsTexts);
      break;
    case cpStopBits:
      corvane::AddAll(*FItems, StopBitsTexts);
      break;
    case cpParity:
      corvane::AddAll(*FItems, ParityTexts);
      break;
    case cpFlowControl:
      corvane::AddAll(*FItems, FlowControlTexts);
      break;
  }
}

void TComSelect::TakeText(const std::string& Text) {
  SetPending(Text);
  if (FAutoApply) ApplyToPort();
}

void TComSelect::SetPending(const std::string& Text) {
  switch (FComProperty) {
    case cpNone:
      break;
    case cpPort:
      FPort = Text;
      break;
    case cpBaudRate:
      FBaudRate = ParseBaudRate(Text);
      break;
    case cpDataBits:
      FDataBits = ParseDataBits(Text);
      break;
    case cpStopBits:
      FStopBits = ParseStopBits(Text);
      break;
    case cpParity:
      FParity = ParseParity(Text);
      break;
    case cpFlowControl:
      FFlowControl = ParseFlowControl(Text);
      break;
  }
}

void TComSelect::ApplyToPort() {
  if (FComPort == nullptr) return;
  switch (FComProperty) {
    case cpNone:
      break;
    case cpPort:
      // The same port spelled otherwise is no new name: renaming would close and reopen a
      // live line for nothing.
      if (!corvane::SamePortName(FPort, FComPort->Port())) FComPort->SetPort(FPort);
      break;
    case cpBaudRate:
      FComPort->SetBaudRate(FBaudRate);
      break;
    case cpDataBits:
      FComPort->SetDataBits(FDataBits);
      break;
    case cpStopBits:
      FComPort->SetStopBits(FStopBits);
      break;
    case cpParity:
      FComPort->Parity().SetBits(FParity);
      break;
    case cpFlowControl:
      FComPort->FlowControl().SetFlowControl(FFlowControl);
      break;
  }
}

int TComSelect::FindPortItem(const std::string& Name) {
  for (int i = 0; i < FItems->Count(); ++i)
    if (corvane::SamePortName(FItems->Item(i), Name)) return i;
  // A line the system does not list (a virtual one, a link of the operator's own) is still
  // the port's line: it is offered, so the box never shows the port as nameless.
  if (Name.empty()) return -1;
  FItems->Add(Name);
  return FItems->Count() - 1;
}

void TComSelect::ReadFromPort(int& ItemIndex) {
  if (FComPort == nullptr || FComProperty == cpNone || FItems == nullptr) return;
  std::string current;
  switch (FComProperty) {
    case cpNone:
      return;
    case cpPort:
      current = FComPort->Port();
      break;
    case cpBaudRate:
      current = FormatBaudRate(FComPort->BaudRate());
      break;
    case cpDataBits:
      current = FormatDataBits(FComPort->DataBits());
      break;
    case cpStopBits:
      current = FormatStopBits(FComPort->StopBits());
      break;
    case cpParity:
      current = FormatParity(FComPort->Parity().Bits());
      break;
    case cpFlowControl:
      current = FormatFlowControl(FComPort->FlowControl().FlowControl());
      break;
  }
  ItemIndex = FComProperty == cpPort ? FindPortItem(current) : corvane::FindItem(*FItems, current);
  if (ItemIndex < 0) return;
  // The list's spelling of a port name wins over the port's own.
  SetPending(FItems->Item(ItemIndex));
}
