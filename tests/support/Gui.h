// Test helpers for the window side: a GL window made through the Win32 calls,
// the built program as a child process, and the X server it shows on.
#pragma once

#include "Device.h"

#include <windows.h>

#include <string>
#include <vector>

// A window of the given class procedure with a current GL context, made with
// the same calls the program makes.
struct GlWindow {
    HWND hWnd = nullptr;
    HDC hDC = nullptr;
    HGLRC hRC = nullptr;
    GlWindow(const std::string& title, WNDPROC proc);
    ~GlWindow();
};

struct Rgb {
    int r, g, b;
};

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
    int pid = -1;

  private:
    std::string outPath;
};

// What an X window shows, top row first.
std::vector<Rgb> CaptureWindow(unsigned long window, int* width, int* height);
// The class an X window gives (WM_CLASS), by which desktops tie it to its entry.
std::string WindowClassName(unsigned long window);
// The X window of a process, or of a title.
unsigned long FindWindowByPid(int pid);
unsigned long FindWindowByName(const char* name);
// True when the program under test is the Windows build, run under Wine.
bool ProgramUnderWine();
// Sends keys as xdotool names them ("Escape", "alt+F4") to the window.
void SendKeys(unsigned long window, const char* keys);
// A close request, as a window manager sends it: WM_PROTOCOLS/WM_DELETE_WINDOW.
void SendCloseRequest(unsigned long window);

// Waits until the simulator has logged `count` commands.
bool WaitForCommands(SimProcess& sim, size_t count, int waitMs);
// How soon the program's window must go once asked to close.
double AnswerBoundMs();
// Commands are paced by the program's clock at the start of each tick, and
// stamped when the device reads them: between the two lie the program's way
// to its write and the device's to its read, a few milliseconds on a loaded
// machine. End-to-end pacing is checked to within this; TickDue's own tests
// hold the exact bound.
const double STAMP_JITTER_MS = 5;
// GetTickCount's step: 1 ms on the POSIX stand-in, about 16 ms on Windows
// and Wine, where "more than 250 ms" by the tick count can be 235 ms of real time.
double TickStepMs();
// True when COM6 can be opened, as once the program has let it go.
bool PortIsFree();
// The simulator's line for a program started with ProgramProcess(fast). The
// program ends a reply after 22 ms of quiet by its own clock: sped up ten
// times that is 2.2 ms of real time, less than a busy machine may hold the
// simulator between two bytes of a reply. A sped-up program therefore gets
// each reply in one piece; in real time (under Wine, and every test not sped
// up) the bytes come at the UART's pace, the simulator's default.
std::vector<std::string> LineFor(bool fast);
