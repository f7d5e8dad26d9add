// rangescan-probe: checks a scanner on its serial port, a real board or the
// emulated one: nothing sent unasked after the start-up wait, a reply of
// digits within the ranger's span to every command (never "0": no echo is the
// far reply), the same reply to the same command, step kept after a lost byte,
// out-of-range commands answered. Prints what it sent and got; exits 0 when
// every check passed, 1 otherwise.
#include "Clock.h"
#include "PortLink.h"
#include "PortSettings.h"
#include "Tool.h"
#include "firmware/scanner/config.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <strings.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char* USAGE =
    "Usage: rangescan-probe [options] PORT\n"
    "  PORT            a serial device (/dev/ttyUSB0, /dev/ttyACM0) or COMn in the ports folder\n"
    "  --wait-ms MS    wait after opening, while the board resets and starts (default 2000)\n"
    "  --expect-cm CM  every reply must be CM away, within 2 % (0: nothing in reach, so\n"
    "                  every reply is the ranger's time-out, 25000)\n"
    "  --version       the version\n";

const double QUIET_MS = 50;   // a reply has ended after this quiet
const double BOUND_MS = 1000; // the longest a reply may take
const double LOST_BYTE_WAIT_MS = LONE_BYTE_MS + 50;

int failures = 0;

void Check(bool ok, const std::string& what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    fflush(stdout);
    failures += ok ? 0 : 1;
}

// What arrives until the line has been quiet for QUIET_MS, within `boundMs`.
std::string Collect(int fd, double boundMs) {
    std::string got;
    double start = NowMs(), last = start;
    for (;;) {
        double now = NowMs();
        if (now - start >= boundMs || (!got.empty() && now - last >= QUIET_MS))
            return got;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 5) > 0) {
            char buf[256];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, static_cast<size_t>(n));
                last = NowMs();
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return got;
            }
        }
    }
}

bool Digits(const std::string& s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

double Cm(const std::string& reply) {
    return atof(reply.c_str()) / 2 / ECHO_US_PER_CM;
}

std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s)
        out +=
            (c >= 32 && c < 127) ? std::string(1, static_cast<char>(c)) : "\\x" + std::to_string(c);
    return "\"" + out + "\"";
}

// Sends a command and reports its reply; the reply, or "" when it is no good.
std::string Ask(int fd, int h, int v, double expectCm) {
    unsigned char cmd[2] = {static_cast<unsigned char>(h), static_cast<unsigned char>(v)};
    double t0 = NowMs();
    if (write(fd, cmd, 2) != 2)
        Fail(std::string("cannot write: ") + strerror(errno));
    std::string r = Collect(fd, BOUND_MS);
    double took = NowMs() - t0;
    char what[160];
    snprintf(what, sizeof what, "%3d %3d -> %s (%.1f cm) in %.0f ms", h, v, Printable(r).c_str(),
             Cm(r), took);
    // Within the ranger's span: its minimum for anything nearer, its time-out
    // where nothing echoes.
    double us = atof(r.c_str());
    bool ok = Digits(r) && took < BOUND_MS && us >= ECHO_MIN_US && us <= ECHO_TIMEOUT_US;
    if (ok && expectCm >= 0)
        ok = expectCm == 0 ? r == std::to_string(ECHO_TIMEOUT_US)
                           : std::fabs(Cm(r) - expectCm) <= 0.02 * expectCm;
    Check(ok, what);
    return ok ? r : "";
}

bool Near(const std::string& a, const std::string& b) {
    double x = atof(a.c_str()), y = atof(b.c_str());
    return !a.empty() && !b.empty() && std::fabs(x - y) <= 0.02 * std::fmax(x, y);
}

struct Options {
    std::string port;
    double waitMs = 2000, expectCm = -1;
};

Options ParseArgs(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() { return OptionValue(argc, argv, &i); };
        StandardOption(a, USAGE);
        if (a == "--wait-ms") {
            o.waitMs = Number(value(), "--wait-ms");
        } else if (a == "--expect-cm") {
            o.expectCm = Number(value(), "--expect-cm");
        } else if (a[0] != '-' && o.port.empty()) {
            o.port = a;
        } else {
            UnknownOption(a, USAGE);
        }
    }
    if (o.port.empty())
        Fail("which port?");
    if (strncasecmp(o.port.c_str(), "COM", 3) == 0)
        o.port = PortLinkPath(o.port, "");
    return o;
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-probe");
    Options o = ParseArgs(argc, argv);
    std::string port = o.port;
    double waitMs = o.waitMs, expectCm = o.expectCm;
    int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        Fail("cannot open " + port + ": " + strerror(errno));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        Fail(port + " is in use");
    termios t;
    if (tcgetattr(fd, &t) != 0)
        Fail(port + " is no serial port");
    cfmakeraw(&t);
    cfsetispeed(&t, BaudSpeed(SCANNER_BAUD));
    cfsetospeed(&t, BaudSpeed(SCANNER_BAUD));
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tcsetattr(fd, TCSANOW, &t);
    printf("%s at %ld 8N1; waiting %.0f ms for the board to start\n", port.c_str(), SCANNER_BAUD,
           waitMs);
    fflush(stdout);

    std::string early = Collect(fd, waitMs);
    early += Collect(fd, QUIET_MS);
    Check(early.empty(), "nothing sent unasked" + (early.empty() ? "" : ": " + Printable(early)));

    std::string centre = Ask(fd, 80, 70, expectCm);
    const int corners[4][2] = {{5, 140}, {156, 140}, {156, 0}, {5, 0}};
    for (auto& c : corners)
        Ask(fd, c[0], c[1], expectCm);
    std::string again = Ask(fd, 80, 70, expectCm);
    Check(Near(centre, again), "the same command, the same reply (within 2 %)");

    unsigned char lone = 80;
    if (write(fd, &lone, 1) != 1)
        Fail(std::string("cannot write: ") + strerror(errno));
    std::string stray = Collect(fd, LOST_BYTE_WAIT_MS);
    Check(stray.empty(), "a lone byte gets no reply");
    std::string after = Ask(fd, 80, 70, expectCm);
    Check(Near(centre, after), "in step after a lost byte (the reply to the next command)");

    Ask(fd, 0, 255, -1);
    Ask(fd, 255, 141, -1);

    printf("%s\n", failures ? "some checks failed" : "every check passed");
    close(fd);
    return failures ? 1 : 0;
}
