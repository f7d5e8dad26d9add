// rangescan-probe's options.
#pragma once

#include "SerialClass.h"

#include <string>

struct ProbeOptions {
    std::string port;                // COMn, or a device path
    long waitMs = ARDUINO_WAIT_TIME; // the start-up wait after opening
    double expectCm = -1;            // every reply this far (0: nothing in reach); -1: any
};

// The options from the command line; --help and --version print and exit,
// anything else wrong fails (exit 2).
ProbeOptions ParseProbeArgs(int argc, char** argv);
