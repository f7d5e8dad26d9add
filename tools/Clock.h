// The device tools' clock.
#pragma once

// Milliseconds on CLOCK_MONOTONIC.
double NowMs();
