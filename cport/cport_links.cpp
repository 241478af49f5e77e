// Linked components of a port and what they are told.
#include <algorithm>

#include "cport/cport.h"

void TCustomComPort::RegisterLink(TComPortLink* Link) {
  if (!Link || std::find(FLinkList.begin(), FLinkList.end(), Link) != FLinkList.end()) {
    ReportPortError(CE_RegFailed + 1, 0);
    return;
  }
  FLinkList.push_back(Link);
  if (Link->OnRxBuf) FHasRxBufLink = true;
  RefreshHandledEvents();
}

void TCustomComPort::UnRegisterLink(TComPortLink* Link) {
  auto it = std::find(FLinkList.begin(), FLinkList.end(), Link);
  if (it == FLinkList.end()) {
    ReportPortError(CE_RegFailed + 1, 0);
    return;
  }
  FLinkList.erase(it);
  FHasRxBufLink = LinksHave(&TComPortLink::OnRxBuf);
  RefreshHandledEvents();
}

void TCustomComPort::SignalLinks(TPortLinkEvent Kind, bool OnOff) {
  TComPortLink::TSignal TComPortLink::*callback = nullptr;
  switch (Kind) {
    case plConnection:
      callback = &TComPortLink::OnConn;
      break;
    case plCTS:
      callback = &TComPortLink::OnCTSChange;
      break;
    case plDSR:
      callback = &TComPortLink::OnDSRChange;
      break;
    case plRLSD:
      callback = &TComPortLink::OnRLSDChange;
      break;
    case plRx:
      callback = &TComPortLink::OnRx;
      break;
    case plTx:
      callback = &TComPortLink::OnTx;
      break;
    default:
      return;
  }
  // A callback may unregister links: walk a copy.
  const auto links = FLinkList;
  for (TComPortLink* link : links) {
    if (link->*callback) (link->*callback)(this, OnOff);
  }
}

void TCustomComPort::CallLinks(TPortLinkEvent Kind) {
  TComPortLink::TNotify TComPortLink::*callback = nullptr;
  switch (Kind) {
    case plRing:
      callback = &TComPortLink::OnRing;
      break;
    case plTxEmpty:
      callback = &TComPortLink::OnTxEmpty;
      break;
    case plRxFlag:
      callback = &TComPortLink::OnRxFlag;
      break;
    default:
      return;
  }
  const auto links = FLinkList;
  for (TComPortLink* link : links) {
    if (link->*callback) (link->*callback)(this);
  }
}

void TCustomComPort::PassTxToLinks(const void* Buffer, int32_t Count) {
  const auto links = FLinkList;
  for (TComPortLink* link : links) {
    if (link->OnTxBuf) link->OnTxBuf(this, Buffer, Count);
  }
}
