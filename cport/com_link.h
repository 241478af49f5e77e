#pragma once
// A component linked to a port: it is told about the connection, the line states, and
// the bytes moved, through whichever of these callbacks it assigns before it registers.
#include <cstdint>
#include <functional>

#include "rt/tobject.h"

enum TPortLinkEvent : uint8_t {
  plConnection,
  plCTS,
  plDSR,
  plRLSD,
  plRing,
  plRx,
  plTx,
  plTxEmpty,
  plRxFlag
};

struct TComPortLink {
  using TSignal = std::function<void(TObject* Sender, bool OnOff)>;
  using TBufferEvent = std::function<void(TObject* Sender, const void* Buffer, int32_t Count)>;
  using TNotify = std::function<void(TObject* Sender)>;

  TSignal OnConn;
  TBufferEvent OnRxBuf;
  TBufferEvent OnTxBuf;
  TNotify OnTxEmpty;
  TNotify OnRxFlag;
  TSignal OnCTSChange;
  TSignal OnDSRChange;
  TSignal OnRLSDChange;
  TNotify OnRing;
  TSignal OnTx;
  TSignal OnRx;
};
