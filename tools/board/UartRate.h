// The board's UART and the computer's at their own speeds. Each samples the
// line by its own clock: a receiver set to another speed than the sender's
// finds the start bits where they are and reads the data bits where its own
// clock puts them, as the ATmega328P's receiver and a USB adapter's do. Within
// a UART's tolerance (a few per cent over a frame) the bytes pass unchanged;
// beyond it they arrive as other bytes, or not at all.
#pragma once

#include <sim_avr.h>

#include <string>

// The speed the firmware set its UART0 to, in baud, from UBRR0 and U2X0 (the
// board's divider, so 117,647 for a sketch's 115200), or 0 while neither its
// receiver nor its transmitter is on.
double FirmwareBaud(const avr_t* avr);

// What a receiver at `receiveBaud` reads of `bytes` sent back to back, 8N1,
// at `sendBaud`. A frame whose stop bit reads low is a framing error: the
// ATmega keeps its byte (`errorAs` < 0); a Linux serial line in raw mode reads
// it as a zero byte (`errorAs` 0).
std::string ReceivedAt(const std::string& bytes, double sendBaud, double receiveBaud,
                       int errorAs = -1);
