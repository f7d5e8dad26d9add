// rangescan-probe: checks a scanner on its serial port, a real board or the
// emulated one, through the same Win32 calls rangescan makes (on Windows the
// system's, elsewhere the stand-in's): the port opens and takes the line
// settings, nothing is sent unasked after the start-up wait, every command
// gets a reply of digits within the ranger's span (never "0": no echo is the
// far reply), the same reply to the same command, step kept after a lost
// byte, out-of-range commands answered. Prints each check, then a verdict
// with what to do; exits 0 when every check passed, 1 when the scanner failed
// one, 2 when the port could not be used.
#include "tools/probe/ProbeOptions.h"
#include "tools/device/Tool.h"
#include "firmware/scanner/config.h"

#include <windows.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const DWORD QUIET_MS = 50;          // a reply has ended after this quiet
const DWORD BOUND_MS = 1000;        // the longest a reply may take
const DWORD UNASKED_WATCH_MS = 250; // after the start: a tick's time of quiet
const DWORD LOST_BYTE_WAIT_MS = LONE_BYTE_MS + 50;

struct Probe {
    HANDLE port = INVALID_HANDLE_VALUE;
    bool gone = false;  // the port failed: unplugged, or the board's USB chip reset
    bool heard = false; // some reply came, good or not
    int failures = 0, answers = 0, asked = 0, noEcho = 0;
    std::string firstFailure;
};

void Check(Probe& p, bool ok, const std::string& what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    fflush(stdout);
    if (!ok && p.failures++ == 0)
        p.firstFailure = what;
}

// The port the probe holds, closed before it ends, whatever the verdict.
HANDLE heldPort = INVALID_HANDLE_VALUE;

[[noreturn]] void Verdict(const char* state, const std::string& what, int code) {
    if (heldPort != INVALID_HANDLE_VALUE)
        CloseHandle(heldPort);
    printf("\nVerdict: %s\n%s\n", state, what.c_str());
    fflush(stdout);
    exit(code);
}

// Why the port could not be opened, and what to do, from the open's error.
std::string OpenFailure(const std::string& name, DWORD error) {
    if (error == ERROR_FILE_NOT_FOUND)
        return "There is no port " + name +
               ". Is the board plugged in? On Windows, Device\n"
               "Manager (Ports) shows its COM number; on Linux, the link comN in\n"
               "~/.config/rangescan/ports must point at the board (ls /dev/serial/by-id/).\n"
               "rangescan says: \"ERROR: Handle was not attached. Reason: COM6 not available.\"";
    if (error == ERROR_ACCESS_DENIED)
        return name + " is held by another program (the IDE's serial monitor, avrdude,\n"
                      "rangescan), or you may not open it (Linux: the dialout group).\n"
                      "rangescan says: \"ERROR!!!\"";
    return "Cannot open " + name + " (error " + std::to_string(error) +
           ").\nrangescan says: \"ERROR!!!\"";
}

void Open(Probe& p, const std::string& name) {
    std::string path = PortOpenName(name);
    p.port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, NULL);
    if (p.port == INVALID_HANDLE_VALUE)
        Verdict("the port could not be opened", OpenFailure(name, GetLastError()), 2);
    heldPort = p.port;
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(p.port, &dcb))
        Verdict("the port is no serial port",
                name + " opened, but it is not a serial port (on Linux, the link points at\n"
                       "something else). rangescan says: \"failed to get current serial "
                       "parameters!\"",
                2);
    dcb.BaudRate = static_cast<DWORD>(SCANNER_BAUD);
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.Parity = NOPARITY;
    if (!SetCommState(p.port, &dcb))
        Verdict("the port refuses the line settings",
                name + " will not take " + std::to_string(SCANNER_BAUD) +
                    " baud, 8N1: try another adapter or driver.\n"
                    "rangescan says: \"ALERT: Could not set Serial Port parameters\"",
                2);
    printf("ok   %s opened at %ld baud, 8N1\n", name.c_str(), SCANNER_BAUD);
}

// What arrives until the line has been quiet for QUIET_MS, within `boundMs`
// (with `whole`, all that arrives in `boundMs`); a look every millisecond.
std::string Collect(Probe& p, DWORD boundMs, bool whole = false) {
    std::string got;
    DWORD start = GetTickCount(), last = start;
    for (;;) {
        DWORD now = GetTickCount();
        if (now - start >= boundMs || (!whole && !got.empty() && now - last >= QUIET_MS))
            return got;
        DWORD errors = 0;
        COMSTAT stat;
        if (!ClearCommError(p.port, &errors, &stat)) {
            p.gone = true;
            return got;
        }
        char buf[256];
        DWORD want = stat.cbInQue < sizeof buf ? stat.cbInQue : sizeof buf, n = 0;
        if (want > 0 && ReadFile(p.port, buf, want, &n, NULL) && n > 0) {
            got.append(buf, n);
            last = GetTickCount();
        } else {
            Sleep(1);
        }
    }
}

