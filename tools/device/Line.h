// How a device's bytes reach the computer: the serial line between them, and
// the USB adapter on the computer's side, if any. The device hands the line
// its bytes; the line says when the computer's driver gets which of them.
#pragma once

#include "firmware/scanner/config.h"

#include "tools/device/Options.h"

#include <deque>
#include <string>

// The line models, a row each, as --line names them. A model is its row's
// index; these name the rows the tools refer to.
enum LineModel { LINE_UART, LINE_FTDI, LINE_CDC, LINE_WHOLE };

struct LineModelRow {
    const char* name;   // as --line takes it
    const char* help;   // as --help lists it
    bool paced;         // bytes go at the line's pace; false: each write arrives at once
    double periodMs;    // an adapter's latency timer or USB frame; 0: no adapter
    size_t packetBytes; // bytes that fill an adapter's packet and send it at once
};
extern const LineModelRow LINE_MODELS[];
extern const int LINE_COUNT;

// The model --line names `name`, or -1 for none.
int LineModelNamed(const std::string& name);
// The --line option's row for a tool's table, setting *model. An unknown model fails.
OptionRow LineOptionRow(LineModel* model, const std::string& help);
// The models' names and help, a line each, for a row's help.
std::string LineModelsHelp();

struct Line {
    LineModel model = LINE_UART;
    double byteMs = 10000.0 / SCANNER_BAUD;   // a byte's time on the wire: 10 bits at SCANNER_BAUD
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
