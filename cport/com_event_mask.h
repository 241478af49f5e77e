#pragma once
// Conversion between the port's event set and the device's EV_* event mask.
#include <cstdint>

#include "cport/cport_types.h"

uint32_t EventSetToMask(TComEvents Events);
// Mask bits without a member (EV_PERR and unknown bits) are dropped.
TComEvents MaskToEventSet(uint32_t Mask);

namespace corvane {

// The order in which a batch's events are handled: errors before the bytes they spoiled,
// received bytes before the drained output.
inline constexpr TComEvent kDispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                               evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

// The EV_* bit of each member, indexed by ordinal.
uint32_t EventMaskBit(TComEvent Event);

}  // namespace corvane
