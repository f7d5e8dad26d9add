#include "tools/device/StopSignals.h"

#include <csignal>

static volatile sig_atomic_t stopRequested = 0;

static void OnStopSignal(int) {
    stopRequested = 1;
}

void CatchStopSignals() {
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() {
    return stopRequested != 0;
}
