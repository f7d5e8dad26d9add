// rangescan-sim's options: what it answers, how, and with which faults.
#pragma once

#include "Line.h"
#include "PortLink.h"

#include <string>

enum Fault { NONE, SILENT, SLOW, SPLIT, BURST, GARBAGE, CUT };

struct Options {
    PortLinkOptions where;
    std::string fixed, logPath, unasked;
    LineModel line = LINE_UART;
    long digitsMin = 0, digitsMax = 0;
    bool stripes = false;
    double latency = 30;
    Fault fault = NONE;
    long faultFrom = 1, faultCount = 0, burstBytes = 10000, hangupAfter = 0;
    double slowMs = 1500, splitMs = 50, unaskedMs = 500;
};

// The options from the command line; --help and --version print and exit,
// anything else unknown fails.
Options ParseArgs(int argc, char** argv);