void Send(Probe& p, const unsigned char* bytes, DWORD count) {
    DWORD sent = 0;
    if (!WriteFile(p.port, bytes, count, &sent, NULL))
        p.gone = true;
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
    for (unsigned char c : s) {
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02x", c);
        out += (c >= 32 && c < 127) ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return "\"" + out + "\"";
}

// Sends a command and reports its reply; the reply, or "" when it is no good.
std::string Ask(Probe& p, int h, int v, double expectCm) {
    unsigned char cmd[2] = {static_cast<unsigned char>(h), static_cast<unsigned char>(v)};
    DWORD t0 = GetTickCount();
    Send(p, cmd, 2);
    std::string r = Collect(p, BOUND_MS);
    DWORD took = GetTickCount() - t0;
    char what[160];
    snprintf(what, sizeof what, "%3d %3d -> %s (%.1f cm) in %lu ms", h, v, Printable(r).c_str(),
             Cm(r), static_cast<unsigned long>(took));
    // Within the ranger's span: its minimum for anything nearer, its time-out
    // where nothing echoes.
    double us = atof(r.c_str());
    bool ok = Digits(r) && took < BOUND_MS && us >= ECHO_MIN_US && us <= ECHO_TIMEOUT_US;
    p.asked++;
    p.heard = p.heard || !r.empty();
    p.answers += ok ? 1 : 0;
    p.noEcho += ok && r == std::to_string(ECHO_TIMEOUT_US) ? 1 : 0;
    if (ok && expectCm >= 0)
        ok = expectCm == 0 ? r == std::to_string(ECHO_TIMEOUT_US)
                           : std::fabs(Cm(r) - expectCm) <= 0.02 * expectCm;
    Check(p, ok, what);
    return ok ? r : "";
}

bool Near(const std::string& a, const std::string& b) {
    double x = atof(a.c_str()), y = atof(b.c_str());
    return !a.empty() && !b.empty() && std::fabs(x - y) <= 0.02 * std::fmax(x, y);
}

// The board's start: the open resets it; after the wait it sends nothing
// unasked and answers its first command.
void Start(Probe& p, const ProbeOptions& o) {
    printf("     waiting %ld ms for the board to start after its reset\n", o.waitMs);
    fflush(stdout);
    // The whole wait, whatever arrives in it: a board's reset may put a stray
    // byte on the line, which must not cut its start short. The program drops
    // what came before its first command, as the probe does here.
    std::string start = Collect(p, static_cast<DWORD>(o.waitMs), true);
    if (!start.empty())
        printf("     heard while it started (dropped): %s\n", Printable(start).c_str());
    // Once started, it speaks only when asked: nothing in a tick's time.
    std::string unasked = Collect(p, UNASKED_WATCH_MS);
    Check(p, unasked.empty(),
          "nothing sent unasked" + (unasked.empty() ? "" : ": " + Printable(unasked)));
}

void Gone(const std::string& port) {
    Verdict("the port went away",
            port + " failed while the probe used it: the board was unplugged, or browned\n"
                   "out so far that its USB chip reset. Plug it in (give the servos their own\n"
                   "supply) and run the probe again.",
            2);
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-probe");
    ProbeOptions o = ParseProbeArgs(argc, argv);
    Probe p;
    Open(p, o.port);
    Start(p, o);

    std::string centre = Ask(p, 80, 70, o.expectCm);
    if (p.gone)
        Gone(o.port);
    if (p.answers == 0 && p.heard)
        Verdict("FAIL: the scanner's answer is no reading",
                "The first command (the centre) got bytes, but not an echo time in digits\n"
                "within the ranger's span: the board may run other firmware, or speak at\n"
                "another line speed than " +
                    std::to_string(SCANNER_BAUD) +
                    " baud. Flash the scanner's firmware (docs/scanner.md).",
                1);
    if (p.answers == 0)
        Verdict("FAIL: the scanner does not answer",
                "No reply to the first command (the centre) within 1 s. The board may have\n"
                "no scanner firmware, or need longer to start (--wait-ms), or its ranger\n"
                "may not be wired. Flash it (docs/scanner.md) and check the wiring.",
                1);
    const int corners[4][2] = {{5, 140}, {156, 140}, {156, 0}, {5, 0}};
    for (auto& c : corners)
        Ask(p, c[0], c[1], o.expectCm);
    std::string again = Ask(p, 80, 70, o.expectCm);
    Check(p, Near(centre, again), "the same command, the same reply (within 2 %)");

    unsigned char lone = 80;
    Send(p, &lone, 1);
    std::string stray = Collect(p, LOST_BYTE_WAIT_MS);
    Check(p, stray.empty(), "a lone byte gets no reply");
    std::string after = Ask(p, 80, 70, o.expectCm);
    Check(p, Near(centre, after), "in step after a lost byte (the reply to the next command)");

    Ask(p, 0, 255, -1);
    Ask(p, 255, 141, -1);
    if (p.gone)
        Gone(o.port);

    char summary[200];
    snprintf(summary, sizeof summary,
             "%d of %d aims answered within the ranger's span (%lu to %lu us); %d of them\n"
             "meant \"no echo\" (%lu: nothing within 4 m, shown red).",
             p.answers, p.asked, ECHO_MIN_US, ECHO_TIMEOUT_US, p.noEcho, ECHO_TIMEOUT_US);
    if (p.failures == 0)
        Verdict(("PASS: the scanner on " + o.port + " works").c_str(), summary, 0);
    Verdict("FAIL: the scanner does not keep the exchange",
            std::string(summary) + "\nFirst failed check: " + p.firstFailure, 1);
}
