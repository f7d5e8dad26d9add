// The emulated board's time: its CPU's cycles, placed on the wall clock.
#pragma once

#include "firmware/scanner/config.h"

#include <sim_avr.h>

struct BoardTime {
    avr_t* avr = nullptr;
    double base = 0; // wall-clock ms at emulated cycle 0
};

// The board's present moment, in wall-clock ms.
inline double BoardMs(const BoardTime& t) {
    return t.base + t.avr->cycle * 1000.0 / BOARD_CPU_HZ;
}
