#include "Device.h"

#include "Child.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef RANGESCAN_SIM
#error "RANGESCAN_SIM must name the simulator binary"
#endif

static std::string portsFolder, tempRoot;
static std::set<int> liveChildren; // pids; negative: process groups

void EndAtExit(int who) {
    liveChildren.insert(who);
}

void ForgetAtExit(int who) {
    liveChildren.erase(who);
}

static void CleanUpAtExit() {
    // A test process that ends through exit(), past its destructors (Xlib's
    // default error handlers end it so), must not leave its children running:
    // they hold its output open, and ctest would wait for them until its timeout.
    for (int who : liveChildren)
        kill(who, who < 0 ? SIGKILL : SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(tempRoot, ignored);
}

bool UnderWine() {
    return false;
}

std::string UsePrivatePortsFolder() {
    if (portsFolder.empty()) {
        char tmpl[] = "/tmp/rangescan-test-XXXXXX";
        if (!mkdtemp(tmpl))
            throw std::runtime_error("mkdtemp failed");
        setenv("XDG_CONFIG_HOME", tmpl, 1);
        tempRoot = tmpl;
        atexit(CleanUpAtExit);
        portsFolder = std::string(tmpl) + "/rangescan/ports";
        std::filesystem::create_directories(portsFolder);
    }
    return portsFolder;
}

DeviceProcess::DeviceProcess(const std::vector<std::string>& args, DeviceKind kind) {
    UsePrivatePortsFolder();
    logPath = tempRoot + "/sim.log";
    std::vector<std::string> all = {RANGESCAN_SIM, "--log", logPath};
    if (kind == EMULATED_BOARD) {
        if (!*RANGESCAN_BOARD)
            throw std::runtime_error("no board emulator: simavr was not found at build time");
        if (access(RANGESCAN_FIRMWARE, R_OK) != 0)
            throw std::runtime_error(
                std::string("no firmware at ") + RANGESCAN_FIRMWARE +
                ": cmake --preset firmware && cmake --build --preset firmware");
        all = {RANGESCAN_BOARD, "--firmware", RANGESCAN_FIRMWARE, "--log", logPath};
        // The emulator keeps the board's pace in real time and needs its share
        // of the machine: test runs that go on at once (the asan suite beside
        // the Windows build's) take turns with it.
        turn = open("/tmp/rangescan-board.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (turn >= 0)
            flock(turn, LOCK_EX);
    }
    // The program under test may look for its port elsewhere (Wine's dosdevices).
    if (const char* link = getenv("RANGESCAN_COM6_LINK"))
        all.insert(all.end(), {"--link", link, "--force"});
    all.insert(all.end(), args.begin(), args.end());
    ChildSpec spec;
    spec.argv = all;
    child = new Child(spec);
    double until = NowMs() + 5000;
    while (Output().find("linked at") == std::string::npos) {
        if (NowMs() > until || Exited(0)) {
            std::string said = Output();
            Stop();
            throw std::runtime_error("the simulator did not start: " + said);
        }
        usleep(5000);
    }
}

DeviceProcess::~DeviceProcess() {
    Stop();
}

std::string DeviceProcess::Output() {
    return child ? child->Output() : "";
}

bool DeviceProcess::Exited(int waitMs) {
    return !child || child->Wait(waitMs);
}

int DeviceProcess::Pid() const {
    return child ? child->Pid() : -1;
}

void DeviceProcess::Stop() {
    if (child)
        child->End(SIGTERM);
    delete child;
    child = nullptr;
    if (turn >= 0)
        close(turn), turn = -1; // and with it the board's turn
}

// Runs a tool with `args` through the shell until it ends; under Wine (the
// environment variable `wineExe` names the Windows build) that build instead.
static int RunTool(const char* native, const char* wineExe, const std::string& args,
                   std::string* out) {
    std::string cmd = std::string(native) + " " + args;
    if (const char* exe = getenv(wineExe))
        cmd = std::string(getenv("RANGESCAN_WINE_RUN")) + " " + exe + " " + args;
    ChildSpec spec;
    spec.argv = {"/bin/sh", "-c", cmd};
    spec.withStderr = true;
    return RunToEnd(spec, out);
}

int RunProbe(const std::string& args, std::string* out) {
    return RunTool(RANGESCAN_PROBE, "RANGESCAN_WINE_PROBE", args + " COM6", out);
}

int RunCapture(const std::string& args, std::string* out) {
    return RunTool(RANGESCAN_CAPTURE, "RANGESCAN_WINE_CAPTURE", args, out);
}

std::string TestFolder() {
    UsePrivatePortsFolder();
    return tempRoot;
}
