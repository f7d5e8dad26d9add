// A capture's progress on standard output: on a console, one line redrawn in
// place (percent, aims done of all, elapsed, time left); otherwise a plain
// line at every tenth of the way.
#pragma once

#include <cstdint>

struct Progress {
    bool console;
    int total;
    int lastTenth = 0;
    bool drawn = false; // a line is on the console, unfinished
};

// Whether standard output is a console decides how progress is shown.
Progress StartProgress(int total);
// `done` aims of the total are taken, in `elapsedMs`.
void ShowProgress(Progress& p, int done, uint32_t elapsedMs);
// Ends the line in place, so that what follows starts a line of its own.
void EndProgress(Progress& p);
