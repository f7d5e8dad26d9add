// rangescan-sim's options: what it answers, how, and with which faults.
#pragma once

#include "tools/device/Line.h"
#include "tools/device/PortLink.h"

#include <string>

// The faults, a row each, as --fault names them; a fault is its row's index.
enum Fault {
    FAULT_NONE,
    FAULT_SILENT,
    FAULT_SLOW,
    FAULT_SPLIT,
    FAULT_BURST,
    FAULT_GARBAGE,
    FAULT_CUT
};

struct FaultRow {
    const char* name; // as --fault takes it
    const char* note; // what --help says of it beyond its name; empty for nothing
};
extern const FaultRow FAULTS[];
extern const int FAULT_COUNT;

struct Options {
    PortLinkOptions where;
    std::string fixed, logPath, unasked, replay;
    LineModel line = LINE_UART;
    long digitsMin = 0, digitsMax = 0;
    bool stripes = false;
    double latency = 30;
    Fault fault = FAULT_NONE;
    long faultFrom = 1, faultCount = 0, burstBytes = 10000, hangupAfter = 0;
    double slowMs = 1500, splitMs = 50, unaskedMs = 500;
};

// The options from the command line; --help and --version print and exit,
// anything else unknown fails.
Options ParseArgs(int argc, char** argv);
