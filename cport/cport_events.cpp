// What the port does with each line event, and the line states reported at opening and
// closing.
#include <memory>

#include "cport/com_event_mask.h"
#include "cport/cport.h"

void TCustomComPort::HandleRxChar() {
  int32_t count = InQueueCount();
  if (count > 0) SignalLinks(plRx, true);
  DeliverRxToLinks(count);
  if (count > 0) FireRxChar(count);
}

void TCustomComPort::DeliverRxToLinks(int32_t& Count) {
  if (Count <= 0 || TriggersOnRxChar()) return;
  std::unique_ptr<char[]> buffer;
  auto readOnce = [&] {
    if (buffer) return;
    buffer = std::make_unique<char[]>(static_cast<size_t>(Count));
    ReadBytes(buffer.get(), Count);
    FireRxBuf(buffer.get(), Count);
  };
  const auto links = FLinkList;
  for (TComPortLink* link : links) {
    if (!link->OnRxBuf) continue;
    readOnce();
    link->OnRxBuf(this, buffer.get(), Count);
  }
  if (!buffer && !FTriggersOnRxChar) readOnce();
  if (buffer) Count = 0;
}

void TCustomComPort::HandleTxEmpty() {
  SignalLinks(plTx, false);
  CallLinks(plTxEmpty);
  FireTxEmpty();
}

void TCustomComPort::HandleRxFlag() {
  CallLinks(plRxFlag);
  FireRxFlag();
}

void TCustomComPort::HandleRing() {
  CallLinks(plRing);
  FireRing();
}

void TCustomComPort::HandleBreak() {
  FireBreak();
}

void TCustomComPort::HandleRx80Full() {
  FireRx80Full();
}

void TCustomComPort::HandleCTSChange() {
  const bool on = ModemSignals().contains(msCTS);
  SignalLinks(plCTS, on);
  FireCTSChange(on);
}

void TCustomComPort::HandleDSRChange() {
  const bool on = ModemSignals().contains(msDSR);
  SignalLinks(plDSR, on);
  FireDSRChange(on);
}

void TCustomComPort::HandleRLSDChange() {
  const bool on = ModemSignals().contains(msRLSD);
  SignalLinks(plRLSD, on);
  FireRLSDChange(on);
}

void TCustomComPort::HandleError() {
  const TComErrors errors = LineErrors();
  if (!errors.empty()) FireError(errors);
}

void TCustomComPort::HandleBeforeOpen() {
  FireBeforeOpen();
}

void TCustomComPort::HandleAfterOpen() {
  SignalLinks(plConnection, true);
  FireAfterOpen();
  ReportLineStates(true);
}

void TCustomComPort::HandleBeforeClose() {
  ReportLineStates(false);
  FireBeforeClose();
}

void TCustomComPort::HandleAfterClose() {
  SignalLinks(plConnection, false);
  FireAfterClose();
}

void TCustomComPort::ReportLineStates(bool Opening) {
  if (Opening) {
    HandleCTSChange();
    HandleDSRChange();
    HandleRLSDChange();
    return;
  }
  // Closing reports every line off without asking the device.
  SignalLinks(plCTS, false);
  SignalLinks(plDSR, false);
  SignalLinks(plRLSD, false);
  FireCTSChange(false);
  FireDSRChange(false);
  FireRLSDChange(false);
}

void TCustomComPort::RunEventHandlers(TComEvents Events) {
  for (TComEvent e : corvane::kDispatchOrder) {
    if (!Events.contains(e)) continue;
    switch (e) {
      case evError:
        HandleError();
        break;
      case evRxChar:
        HandleRxChar();
        break;
      case evTxEmpty:
        HandleTxEmpty();
        break;
      case evBreak:
        HandleBreak();
        break;
      case evRing:
        HandleRing();
        break;
      case evCTS:
        HandleCTSChange();
        break;
      case evDSR:
        HandleDSRChange();
        break;
      case evRxFlag:
        HandleRxFlag();
        break;
      case evRLSD:
        HandleRLSDChange();
        break;
      case evRx80Full:
        HandleRx80Full();
        break;
    }
  }
}
