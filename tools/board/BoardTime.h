// The emulated board's time. Its own clock is its CPU's cycles: the timers and
// everything they drive (the servos' frames) keep it. The wall clock places it
// for the log and the computer's side: the board falls behind now and then,
// and no time passes for it while it is held in reset.
#pragma once

#include "firmware/scanner/config.h"

#include <sim_avr.h>

struct BoardTime {
    avr_t* avr = nullptr;
    double base = 0; // wall-clock ms at emulated cycle 0
};

// The board's own time: ms of its CPU's cycles since it was made.
inline double BoardOwnMs(const BoardTime& t) {
    return t.avr->cycle * 1000.0 / BOARD_CPU_HZ;
}
// The board's present moment, in wall-clock ms.
inline double BoardMs(const BoardTime& t) {
    return t.base + BoardOwnMs(t);
}
