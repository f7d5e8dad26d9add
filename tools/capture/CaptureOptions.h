// rangescan-capture's options.
#pragma once

#include "SerialClass.h"

#include <string>

struct CaptureOptions {
    std::string port;                // COMn, or a device path
    std::string out;                 // the files' path without .csv, .ply and .png
    long step = 1;                   // every Nth column and row of the raster
    long pings = 1;                  // readings an aim; the median is kept
    double scale = 30;               // the picture's full red, in cm
    long waitMs = ARDUINO_WAIT_TIME; // the start-up wait after opening
    bool force = false;              // replace the files of an earlier capture
};

// The options from the command line; --help and --version print and exit,
// anything else wrong fails (exit 2).
CaptureOptions ParseCaptureArgs(int argc, char** argv);
