#pragma once
// Conversion between the port's event set and the device's EV_* event mask.
#include <cstdint>

#include "cport/cport_types.h"

uint32_t EventSetToMask(TComEvents Events);
// Mask bits without a member (EV_PERR and unknown bits) are dropped.
TComEvents MaskToEventSet(uint32_t Mask);

namespace corvane {

// The EV_* bit of each member, indexed by ordinal.
uint32_t EventMaskBit(TComEvent Event);

}  // namespace corvane
