#pragma once
// What OK in the port settings dialog does, whatever draws the dialog: the six chosen values
// go to the port inside one settings bracket, the name first, so an open device is set once
// (a new name reopens the port before that). A new name that cannot be opened gives the
// port its old name back, opened again, and the other five values are not applied. An error
// reaches the caller after the bracket has been closed.
#include <array>
#include <functional>

#include "cport/cport.h"

namespace corvane {

// apply[0] writes the port name box's pending value, apply[1..5] the baud rate, data bits,
// stop bits, parity and flow control boxes'. nameChosen: the name box shows a selection;
// only a port without a name shows none, and OK keeps it rather than renaming the port to
// nothing.
void ApplySetupChoices(TCustomComPort& Port, const std::array<std::function<void()>, 6>& apply,
                       bool nameChosen);

}  // namespace corvane
