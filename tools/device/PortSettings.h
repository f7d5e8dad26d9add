// The port's settings as the host gave them (termios): not to be confused
// with the line model (Line.h), which says how bytes travel.
#pragma once

#include <string>
#include <termios.h>

// The baud rate, data bits and bits a character (start, data, parity, stop).
void PortSettings(const termios& t, long* baud, int* bits, int* frame);
// The same as text: "115200 8N1".
std::string PortSettingsName(const termios& t);
