#include "VirtualTime.h"

#include <windows.h>

#include <cmath>

static double virtualNow = 1000, tickStep = 0;

void SetVirtualTickStep(double ms) {
    tickStep = ms;
}

double VirtualMs() {
    return virtualNow;
}

void SetVirtualMs(double ms) {
    virtualNow = ms;
}

DWORD GetTickCount(void) {
    double t = tickStep > 0 ? std::floor(virtualNow / tickStep) * tickStep : virtualNow;
    return static_cast<DWORD>(static_cast<unsigned long long>(t));
}

void Sleep(DWORD dwMilliseconds) {
    virtualNow += dwMilliseconds;
}
