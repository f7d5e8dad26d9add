// A virtual clock in place of the platform's GetTickCount and Sleep, for tests
// linked with the scripted Serial: a sleep advances it, so that waiting costs
// no real time. Link VirtualTime.cpp ahead of the platform (POSIX builds only).
#pragma once

// The tick count moves in steps of `ms` (0: every millisecond); sleeps stay
// fine, as with a timer whose resolution was raised.
void SetVirtualTickStep(double ms);
// The clock's time, in (fractional) milliseconds.
double VirtualMs();
// Moves the clock to `ms`.
void SetVirtualMs(double ms);
