// The termios speeds and their baud rates, one table for the stand-in's DCB
// calls and the device tools' reading of the line settings. Needs no Win32
// header.
#pragma once

#include <termios.h>

// The termios speed of a baud rate; B0 for a rate termios has no speed for.
speed_t SpeedOfBaud(long baud);
// The baud rate of a termios speed; 0 for B0 or a speed not in the table.
long BaudOfSpeed(speed_t speed);
