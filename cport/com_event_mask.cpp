#include "cport/com_event_mask.h"

#include <array>
#include <cstddef>

#include "cport/platform/comm_types.h"

namespace {

using namespace corvane::platform;

constexpr std::array<uint32_t, corvane::kComEventCount> kMaskBits = {
    EV_RXCHAR,   // evRxChar
    EV_TXEMPTY,  // evTxEmpty
    EV_RXFLAG,   // evRxFlag
    EV_RING,     // evRing
    EV_BREAK,    // evBreak
    EV_CTS,      // evCTS
    EV_DSR,      // evDSR
    EV_ERR,      // evError
    EV_RLSD,     // evRLSD
    EV_RX80FULL  // evRx80Full
};

}  // namespace

namespace corvane {

uint32_t EventMaskBit(TComEvent Event) {
  return kMaskBits[static_cast<size_t>(Event)];
}

}  // namespace corvane

uint32_t EventSetToMask(TComEvents Events) {
  uint32_t mask = 0;
  for (int i = 0; i < corvane::kComEventCount; ++i) {
    if (Events.contains(static_cast<TComEvent>(i))) mask |= kMaskBits[static_cast<size_t>(i)];
  }
  return mask;
}

TComEvents MaskToEventSet(uint32_t Mask) {
  TComEvents events;
  for (int i = 0; i < corvane::kComEventCount; ++i) {
    if (Mask & kMaskBits[static_cast<size_t>(i)]) events.insert(static_cast<TComEvent>(i));
  }
  return events;
}
