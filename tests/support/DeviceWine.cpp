// The simulator for tests that run under Wine: a Windows program cannot start
// the native simulator, so it asks the sim host (tests/wine/sim-host.sh)
// through files in the folder RANGESCAN_SIM_DIR names.
#include "Device.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

static std::string HostDir() {
    const char* d = getenv("RANGESCAN_SIM_DIR");
    if (!d)
        throw std::runtime_error("RANGESCAN_SIM_DIR is not set: run through tests/wine/run.sh");
    return d;
}

static bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static bool WaitFor(const std::string& path, int waitMs) {
    double until = NowMs() + waitMs;
    while (!Exists(path)) {
        if (NowMs() > until)
            return false;
        Sleep(5);
    }
    return true;
}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::string UsePrivatePortsFolder() {
    return "";
}

DeviceProcess::DeviceProcess(const std::vector<std::string>& args, DeviceKind kind) {
    if (kind != SIMULATED_SCANNER)
        throw std::runtime_error("the tests under Wine have the simulated scanner only");
    dir = HostDir();
    logPath = dir + "/sim.log";
    DeleteFileA((dir + "/ready").c_str());
    {
        std::ofstream req(dir + "/request.tmp", std::ios::binary);
        for (const std::string& a : args)
            req << a << '\0'; // an argument may hold any byte but NUL
    }
    MoveFileA((dir + "/request.tmp").c_str(), (dir + "/request").c_str());
    if (!WaitFor(dir + "/ready", 5000) || Output().find("linked at") == std::string::npos)
        throw std::runtime_error("the simulator did not start: " + Output());
    pid = 1;
}

DeviceProcess::~DeviceProcess() {
    Stop();
}

std::string DeviceProcess::Output() {
    std::ifstream in(dir + "/sim.out");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int DeviceProcess::Pid() const {
    return pid;
}

bool DeviceProcess::Exited(int waitMs) {
    return WaitFor(dir + "/exited", waitMs);
}

void DeviceProcess::Stop() {
    if (pid > 0) {
        std::ofstream(dir + "/stop").close();
        WaitFor(dir + "/stopped", 5000);
        pid = -1;
    }
}
