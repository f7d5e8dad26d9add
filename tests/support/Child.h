// A child process of the tests, one contract for every program they start:
// the simulator, the board, the program, the probe and the capture, natively
// or (through tests/wine/run.sh) the Windows builds under Wine. Here on POSIX
// (ChildPosix.cpp); the tests built for Windows start no child of their own,
// and ask the sim host for their simulator (DeviceWine.cpp).
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ChildSpec {
    std::vector<std::string> argv;                        // argv[0]: the program's path
    std::vector<std::pair<std::string, std::string>> env; // set in the child only
    std::string outFile;         // its standard output to this file; empty: a pipe
    bool withStderr = false;     // its standard error as well
    bool ownGroup = false;       // a process group of its own, signalled as a whole
    bool withoutDisplay = false; // DISPLAY unset in the child
};

class Child {
  public:
    // Starts it; ended (SIGTERM, or SIGKILL for a group) should the test
    // process exit before it has.
    explicit Child(const ChildSpec& spec);
    // Ends it if it still runs (SIGKILL) and waits for it.
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int Pid() const { return pid; }
    // What it has printed so far: the pipe's, or the file's.
    std::string Output();
    // Waits up to waitMs (-1: for ever) for it to end, reading its output
    // meanwhile. True once it has ended; *code then holds its exit code, or
    // 128 plus the signal that ended it.
    bool Wait(int waitMs, int* code = nullptr);
    // Sends it (its group, with ownGroup) `sig` without waiting.
    void Signal(int sig);
    // Sends `sig` and waits for it to end: 10 s, then SIGKILL.
    void End(int sig);

  private:
    int pid = -1, out = -1, status = 0;
    bool group = false;
    std::string printed, outFile;
};

// Runs a child to its end, for at most waitMs (then it is killed), and gives
// its exit code (as Child::Wait; -1 when killed), with what it printed in *out.
int RunToEnd(const ChildSpec& spec, std::string* out, int waitMs = 120000);
