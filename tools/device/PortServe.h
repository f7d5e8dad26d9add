// Serving the computer's side of a device's pseudo-terminal, the step the
// simulated scanner and the board emulator share: the line settings the
// computer gives, and the bytes the line delivers to it.
#pragma once

#include "tools/device/DeviceLog.h"
#include "tools/device/Line.h"

#include <string>
#include <termios.h>

struct PortServe {
    int master = -1;      // the pseudo-terminal's device side, non-blocking
    std::string settings; // the line settings as the computer last gave them: "115200 8N1"
    std::string unsent;   // bytes the computer has yet to take
    double lookedAt = 0;  // the last look that found `settings` unchanged
};

// True when the computer has changed the line settings since the last look:
// the new ones are in `settings` (and, given `t`, in full there) and logged
// ("line 115200 8N1 after MS"). A look is made at `now` or later; MS is the
// last look that still found the old settings, so the computer changed them
// after it, however late this look came.
bool ServeSettings(PortServe& p, DeviceLog& log, double now, termios* t = nullptr);
// Writes what the line delivers by `now`, after what the computer has yet to
// take; logs each write ("sent 5") once it is done: by its stamp the bytes
// are there for the computer to read.
void ServeBytes(PortServe& p, Line& line, DeviceLog& log, double now);
