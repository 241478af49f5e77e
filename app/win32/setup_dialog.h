#pragma once
// The port settings dialog drawn with the Win32 dialog calls: six pick-only lists for the
// port's name, baud rate, data bits, stop bits, parity and flow control, OK and Cancel.
// The lists are the shared port property selectors, and OK applies them as the Qt dialog
// does (cport_ui/setup_apply.h). Modal; returns when it has closed.
#include "app/win32/windows_api.h"
#include "cport/cport.h"

namespace corvane {

// What the operator's choices raise on OK reaches the caller after the dialog has gone.
void ShowSetupDialog(HWND owner, TCustomComPort& port);

}  // namespace corvane
