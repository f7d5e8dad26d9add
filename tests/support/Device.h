// Test peers: the device on COM6, the simulated scanner or the firmware on the
// emulated board, run natively beside the tests (on POSIX as a child process,
// Child.h; under Wine through the sim host of tests/wine); the probe and the
// capture run to their end; the tests' private ports folder.
#pragma once

#include "tools/device/Clock.h"

#include <map>
#include <string>
#include <vector>

// What may lie between a moment a program's clock fixes (a tick's start,
// the end of its drain) and an observer's stamp of what followed it: the
// program's way from its clock to its write, and the device's from the write
// to its read (the simulator's poll, the emulated board's slice), each of
// which a busy 2-core machine (Wine's server, Xvfb, the device, the tests, a
// compile) can hold back by tens of milliseconds. It bounds one stamp and never
// adds up: pacing checked over spans of ticks still fails a program that
// paces too fast by a few milliseconds a tick. It bounds as well what a busy
// machine adds to a test's own timing of a call that waits for nothing.
const double OBSERVER_DELAY_MS = 150;

// A private ports folder for this test process: XDG_CONFIG_HOME points at a
// fresh temporary folder, so that "COMn" never resolves to a real mapping.
// Under Wine the tests' own prefix plays that part and this does nothing.
std::string UsePrivatePortsFolder();

// Child processes (negative: process groups) to end should the test process
// exit while they still run. POSIX only.
void EndAtExit(int who);
void ForgetAtExit(int who);

// The devices a test can put on COM6: the simulated scanner, or the scanner's
// firmware on the emulated board (rangescan-board; POSIX only).
enum DeviceKind { SIMULATED_SCANNER, EMULATED_BOARD };

// A device on COM6, started with `args`; both log commands alike.
class DeviceProcess {
  public:
    explicit DeviceProcess(const std::vector<std::string>& args,
                           DeviceKind kind = SIMULATED_SCANNER);
    ~DeviceProcess();
    void Stop();             // ends it and waits
    bool Exited(int waitMs); // true once it has ended by itself
    std::string Output();    // what it printed so far
    int Pid() const;
    // Its log's "cmd" lines, in order.
    struct Command {
        double ms;
        int h, v;
        std::string reply;
        std::string note; // what the fault did with it ("slow", "split"), if any
    };
    std::vector<Command> Commands();
    // When the last byte of each command's reply was written to the port, by
    // the command's number (1 for the first; 0 for bytes sent unasked), as the
    // simulator logged its writes. Replies not yet all written are missing.
    std::map<long, double> LastBytesWritten();
    // When the device saw that the host had set the scanner's line speed, on
    // the log's clock, or -1: as late as a busy machine held its look.
    double LineConfiguredMs();
    // The device's last look before that one, which found the line not yet
    // set: the host set it after this moment, however late the device looked.
    // -1e300 when it was never set.
    double LineConfiguredAfterMs();
    std::string logPath;

  private:
    class Child* child = nullptr; // POSIX: the simulator or board (Child.h)
    int pid = -1, turn = -1;      // under Wine: 1 while the sim host runs it
    std::string dir;
};

// Runs the test host (rangescan-probe) on COM6 with `args` until it ends:
// its exit code, with what it printed in `out`. Under Wine (RANGESCAN_WINE_PROBE
// names the Windows build) it runs the Windows build in the tests' prefix.
// POSIX only.
int RunProbe(const std::string& args, std::string* out);

// Runs rangescan-capture with `args` (its port and OUT among them) the same
// way; under Wine, RANGESCAN_WINE_CAPTURE names the Windows build.
int RunCapture(const std::string& args, std::string* out);
// The test process's own temporary folder (the private ports folder's
// parent), removed when it ends. POSIX only.
std::string TestFolder();

// True when the tests run as Windows programs under Wine.
bool UnderWine();
