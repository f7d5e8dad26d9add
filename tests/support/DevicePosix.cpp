#include "Device.h"

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

SimProcess::SimProcess(const std::vector<std::string>& args, DeviceKind kind) {
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
    int pipefd[2];
    if (pipe(pipefd) != 0)
        throw std::runtime_error("pipe failed");
    pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        close(pipefd[0]);
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    EndAtExit(pid);
    close(pipefd[1]);
    out = pipefd[0];
    fcntl(out, F_SETFL, O_NONBLOCK);
    double until = NowMs() + 5000;
    while (Output().find("linked at") == std::string::npos) {
        if (NowMs() > until || Exited(0))
            throw std::runtime_error("the simulator did not start: " + printed);
        usleep(5000);
    }
}

SimProcess::~SimProcess() {
    Stop();
}

std::string SimProcess::Output() {
    char buf[4096];
    ssize_t n;
    while (out >= 0 && (n = read(out, buf, sizeof buf)) > 0)
        printed.append(buf, static_cast<size_t>(n));
    return printed;
}

bool SimProcess::Exited(int waitMs) {
    if (pid <= 0)
        return true;
    double until = NowMs() + waitMs;
    do {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ForgetAtExit(pid);
            pid = -1;
            return true;
        }
        usleep(2000);
    } while (NowMs() < until);
    return false;
}

void SimProcess::Stop() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status;
        waitpid(pid, &status, 0);
        ForgetAtExit(pid);
        pid = -1;
    }
    Output();
    if (out >= 0)
        close(out), out = -1;
    if (turn >= 0)
        close(turn), turn = -1; // and with it the board's turn
}

// Runs a tool with `args` through the shell until it ends; under Wine (the
// environment variable `wineExe` names the Windows build) that build instead.
static int RunTool(const char* native, const char* wineExe, const std::string& args,
                   std::string* out) {
    std::string cmd = std::string(native) + " " + args + " 2>&1";
    if (const char* exe = getenv(wineExe))
        cmd = std::string(getenv("RANGESCAN_WINE_RUN")) + " " + exe + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[512];
    while (p && fgets(buf, sizeof buf, p))
        *out += buf;
    int status = p ? pclose(p) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
