// The end-to-end check of the program's pacing, from the device's stamps of
// its commands (see Pacing in Program.h).
#pragma once

#include "Program.h"

#include "scan/Acquire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Every span of commands is at least its floor apart but for one stamp's
// delay and the count's step: a single period may be short by what held its
// first stamp back, and the next is long by as much, but lateness cannot add
// up, so a program that paces 200 ms apart falls short by 50 ms a tick. Upward
// the program promises a tick at the first idle frame once one is due, which
// a busy machine delays; the mean period stays within a fifth of the floor.
inline void ExpectPacedAsPromised(const std::vector<double>& stamps, const std::string& who) {
    ASSERT_GE(stamps.size(), 10u) << who << ": too few commands to judge the pace";
    Pacing p = PacingOf(stamps);
    EXPECT_LE(p.shortMs, OBSERVER_DELAY_MS + TickStepMs())
        << who << ": commands " << p.from + 1 << " to " << p.to + 1 << " came " << p.shortMs
        << " ms sooner than " << p.to - p.from << " ticks' periods allow";
    EXPECT_LT(p.meanMs, 1.2 * TICK_PERIOD_MS) << who << ": a tick every " << p.meanMs << " ms";
    Figure("timing pacing-" + who + " short_ms=" + std::to_string(p.shortMs) +
           " mean_ms=" + std::to_string(p.meanMs) + " commands=" + std::to_string(stamps.size()));
}
