// The scan state and the port a tick test runs the program's tick on.
#pragma once

#include "SerialClass.h"
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "tools/device/Clock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The program's scan state and its port, opened with its messages kept from
// the test's output.
struct Scan {
    std::unique_ptr<ScanState> s{new ScanState};
    std::unique_ptr<Serial> port;
    explicit Scan(const char* name = "COM6") {
        testing::internal::CaptureStdout();
        port.reset(new Serial(name));
        testing::internal::GetCapturedStdout();
        InitScanState(*s, GetTickCount());
    }
    // Runs one tick and tells how long it took.
    double Tick() {
        double t0 = NowMs();
        AcquireSample(*s, *port);
        return NowMs() - t0;
    }
    float Cell(int col, int row) { return s->bufferX[col][row]; }
};

// Waits, a look each millisecond, until at least `bytes` are waiting on the
// port; false when they have not come within waitMs.
inline bool WaitForBytes(Serial& port, int bytes, double waitMs) {
    double until = NowMs() + waitMs;
    while (port.countData() < bytes) {
        if (NowMs() > until)
            return false;
        Sleep(1);
    }
    return true;
}

inline float Decode(const std::string& digits) {
    return DecodeReply(digits.data(), static_cast<int>(digits.size()));
}
