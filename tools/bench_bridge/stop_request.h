#pragma once
// SIGINT and SIGTERM end a run early but orderly, so the programs it started are stopped.

namespace corvane {

void InstallStopHandlers();
bool StopRequested();

}  // namespace corvane
