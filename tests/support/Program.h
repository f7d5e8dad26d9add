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
// Commands are paced by the program's clock at the start of each tick, and
// stamped when the device reads them: between the two lie the program's way
// to its write and the device's to its read, a few milliseconds on a loaded
// machine. End-to-end pacing is checked to within this; TickDue's own tests
// hold the exact bound.
const double STAMP_JITTER_MS = 5;
// What end-to-end pacing allows for GetTickCount's step: on Windows and Wine
// it steps about every 16 ms, where "more than 250 ms" by the tick count can be
// 235 ms of real time; the POSIX stand-in's count moves every millisecond, of
// which half is allowed here (STAMP_JITTER_MS covers the rest).
double TickStepMs();
// True when COM6 can be opened, as once the program has let it go.
bool PortIsFree();
// The simulator's --line for a program started with ProgramProcess(fast). The
// program ends a reply after QUIET_GAP_MS (22 ms) of quiet by its own clock: sped up ten
// times that is 2.2 ms of real time, less than a busy machine may hold the
// simulator between two bytes of a reply. A sped-up program therefore gets
// each reply in one piece; in real time (under Wine, and every test not sped
// up) the bytes come at the UART's pace, the simulator's default.
std::vector<std::string> SimLineArgsFor(bool fast);
