#include "tools/capture/Progress.h"

#include <windows.h>

#include <cstdio>

static void Clock(char* buf, size_t size, double ms) {
    unsigned long s = static_cast<unsigned long>(ms / 1000 + 0.5);
    snprintf(buf, size, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
}

Progress StartProgress(int total) {
    DWORD mode;
    Progress p;
    p.console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    p.total = total;
    return p;
}

void ShowProgress(Progress& p, int done, uint32_t elapsedMs) {
    int tenth = p.total > 0 ? done * 10 / p.total : 10;
    if (!p.console && tenth == p.lastTenth)
        return;
    p.lastTenth = tenth;
    char elapsed[32], left[32];
    Clock(elapsed, sizeof elapsed, elapsedMs);
    Clock(left, sizeof left,
          done > 0 ? static_cast<double>(elapsedMs) * (p.total - done) / done : 0);
    printf("%s%5.1f %%  %d of %d aims  elapsed %s  left %s%s", p.console ? "\r" : "",
           p.total > 0 ? 100.0 * done / p.total : 100.0, done, p.total, elapsed, left,
           p.console ? "  " : "\n");
    fflush(stdout);
    p.drawn = p.console;
}

void EndProgress(Progress& p) {
    if (p.drawn)
        printf("\n");
    p.drawn = false;
    fflush(stdout);
}
