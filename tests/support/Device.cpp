#include "Device.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#ifndef RANGESCAN_SIM
#error "RANGESCAN_SIM must name the simulator binary"
#endif

double NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static std::string portsFolder, tempRoot;

static void RemoveTempRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(tempRoot, ignored);
}

std::string UsePrivatePortsFolder() {
    if (portsFolder.empty()) {
        char tmpl[] = "/tmp/rangescan-test-XXXXXX";
        if (!mkdtemp(tmpl))
            throw std::runtime_error("mkdtemp failed");
        setenv("XDG_CONFIG_HOME", tmpl, 1);
        tempRoot = tmpl;
        atexit(RemoveTempRoot);
        portsFolder = std::string(tmpl) + "/rangescan/ports";
        mkdir((std::string(tmpl) + "/rangescan").c_str(), 0755);
        mkdir(portsFolder.c_str(), 0755);
    }
    return portsFolder;
}

SimProcess::SimProcess(const std::vector<std::string>& args, const std::string& log) {
    UsePrivatePortsFolder();
    logPath = log.empty() ? tempRoot + "/sim.log" : log;
    std::vector<std::string> all = {RANGESCAN_SIM, "--log", logPath};
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
        pid = -1;
    }
    Output();
    if (out >= 0)
        close(out), out = -1;
}

std::vector<SimProcess::Command> SimProcess::Commands() {
    std::vector<Command> cmds;
    FILE* f = fopen(logPath.c_str(), "r");
    if (!f)
        return cmds;
    char line[512];
    while (fgets(line, sizeof line, f)) {
        std::istringstream in(line);
        Command c;
        std::string kind;
        in >> c.ms >> kind;
        if (kind != "cmd")
            continue;
        in >> c.h >> c.v >> c.reply;
        cmds.push_back(c);
    }
    fclose(f);
    return cmds;
}

BarePort::BarePort() {
    std::string folder = UsePrivatePortsFolder();
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath = ptsname(master);
    fcntl(master, F_SETFL, O_NONBLOCK);
    linkPath = folder + "/com6";
    unlink(linkPath.c_str());
    if (symlink(slavePath.c_str(), linkPath.c_str()) != 0)
        throw std::runtime_error("cannot link com6");
}

BarePort::~BarePort() {
    HangUp();
    unlink(linkPath.c_str());
}

void BarePort::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else
            usleep(1000);
    }
    usleep(20000); // a write on the master shows up on the other side shortly after
}

std::string BarePort::Receive(size_t count, int waitMs) {
    std::string got;
    double until = NowMs() + waitMs;
    while (got.size() < count && NowMs() < until) {
        pollfd pfd = {master, POLLIN, 0};
        poll(&pfd, 1, 10);
        char buf[256];
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

void BarePort::HangUp() {
    if (master >= 0)
        close(master), master = -1;
}
