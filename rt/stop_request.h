#pragma once
// Requests from outside to end the program, routed to the loop that runs it. One file per
// OS: SIGINT and SIGTERM on POSIX (SIGPIPE is ignored there, so a vanished peer is an error
// code rather than the end), Ctrl+C, Ctrl+Break and closing the console on Windows.
namespace corvane {

class EventLoop;

// From now on such a request calls loop->Quit(); nullptr stops routing them.
void QuitLoopOnStopRequest(EventLoop* loop);

}  // namespace corvane
