// Stand-in for KERNEL32's GetTickCount and Sleep, and the stand-in's time, in
// which the port's timeouts count too (WholeMs): milliseconds on the monotonic
// clock, wrapping at 2^32 as Windows' count does (about every 49.7 days), and a
// sleep of at least the time asked. Left out: Windows' coarse timer; this count
// moves every millisecond.
//
// For tests, Windows' coarse timer: RANGESCAN_COARSE_TICK=MS makes the count
// move in steps of MS (15.625 by Windows' default), and RANGESCAN_COARSE_SLEEP=MS
// makes a sleep end on the first step of MS at or after the time asked. On
// Windows both hold by default; a program that raises the timer's resolution
// (many do, for all programs at once) makes sleeps fine while the count still
// steps.
#include "handles.h"
#include "tools/device/Clock.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

double CoarseStepMs(const char* name) {
    const char* step = getenv(name);
    double ms = step ? atof(step) : 0;
    return ms > 0 ? ms : 0;
}

} // namespace

uint64_t WholeMs() {
    return static_cast<uint64_t>(NowMs());
}

DWORD GetTickCount(void) {
    double step = CoarseStepMs("RANGESCAN_COARSE_TICK");
    if (step > 0)
        return static_cast<DWORD>(static_cast<uint64_t>(std::floor(NowMs() / step) * step));
    return static_cast<DWORD>(WholeMs());
}

void Sleep(DWORD dwMilliseconds) {
    double step = CoarseStepMs("RANGESCAN_COARSE_SLEEP");
    if (step > 0) {
        double until = std::ceil((NowMs() + dwMilliseconds) / step) * step;
        timespec ts = {static_cast<time_t>(until / 1000),
                       static_cast<long>(std::fmod(until, 1000.0) * 1e6)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
        return;
    }
    timespec ts = {static_cast<time_t>(dwMilliseconds / 1000),
                   static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}
