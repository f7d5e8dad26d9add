// What the device tools (the simulated scanner, the board emulator) share: the
// pseudo-terminal they stand behind, its link as a COM port, the line settings
// the host gave it, their log, and how they fail.
#pragma once

#include <cstdio>
#include <string>
#include <termios.h>

// The tool's name, for its messages ("rangescan-sim").
void SetToolName(const char* name);
[[noreturn]] void Fail(const std::string& what);
// Prints the tool's name and rangescan's version, and exits 0.
[[noreturn]] void PrintVersion();
// A whole non-negative number given for option `opt`, or Fail.
long Number(const char* s, const char* opt);

// Where COMn is linked: the link given, or comN in the ports folder
// ($XDG_CONFIG_HOME/rangescan/ports, ~/.config/rangescan/ports).
std::string PortLinkPath(const std::string& port, const std::string& link);
// Links `target` at `link`, replacing a stale link; a link to a live device is
// replaced only with `force`.
void PlaceLink(const std::string& link, const std::string& target, bool force);
// Removes `link` if it still points at `target`.
void RemoveLink(const std::string& link, const std::string& target);

struct DevicePty {
    int master = -1; // the device's side, non-blocking
    int slave = -1;  // a copy of the host's side, held by the device
    std::string slavePath;
};
// A pseudo-terminal in raw mode at 9600 baud (so that a host configuring the
// line shows as a change), whose host side is this process's controlling
// terminal: no other process that opens it (Wine's server, for one) can take
// it as its own, and be hung up when the device side closes.
DevicePty OpenDevicePty();

// The line's baud rate, data bits and bits a character (start, data, parity,
// stop) as the host set them; and the same as text, "115200 8N1".
void LineSettings(const termios& t, long* baud, int* bits, int* frame);
std::string LineName(const termios& t);

// Milliseconds on CLOCK_MONOTONIC.
double NowMs();

// From now on SIGINT, SIGTERM and SIGHUP ask the tool to stop (StopRequested),
// so that it can remove its link first; SIGPIPE is ignored.
void CatchStopSignals();
bool StopRequested();

// The tool's log: one line an event, its time in ms from the log's start
// first; the first line gives that start on CLOCK_MONOTONIC ("0.000 clock MS").
struct DeviceLog {
    FILE* file = nullptr;
    double start = 0;
};
void OpenLog(DeviceLog& log, const std::string& path, double start);
void Log(DeviceLog& log, double ms, const char* format, ...) __attribute__((format(printf, 3, 4)));
void CloseLog(DeviceLog& log);
