#pragma once
// The console's control handler behind QuitLoopOnStopRequest, for tests that call it as the
// console would.
#include <windows.h>

namespace corvane {

// How long a console close or a system shutdown waits for the orderly shutdown.
inline constexpr DWORD kOrderlyShutdownMs = 5000;

// Ctrl+C and Ctrl+Break quit the loop; closing the console and shutting down quit it and
// return only once the program has shut down (QuitLoopOnStopRequest(nullptr)), at most
// kOrderlyShutdownMs later; a logoff is ignored.
BOOL WINAPI OnConsoleControl(DWORD type);

}  // namespace corvane
