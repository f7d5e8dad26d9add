// The clock of the device tools, their tests and the benchmarks: one
// monotonic clock (CLOCK_MONOTONIC on Linux), so that times in one tool's log
// and another's can be compared.
#pragma once

// Milliseconds on the monotonic clock.
double NowMs();
