// Test peers on real pseudo-terminals: the simulated scanner as a child process,
// and a bare pseudo-terminal the test drives byte by byte.
#pragma once

#include <string>
#include <vector>

// A private ports folder for this test process: XDG_CONFIG_HOME points at a
// fresh temporary folder, so that "COMn" never resolves to a real mapping.
std::string UsePrivatePortsFolder();

// rangescan-sim, started with `args` on COM6 of the private ports folder.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args, const std::string& logPath = "");
    ~SimProcess();
    void Stop();             // SIGTERM, then wait
    bool Exited(int waitMs); // true once the process has ended
    std::string Output();    // what it printed so far
    // Log lines "cmd H V REPLY..." parsed, in order.
    struct Command {
        double ms;
        int h, v;
        std::string reply;
    };
    std::vector<Command> Commands();
    std::string logPath;

  private:
    int pid = -1, out = -1;
    std::string printed;
};

// A pseudo-terminal linked as COM6 that the test reads and writes directly.
class BarePort {
  public:
    BarePort();
    ~BarePort();
    void Send(const std::string& bytes);
    // Reads what the host wrote, waiting up to waitMs for `count` bytes.
    std::string Receive(size_t count, int waitMs);
    void HangUp();
    int master = -1;
    std::string slavePath, linkPath;
};

double NowMs();
