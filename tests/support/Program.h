// Test helpers for the end-to-end tests: the built program as a child
// process (natively, or the Windows build under Wine), and the timing and the
// port they judge it by.
#pragma once

#include "Device.h"

#include <memory>
#include <string>
#include <vector>

// True when the program under test is the Windows build, run under Wine.
bool ProgramUnderWine();

// The program, run with stdout to a file; `fast` runs it under faketime x10.
class ProgramProcess {
  public:
    explicit ProgramProcess(bool fast);
    ~ProgramProcess();
    // The program's X window, waiting up to waitMs for it to appear.
    // A first Wine program in a new prefix takes a while to show anything.
    unsigned long Window(int waitMs = -1);
    // Waits until the program's window has gone; false on time-out.
    bool WindowGone(int waitMs);
    // Waits for the exit; false on time-out. `code` gets the exit code.
    bool WaitExit(int waitMs, int* code);
    std::string Output();
    double startedMs;
    int pid = -1; // -1 once it has been waited for

  private:
    std::unique_ptr<class Child> child;
};

// Waits until the simulator has logged `count` commands.
bool WaitForCommands(DeviceProcess& sim, size_t count, int waitMs);
// How soon the program's window must go once asked to close.
double AnswerBoundMs();
// GetTickCount's step: on Windows (and allowed for under Wine) it steps about
// every 16 ms, where "more than 250 ms" by the count can be 235 ms of real
// time; the POSIX stand-in's count is whole milliseconds. It is lost once a
// span, at its ends, however many ticks the span holds.
double TickStepMs();
// Commands' stamps (the device's reads of them, in order) against the pacing
// the program promises: its ticks begin more than TICK_PERIOD_MS apart by its
// count, so the commands of ticks i < j were written at least
// (j - i) x (TICK_PERIOD_MS + 1) - TickStepMs() ms apart. A stamp is never
// before its write, and at most OBSERVER_DELAY_MS after its tick began.
struct Pacing {
    double shortMs = 0;      // the most any span falls short of its floor (0 at best)
    size_t from = 0, to = 0; // the span's first and last command, counted from 0
    double meanMs = 0;       // the mean period from the first command to the last
};
Pacing PacingOf(const std::vector<double>& stamps);
// Appends one figure ("KIND NAME key=value ...") to figures.txt in the build
// folder (or the file RANGESCAN_FIGURES names); the test command prints them.
void Figure(const std::string& line);
// True when COM6 can be opened, as once the program has let it go.
bool PortIsFree();
// The simulator's --line for a program started with ProgramProcess(fast). The
// program ends a reply after QUIET_GAP_MS (22 ms) of quiet by its own clock: sped up ten
// times that is 2.2 ms of real time, less than a busy machine may hold the
// simulator between two bytes of a reply. A sped-up program therefore gets
// each reply in one piece; in real time (under Wine, and every test not sped
// up) the bytes come at the UART's pace, the simulator's default.
std::vector<std::string> SimLineArgsFor(bool fast);
