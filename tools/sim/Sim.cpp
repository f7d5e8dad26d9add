// rangescan-sim: a simulated range scanner on a pseudo-terminal.
//
// It links the pseudo-terminal's device as a COM port (the link comN in the
// ports folder, or any path given with --link, such as Wine's dosdevices/com6)
// and answers each two-byte command (pan, tilt) with the echo time of a built-in
// scene (or of a kept scan, --replay), in microseconds, as ASCII digits with no
// terminator, as the scanner's firmware does. Its bytes reach the computer as a real line would
// deliver them
// (--line). Faults can be switched on for tests. It removes its link on exit,
// also on SIGINT/SIGTERM.
#include "tools/device/Clock.h"
#include "tools/device/DeviceLog.h"
#include "tools/device/Line.h"
#include "tools/device/PortLink.h"
#include "tools/device/PortServe.h"
#include "tools/device/PortSettings.h"
#include "tools/device/Scene.h"
#include "tools/sim/Replay.h"
#include "tools/sim/SimOptions.h"
#include "tools/device/StopSignals.h"
#include "tools/device/Tool.h"
#include "firmware/scanner/config.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// The simulated scanner: its port, what the host has sent it, and what it is
// to send back.
struct Device {
    Options o;
    Replay replay; // with --replay: the kept scan it answers from
    DevicePty pty;
    PortServe port; // the host's side: its settings, the bytes it is yet to take
    Line line;      // how its bytes reach the host
    DeviceLog log;
    struct Reply {
        long command; // whose reply: 1 for the first command, 0 for unasked bytes
        std::string bytes;
    };
    std::multimap<double, Reply> replies; // when the device starts sending -> what
    std::string pending;                  // bytes from the host
    double pendingSince = 0;
    long commands = 0;
    unsigned rng = 12345;
    bool hangup = false; // no more answers
    double hangupAt = 0; // when it hangs up
};

unsigned NextRandom(Device& d) {
    d.rng = d.rng * 1103515245u + 12345u;
    return d.rng;
}

// How long to wait for the host before the next thing the device must do.
double Wait(const Device& d, double now) {
    // Poll finely until the host has configured the line, so that the
    // moment it did is logged to the millisecond.
    double wait =
        (d.port.settings.rfind(std::to_string(SCANNER_BAUD), 0) == 0 || d.commands > 0) ? 10 : 1;
    if (!d.replies.empty())
        wait = std::min(wait, d.replies.begin()->first - now);
    wait = std::max(0.0, std::min(wait, LineNextDue(d.line) - now));
    if (!d.port.unsent.empty())
        wait = std::min(wait, 1.0);
    if (d.hangupAt > 0)
        wait = std::max(0.0, std::min(wait, d.hangupAt - now));
    return wait;
}

// The port's settings: a change paces the line anew, and starts the unasked bytes.
void TakeSettings(Device& d, double now) {
    termios cur;
    if (!ServeSettings(d.port, d.log, now, &cur))
        return;
    long baud;
    int bits, frame;
    PortSettings(cur, &baud, &bits, &frame);
    SetLinePace(d.line, baud, frame);
    printf("rangescan-sim: line set to %s\n", d.port.settings.c_str());
    fflush(stdout);
    if (!d.o.unasked.empty())
        d.replies.emplace(now + d.o.unaskedMs, Device::Reply{0, d.o.unasked});
}

// The reply the scanner gives to a command.
std::string Answer(Device& d, uint8_t h, uint8_t v) {
    if (d.o.digitsMax > 0) {
        long n = d.o.digitsMin +
                 static_cast<long>((NextRandom(d) >> 8) % (d.o.digitsMax - d.o.digitsMin + 1));
        std::string reply;
        for (long i = 0; i < n; i++)
            reply += static_cast<char>('0' + (NextRandom(d) >> 16) % 10);
        return reply;
    }
    if (!d.o.fixed.empty())
        return d.o.fixed;
    if (!d.o.replay.empty())
        return ReplayAnswer(d.replay, h, v);
    // Stripes: a reading taken into the wrong cell breaks a stripe.
    return EncodeEcho(d.o.stripes ? ((h / 2) % 2 ? 25.0 : 5.0) : RangeCm(h, v));
}

// Bytes of the reply to the command under way, to start going out at `at`.
void Queue(Device& d, double at, const std::string& bytes) {
    d.replies.emplace(at, Device::Reply{d.commands, bytes});
}

