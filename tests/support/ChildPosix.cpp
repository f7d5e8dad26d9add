#include "Child.h"

#include "Device.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

// In the child, between fork and exec: its output, environment and group.
[[noreturn]] static void Become(const ChildSpec& s, int pipeOut) {
    if (s.ownGroup)
        setpgid(0, 0);
    int fd =
        s.outFile.empty() ? pipeOut : open(s.outFile.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    dup2(fd, 1);
    if (s.withStderr)
        dup2(fd, 2);
    for (const auto& e : s.env)
        setenv(e.first.c_str(), e.second.c_str(), 1);
    if (s.withoutDisplay)
        unsetenv("DISPLAY");
    std::vector<char*> argv;
    for (const std::string& a : s.argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

Child::Child(const ChildSpec& s) : group(s.ownGroup), outFile(s.outFile) {
    int fds[2] = {-1, -1};
    if (outFile.empty() && pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (fds[0] >= 0)
            close(fds[0]);
        Become(s, fds[1]);
    }
    if (group)
        setpgid(pid, pid); // whichever of the two runs first
    EndAtExit(group ? -pid : pid);
    if (fds[1] >= 0)
        close(fds[1]);
    out = fds[0];
    if (out >= 0)
        fcntl(out, F_SETFL, O_NONBLOCK);
}

Child::~Child() {
    if (pid > 0)
        End(SIGKILL);
    if (out >= 0)
        close(out);
}

std::string Child::Output() {
    if (!outFile.empty()) {
        std::ifstream in(outFile);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    char buf[4096];
    ssize_t n;
    while (out >= 0 && (n = read(out, buf, sizeof buf)) > 0)
        printed.append(buf, static_cast<size_t>(n));
    return printed;
}

bool Child::Wait(int waitMs, int* code) {
    double until = NowMs() + waitMs;
    while (pid > 0) {
        Output();
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ForgetAtExit(group ? -pid : pid);
            pid = -1;
            break;
        }
        if (waitMs >= 0 && NowMs() > until)
            return false;
        usleep(2000);
    }
    Output();
    if (code)
        *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

void Child::Signal(int sig) {
    if (pid > 0)
        kill(group ? -pid : pid, sig);
}

void Child::End(int sig) {
    Signal(sig);
    if (!Wait(10000) && sig != SIGKILL)
        End(SIGKILL);
}

int RunToEnd(const ChildSpec& spec, std::string* out, int waitMs) {
    Child c(spec);
    int code = -1;
    if (!c.Wait(waitMs, &code))
        c.End(SIGKILL);
    *out += c.Output();
    return code;
}
