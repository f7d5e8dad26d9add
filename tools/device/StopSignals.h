// Stopping a device tool cleanly, so that it removes its link first.
#pragma once

// From now on SIGINT, SIGTERM and SIGHUP ask the tool to stop (StopRequested);
// SIGPIPE is ignored.
void CatchStopSignals();
bool StopRequested();
