// Event monitoring of an open port. Until the event thread exists an open port is simply
// not monitored: no line event reaches its handlers, reading and writing still work.
#include "cport/cport.h"

void TCustomComPort::StartEventMonitoring() {
  FThreadCreated = false;
}

void TCustomComPort::StopEventMonitoring() {}
