// One acquisition tick: step the raster, send the scanner its command pair,
// wait for the reply and store the decoded range in the grid.
#pragma once

#include "scan/ScanState.h"

#include <cstdint>

class Serial;

// A tick is due once strictly more than this has passed since the last began.
const uint32_t TICK_PERIOD_MS = 250;
// The longest a tick waits for the scanner's reply, from the tick's start.
const uint32_t REPLY_TIMEOUT_MS = 1000;
// A reply has ended once the line has been quiet this long after its last
// byte. A reply reaches the computer in pieces: a byte at a time from a UART,
// once a millisecond from a USB board, every 16 ms from a USB adapter's
// latency timer. The gap is measured on the tick count, whatever its grain
// (see AcquireSample).
const uint32_t QUIET_GAP_MS = 22;
// The longest a tick spends dropping stale bytes before its command; it
// counts towards the tick's reply bound.
const uint32_t DRAIN_MS = 100;

// True when more than TICK_PERIOD_MS has passed since the last tick began at
// s.time; `now` is the current tick count. Correct across the counter's wrap.
bool TickDue(const ScanState& s, uint32_t now);

// Runs one tick. Bytes already waiting when the tick begins are dropped
// before its command, until the line has been quiet for QUIET_GAP_MS (for at
// most DRAIN_MS); after a tick whose reply was cut by its bound, the line is
// not taken as quiet until that gap has passed, even if nothing is waiting
// yet (the rest of that reply may be between two USB packets). The reply is
// taken whole: from its first byte until the line has been quiet for
// QUIET_GAP_MS, or until REPLY_TIMEOUT_MS from the tick's start, whichever
// comes first; a reply cut by that bound is decoded as far as it came. A tick
// that gets no reply byte within REPLY_TIMEOUT_MS, whose port fails before
// the reply has ended, or whose drain ran to DRAIN_MS with stale bytes still
// coming (its reply may hold their tail), stores NO_READING in its cell.
void AcquireSample(ScanState& s, Serial& port);

// The exchange a tick makes, for the command pair in s.buffer, with its
// bounds counted from `start` (a tick count): the stale bytes dropped, the
// command sent, the reply taken into s.str (*len of its bytes) and decoded.
// Returns the range, or NO_READING as AcquireSample stores it. The sweep and
// the grid are left alone.
float ExchangeCommand(ScanState& s, Serial& port, uint32_t start, int* len);
