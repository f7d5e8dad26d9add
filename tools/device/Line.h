// How a device's bytes reach the computer: the serial line between them, and
// the USB adapter on the computer's side, if any. The device hands the line
// its bytes; the line says when the computer's driver gets which of them.
#pragma once

#include "firmware/scanner/config.h"

#include <deque>
#include <string>

enum LineModel {
    LINE_WHOLE, // every write of the device reaches the computer at once, in one piece
    LINE_UART,  // a byte at a time, at the pace of the line settings
    LINE_FTDI,  // gathered in 62-byte packets, sent when full or every 16 ms
    LINE_CDC,   // gathered, sent at every 1 ms USB frame
    LINE_COUNT
};

// Takes --line MODEL ("whole", "uart", "ftdi" or "cdc") at argv[*i], moving
// *i past its value; fails on an unknown model. False for any other option.
bool TakeLineOption(LineModel* model, int argc, char** argv, int* i);

struct Line {
    LineModel model = LINE_UART;
    double byteMs = 10000.0 / SCANNER_BAUD;   // a byte's time on the wire: 10 bits at 115200 baud
    double wireFree = 0;                      // when the device's UART has sent all it was given
    std::deque<std::pair<double, char>> wire; // bytes by the time their last bit is in
    std::string packet;                       // an adapter's bytes not yet sent on
    double flushAt = 0;                       // an adapter's next latency-timer expiry
};

// Sets the pace from the line's settings: baud rate and bits a character
// (start, data, parity and stop bits).
void SetLinePace(Line& line, long baud, int bitsPerByte);

// The device starts sending `bytes` at `ms` (or once its UART is free).
void LineSend(Line& line, double ms, const std::string& bytes);
// A byte that a device's own UART finished sending at `ms`: it is in the
// adapter from then on (a device that paces its bytes itself).
void LineByte(Line& line, double ms, char byte);

// The bytes the computer's driver gets at `ms`: all that reached it since the
// last call, in order. Empty when nothing is due.
std::string LineTake(Line& line, double ms);
// The next moment something may be due; a large number when nothing is on the line.
double LineNextDue(const Line& line);
// True while bytes are on the line or in the adapter.
bool LineBusy(const Line& line);
