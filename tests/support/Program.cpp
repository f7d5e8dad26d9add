#include "Program.h"

#include "Gui.h"
#include "Child.h"

#include "scan/Acquire.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#ifndef FAKETIME_LIBRARY
#define FAKETIME_LIBRARY "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
#endif
#ifndef RANGESCAN_PROGRAM
#error "RANGESCAN_PROGRAM must name the program binary"
#endif

bool ProgramUnderWine() {
    return getenv("RANGESCAN_WINE_PROGRAM") != nullptr;
}

ProgramProcess::ProgramProcess(bool fast) {
    ChildSpec spec;
    spec.outFile = UsePrivatePortsFolder() + "/program.out." + std::to_string(NowMs());
    spec.ownGroup = true; // Wine's processes go with it
    if (ProgramUnderWine()) {
        // faketime does not reach into Wine: the Windows program runs in real time.
        spec.argv = {getenv("RANGESCAN_WINE_RUN"), getenv("RANGESCAN_WINE_PROGRAM")};
    } else {
        // The built program, or another build of it (an installed package's).
        const char* program = getenv("RANGESCAN_PROGRAM");
        spec.argv = {program ? program : RANGESCAN_PROGRAM};
    }
    if (fast && !ProgramUnderWine()) {
        // libfaketime preloaded straight into the program, which keeps its pid.
        const char* asan = getenv("ASAN_OPTIONS");
        spec.env = {{"LD_PRELOAD", FAKETIME_LIBRARY},
                    {"FAKETIME", "+0 x10"},
                    {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
    }
    startedMs = NowMs();
    child.reset(new Child(spec));
    pid = child->Pid();
}

ProgramProcess::~ProgramProcess() = default;

bool ProgramProcess::WaitExit(int waitMs, int* code) {
    if (!child->Wait(waitMs, code))
        return false;
    pid = -1;
    return true;
}

std::string ProgramProcess::Output() {
    return child->Output();
}

unsigned long ProgramProcess::Window(int waitMs) {
    if (waitMs < 0)
        waitMs = ProgramUnderWine() ? 90000 : 5000;
    double until = NowMs() + waitMs;
    do {
        // A Wine process's window carries the pid of Wine's own process.
        unsigned long w =
            ProgramUnderWine() ? FindWindowByName("OpenGL Sample") : FindWindowByPid(pid);
        if (w)
            return w;
        usleep(20000);
    } while (NowMs() < until);
    return 0;
}

bool ProgramProcess::WindowGone(int waitMs) {
    double until = NowMs() + waitMs;
    while (Window(0) != 0) {
        if (NowMs() > until)
            return false;
        usleep(5000);
    }
    return true;
}

bool WaitForCommands(DeviceProcess& sim, size_t count, int waitMs) {
    double until = NowMs() + waitMs;
    while (sim.Commands().size() < count) {
        if (NowMs() > until)
            return false;
        usleep(20000);
    }
    return true;
}

// Well under the 2000 ms a port open waits. Without a window manager Wine's
// DestroyWindow waits 2 s for the X window to be withdrawn
// ("wait_for_withdrawn_state ... timed out").
double AnswerBoundMs() {
    return ProgramUnderWine() ? 1500.0 + 2100.0 : 1500.0;
}

double TickStepMs() {
    return ProgramUnderWine() ? 16.0 : 1.0;
}

Pacing PacingOf(const std::vector<double>& stamps) {
    Pacing p;
    // A span's shortfall, floor(j - i) - (s[j] - s[i]), is v[j] - v[i] with
    // v[k] = k x floor - s[k]: the largest is the largest rise of v.
    const double floor = TICK_PERIOD_MS + 1.0;
    size_t lowest = 0;
    for (size_t k = 1; k < stamps.size(); k++) {
        double v = k * floor - stamps[k], low = lowest * floor - stamps[lowest];
        if (v - low > p.shortMs) {
            p.shortMs = v - low;
            p.from = lowest;
            p.to = k;
        }
        if (v < low)
            lowest = k;
    }
    if (stamps.size() > 1)
        p.meanMs = (stamps.back() - stamps.front()) / (stamps.size() - 1);
    return p;
}

void Figure(const std::string& line) {
    const char* path = getenv("RANGESCAN_FIGURES");
    if (!path)
        path = RANGESCAN_FIGURES;
    if (FILE* f = fopen(path, "a")) {
        fprintf(f, "%s %s\n", ProgramUnderWine() ? "wine" : "program", line.c_str());
        fclose(f);
    }
}

std::vector<std::string> SimLineArgsFor(bool fast) {
    if (fast && !ProgramUnderWine())
        return {"--line", "whole"};
    return {};
}

bool PortIsFree() {
    const char* wineLink = getenv("RANGESCAN_COM6_LINK");
    HANDLE h = CreateFileA(wineLink ? wineLink : "COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}
