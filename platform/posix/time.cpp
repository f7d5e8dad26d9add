// Stand-in for KERNEL32's GetTickCount and Sleep: milliseconds on the monotonic
// clock, wrapping at 2^32 as Windows' count does (about every 49.7 days), and a
// sleep of at least the time asked. Left out: Windows' coarse tick of ~16 ms;
// this count moves every millisecond.
#include "handles.h"

#include <cerrno>
#include <ctime>

DWORD GetTickCount(void) {
    return static_cast<DWORD>(MonotonicMs());
}

void Sleep(DWORD dwMilliseconds) {
    timespec ts = {static_cast<time_t>(dwMilliseconds / 1000),
                   static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}
