// Which line events a port acts on. An event nobody acts on would cost a trip to the main
// thread that changes nothing, and a device that tracks it (a drained output queue after
// every write, modem lines sampled) wakes for nothing.
#include <algorithm>

#include "cport/com_event_mask.h"
#include "cport/cport.h"

TComEvents TCustomComPort::HandledEvents() const {
  // A derived class may override any fire step; there is no asking which.
  if (!FOwnFireSteps) return corvane::kAllComEvents;
  TComEvents events;
  // Stored False, the port reads every batch itself even when nobody takes it.
  if (FOnRxChar || !FTriggersOnRxChar || LinksHave(&TComPortLink::OnRx) ||
      LinksHave(&TComPortLink::OnRxBuf)) {
    events.insert(evRxChar);
  }
  if (FOnTxEmpty || LinksHave(&TComPortLink::OnTx) || LinksHave(&TComPortLink::OnTxEmpty)) {
    events.insert(evTxEmpty);
  }
  if (FOnRxFlag || LinksHave(&TComPortLink::OnRxFlag)) events.insert(evRxFlag);
  if (FOnRing || LinksHave(&TComPortLink::OnRing)) events.insert(evRing);
  if (FOnBreak) events.insert(evBreak);
  if (FOnCTSChange || LinksHave(&TComPortLink::OnCTSChange)) events.insert(evCTS);
  if (FOnDSRChange || LinksHave(&TComPortLink::OnDSRChange)) events.insert(evDSR);
  if (FOnRLSDChange || LinksHave(&TComPortLink::OnRLSDChange)) events.insert(evRLSD);
  if (FOnRx80Full) events.insert(evRx80Full);
  if (FOnError) {
    // Counting the received bytes takes the pending line errors along with it.
    events.insert(evError);
    events.insert(evRxChar);
  }
  if (FOnException) {
    // These steps ask the device; the handler hears when that fails.
    events = events | TComEvents{evRxChar, evError, evCTS, evDSR, evRLSD};
  }
  return events;
}

void TCustomComPort::RefreshHandledEvents() {
  const TComEvents handled = HandledEvents();
  FHandledEvents.store(handled.bits(), std::memory_order_release);
  if (FDevice) FDevice->SetQuietEvents(EventSetToMask(corvane::kAllComEvents - handled));
}
