// rangescan-board's options: the firmware it runs, where its port is linked,
// how its bytes travel, the bootloader's wait and what the ranger faces.
#pragma once

#include "tools/device/Line.h"
#include "tools/device/PortLink.h"

#include <string>

struct BoardOptions {
    PortLinkOptions where;
    std::string firmware, logPath;
    LineModel line = LINE_UART;
    double bootMs = 1000;
    double range = -1; // a flat target's distance; -1: the scene; 0: nothing
};

// The options from the command line, the firmware found beside this program
// when none is given; --help and --version print and exit, anything else
// unknown fails.
BoardOptions ParseBoardArgs(int argc, char** argv);