// When the reply goes out, as the fault in force has it; returns what the log
// says of it.
std::string Schedule(Device& d, double now, const std::string& reply) {
    const Options& o = d.o;
    bool faulty = o.fault != FAULT_NONE && d.commands >= o.faultFrom &&
                  (o.faultCount == 0 || d.commands < o.faultFrom + o.faultCount);
    switch (faulty ? o.fault : FAULT_NONE) {
    case FAULT_NONE:
        Queue(d, now + o.latency, reply);
        return reply;
    case FAULT_SILENT:
        return "- silent";
    case FAULT_SLOW:
        Queue(d, now + o.slowMs, reply);
        return reply + " slow";
    case FAULT_SPLIT: {
        size_t k = reply.size() > 1 ? reply.size() / 2 : 1;
        Queue(d, now + o.latency, reply.substr(0, k));
        if (k < reply.size())
            Queue(d, now + o.latency + o.splitMs, reply.substr(k));
        return reply + " split";
    }
    case FAULT_CUT:
        Queue(d, now + o.latency, reply.substr(0, reply.size() / 2));
        d.hangup = true;
        d.hangupAt = now + o.latency + o.splitMs;
        return reply + " cut";
    case FAULT_BURST:
        Queue(d, now + o.latency, std::string(static_cast<size_t>(o.burstBytes), '9'));
        return "- burst " + std::to_string(o.burstBytes);
    case FAULT_GARBAGE: {
        const char junk[] = "\r\n-+ .xX\x7f\xff\x01";
        std::string g;
        for (int i = 0; i < 8; i++)
            g += junk[(NextRandom(d) >> 16) % (sizeof junk - 1)];
        Queue(d, now + o.latency, g);
        return "- garbage";
    }
    }
    return reply;
}

// The host's bytes, taken two by two as commands; a lone byte that no second
// byte follows in time is dropped, as the firmware drops it. Bytes are
// stamped once read: never before the host wrote them.
void TakeCommands(Device& d, double now) {
    char in[4096];
    ssize_t got = read(d.pty.master, in, sizeof in);
    if (got > 0) {
        now = NowMs();
        if (d.pending.empty())
            d.pendingSince = now;
        d.pending.append(in, static_cast<size_t>(got));
    }
    if (d.pending.size() == 1 && now - d.pendingSince > LONE_BYTE_MS)
        d.pending.clear();
    while (d.pending.size() >= 2 && !d.hangup) {
        uint8_t h = static_cast<uint8_t>(d.pending[0]), v = static_cast<uint8_t>(d.pending[1]);
        d.pending.erase(0, 2);
        d.pendingSince = now;
        d.commands++;
        std::string reply = Answer(d, h, v);
        // A replayed aim the capture got no reply for gets none.
        Log(d.log, now, "cmd %u %u %s", h, v,
            reply.empty() ? "- none kept" : Schedule(d, now, reply).c_str());
        if (d.o.hangupAfter && d.commands >= d.o.hangupAfter)
            d.hangup = true;
    }
}

// The device starts sending what is due; the line delivers what has reached
// the host by now.
void Deliver(Device& d, double now) {
    // The log tells whose bytes go out, in the order they go: with its "sent"
    // lines, when each reply's last byte was written.
    while (!d.replies.empty() && d.replies.begin()->first <= now) {
        const Device::Reply& r = d.replies.begin()->second;
        Log(d.log, now, "reply %ld %zu", r.command, r.bytes.size());
        LineSend(d.line, d.replies.begin()->first, r.bytes);
        d.replies.erase(d.replies.begin());
    }
    ServeBytes(d.port, d.line, d.log, now);
}

// True once the device is to hang up: after its last answer has gone and the
// host has had time to take it, or when a cut reply has it hang up at once.
bool HangUpDue(Device& d, double now) {
    if (d.hangup && d.replies.empty() && !LineBusy(d.line) && d.port.unsent.empty() &&
        d.hangupAt == 0)
        d.hangupAt = now + 200;
    return d.hangupAt > 0 && now >= d.hangupAt;
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-sim");
    Device d;
    d.o = ParseArgs(argc, argv);
    if (!d.o.replay.empty())
        d.replay = LoadReplay(d.o.replay);
    // A stop asked for from here on still removes the link.
    CatchStopSignals();
    std::string link = PortLinkPath(d.o.where.port, d.o.where.link);
    // The device side holds the host side open too, so the line does not hang
    // up between host sessions.
    d.pty = OpenDevicePty();
    termios t;
    d.port.lookedAt = NowMs(); // no host can have the port before the link is placed
    tcgetattr(d.pty.slave, &t);
    d.port.master = d.pty.master;
    d.port.settings = PortSettingsName(t);
    d.line.model = d.o.line;
    PlacedLink placed = PlaceLink(link, d.pty.slavePath, d.o.where.force);
    OpenLog(d.log, d.o.logPath, NowMs());
    printf("rangescan-sim: %s is %s, linked at %s\n", d.o.where.port.c_str(),
           d.pty.slavePath.c_str(), link.c_str());
    fflush(stdout);

    while (!StopRequested()) {
        // To the microsecond: a byte on the line takes Line::byteMs, 87 us at 115200 baud.
        double wait = Wait(d, NowMs());
        pollfd pfd = {d.pty.master, POLLIN, 0};
        timespec ts = {static_cast<time_t>(wait / 1000),
                       static_cast<long>(std::fmod(wait, 1000.0) * 1e6)};
        ppoll(&pfd, 1, &ts, nullptr);
        double now = NowMs();
        TakeSettings(d, now);
        TakeCommands(d, now);
        Deliver(d, now);
        if (HangUpDue(d, now)) {
            printf("rangescan-sim: hanging up after %ld commands\n", d.commands);
            fflush(stdout);
            break;
        }
    }

    close(d.pty.slave);
    close(d.pty.master);
    RemoveLink(placed);
    CloseLog(d.log);
    return 0;
}
