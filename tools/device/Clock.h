// The one monotonic clock (CLOCK_MONOTONIC on Linux): the device tools', their
// tests', the benchmarks' and the POSIX stand-in's (GetTickCount, the port's
// timeouts), so that times in one log and another's can be compared.
#pragma once

// Milliseconds on the monotonic clock.
double NowMs();
