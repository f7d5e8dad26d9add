// The tick counter and sleep for the fuzz target: a virtual clock that a
// sleep advances, so that a tick waiting for a reply that never comes costs no
// real time.
#include <windows.h>

static DWORD virtualNow = 1000;

DWORD GetTickCount(void) {
    return virtualNow;
}

void Sleep(DWORD dwMilliseconds) {
    virtualNow += dwMilliseconds;
}
