// One acquisition tick: step the raster, send the scanner its command pair,
// wait for the reply and store the decoded range in the grid.
#pragma once

#include "scan/ScanState.h"

#include <cstdint>

class Serial;

// A tick is due once strictly more than this has passed since the last began.
const uint32_t TICK_PERIOD_MS = 250;
// The longest a tick waits for the scanner to start its reply.
const uint32_t REPLY_TIMEOUT_MS = 1000;

// True when more than TICK_PERIOD_MS has passed since the last tick began at
// s.time; `now` is the current tick count. Correct across the counter's wrap.
bool TickDue(const ScanState& s, uint32_t now);

// Runs one tick. Bytes already waiting when the tick begins are dropped
// before its command. A tick that gets no reply within REPLY_TIMEOUT_MS of its
// start, or finds the port failed, stores NO_READING in its cell.
void AcquireSample(ScanState& s, Serial& port);
