#include "Ports.h"

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

static const char* toolName = "rangescan";

void SetToolName(const char* name) {
    toolName = name;
}

void Fail(const std::string& what) {
    fprintf(stderr, "%s: %s\n", toolName, what.c_str());
    exit(2);
}

void PrintVersion() {
    printf("%s %s\n", toolName, RANGESCAN_VERSION);
    exit(0);
}

long Number(const char* s, const char* opt) {
    char* end;
    errno = 0;
    long v = strtol(s, &end, 10);
    if (errno || *end || v < 0 || end == s)
        Fail(std::string("bad number for ") + opt + ": " + s);
    return v;
}

std::string PortLinkPath(const std::string& port, const std::string& link) {
    if (!link.empty())
        return link;
    const char* p = port.c_str();
    if (strncasecmp(p, "COM", 3) != 0 || Number(p + 3, "--port") < 1)
        Fail("--port takes a name COM1..COM255");
    const char* xdg = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    std::string base =
        (xdg && *xdg) ? std::string(xdg) : std::string(home ? home : ".") + "/.config";
    return base + "/rangescan/ports/com" + std::to_string(Number(p + 3, "--port"));
}

static void MakeFolders(const std::string& path) {
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

void PlaceLink(const std::string& link, const std::string& target, bool force) {
    MakeFolders(link);
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
        bool live = stat(link.c_str(), &st) == 0;
        if (live && !force)
            Fail(link + " already points at a device; use --force to replace it");
        if (unlink(link.c_str()) != 0)
            Fail("cannot replace " + link + ": " + strerror(errno));
    }
    if (symlink(target.c_str(), link.c_str()) != 0)
        Fail("cannot link " + link + ": " + strerror(errno));
}

void RemoveLink(const std::string& link, const std::string& target) {
    char buf[PATH_MAX];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        if (target == buf)
            unlink(link.c_str());
    }
}

DevicePty OpenDevicePty() {
    DevicePty p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0)
        Fail(std::string("cannot open a pseudo-terminal: ") + strerror(errno));
    p.slavePath = ptsname(p.master);
    setsid();
    p.slave = open(p.slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (p.slave < 0)
        Fail("cannot open " + p.slavePath + ": " + strerror(errno));
    ioctl(p.slave, TIOCSCTTY, 0);
    termios t;
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(p.slave, TCSANOW, &t);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return p;
}

void LineSettings(const termios& t, long* baud, int* bits, int* frame) {
    speed_t sp = cfgetospeed(&t);
    const struct {
        speed_t s;
        long baud;
    } rates[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
                 {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
                 {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    *baud = 0;
    for (auto& r : rates)
        if (r.s == sp)
            *baud = r.baud;
    *bits = 5 + static_cast<int>((t.c_cflag & CSIZE) == CS6) +
            2 * static_cast<int>((t.c_cflag & CSIZE) == CS7) +
            3 * static_cast<int>((t.c_cflag & CSIZE) == CS8);
    *frame = 1 + *bits + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
}

std::string LineName(const termios& t) {
    long baud;
    int bits, frame;
    LineSettings(t, &baud, &bits, &frame);
    char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    return std::to_string(baud) + " " + std::to_string(bits) + parity +
           ((t.c_cflag & CSTOPB) ? "2" : "1");
}

double NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static volatile sig_atomic_t stopRequested = 0;

static void OnStopSignal(int) {
    stopRequested = 1;
}

void CatchStopSignals() {
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() {
    return stopRequested != 0;
}

void OpenLog(DeviceLog& log, const std::string& path, double start) {
    log.start = start;
    if (path.empty())
        return;
    if (!(log.file = fopen(path.c_str(), "w")))
        Fail("cannot write " + path);
    Log(log, start, "clock %.3f", start);
}

void Log(DeviceLog& log, double ms, const char* format, ...) {
    if (!log.file)
        return;
    fprintf(log.file, "%.3f ", ms - log.start);
    va_list args;
    va_start(args, format);
    vfprintf(log.file, format, args);
    va_end(args);
    fputc('\n', log.file);
    fflush(log.file);
}

void CloseLog(DeviceLog& log) {
    if (log.file)
        fclose(log.file);
    log.file = nullptr;
}
