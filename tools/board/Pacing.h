// Running the emulated board in real time: a slice of its CPU's time at a
// time, just ahead of the wall clock, with the computer's side served while
// the wall clock catches up. While no program has the port open the board is
// held, and the emulator waits without using the processor; the open resets
// it.
#pragma once

#include "tools/board/Rig.h"

// Runs the board until a stop is asked for (StopRequested). Returns how far,
// in ms, it fell behind the wall clock at worst (0: never past the bound).
double RunPaced(Rig& r);
