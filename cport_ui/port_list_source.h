#pragma once
// Where the port box takes its port names from: the system's directories, or trees of the
// same shape that a test builds.
#include "cport/port_list.h"

namespace corvane {

const PortListSource& PortListSourceInUse();
void SetPortListSource(PortListSource Source);

}  // namespace corvane
