// rangescan-sim: a simulated range scanner on a pseudo-terminal.
//
// It links the pseudo-terminal's device as a COM port (the link comN in the
// ports folder, or any path given with --link, such as Wine's dosdevices/com6)
// and answers each two-byte command (pan, tilt) with the echo time of a built-in
// scene, in microseconds, as ASCII digits with no terminator. Its bytes reach
// the computer as a real line would deliver them (--line). Faults can be
// switched on for tests. It removes its link on exit, also on SIGINT/SIGTERM.
#include "Line.h"
#include "Ports.h"
#include "Scene.h"
#include "firmware/scanner/config.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

const char* USAGE =
    "usage: rangescan-sim [options]\n"
    "  --port COMn         link the device as this port in the ports folder (default COM6)\n"
    "  --link PATH         link the device at PATH instead\n"
    "  --force             replace an existing link that points at a live device\n"
    "  --latency MS        reply latency (default 30)\n"
    "  --fixed DIGITS      always reply DIGITS instead of the scene\n"
    "  --digits MIN-MAX    reply random digits instead, MIN to MAX of them\n"
    "  --line MODEL        how the reply bytes reach the computer (default uart):\n"
    "                      uart   a byte at a time, at the pace of the line's settings\n"
    "                      ftdi   a USB adapter with a 16 ms latency timer, 62-byte packets\n"
    "                      cdc    a USB board, sent on at every 1 ms USB frame\n"
    "                      whole  each reply in one piece, at once\n"
    "  --stripes           a scene of stripes two columns wide, 5 and 25 cm by turns\n"
    "  --log FILE          one line per command: ms, 'cmd', the two bytes, the reply;\n"
    "                      one per write: ms, 'sent', the byte count\n"
    "  --fault KIND        silent | slow | split | burst | garbage | cut (the reply's\n"
    "                      first half, then a hang-up --split-ms later)\n"
    "  --fault-from N      first command (1-based) the fault applies to (default 1)\n"
    "  --fault-count N     commands the fault applies to (default 0: all from there on)\n"
    "  --slow-ms MS        slow: reply this late (default 1500)\n"
    "  --split-ms MS       split: the rest of the reply this much later (default 50)\n"
    "  --burst-bytes N     burst: send N digits instead of the reply (default 10000)\n"
    "  --unasked TEXT      send TEXT unasked after the host configures the line\n"
    "  --unasked-ms MS     unasked: this long after (default 500)\n"
    "  --hangup-after N    answer N commands, then hang up and exit\n"
    "The ports folder is $XDG_CONFIG_HOME/rangescan/ports (~/.config/rangescan/ports).\n";

enum Fault { NONE, SILENT, SLOW, SPLIT, BURST, GARBAGE, CUT };

struct Options {
    std::string port = "COM6", link, fixed, logPath, unasked;
    LineModel line = LINE_UART;
    long digitsMin = 0, digitsMax = 0;
    bool force = false, stripes = false;
    double latency = 30;
    Fault fault = NONE;
    long faultFrom = 1, faultCount = 0, burstBytes = 10000, hangupAfter = 0;
    double slowMs = 1500, splitMs = 50, unaskedMs = 500;
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                Fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            fputs(USAGE, stdout);
            exit(0);
        } else if (a == "--port") {
            o.port = value();
        } else if (a == "--link") {
            o.link = value();
        } else if (a == "--force") {
            o.force = true;
        } else if (a == "--latency") {
            o.latency = Number(value(), "--latency");
        } else if (a == "--fixed") {
            o.fixed = value();
        } else if (a == "--digits") {
            std::string range = value();
            size_t dash = range.find('-');
            if (dash == std::string::npos)
                Fail("--digits takes MIN-MAX");
            o.digitsMin = Number(range.substr(0, dash).c_str(), "--digits");
            o.digitsMax = Number(range.substr(dash + 1).c_str(), "--digits");
            if (o.digitsMin < 1 || o.digitsMax < o.digitsMin)
                Fail("--digits takes MIN-MAX with 1 <= MIN <= MAX");
        } else if (a == "--line") {
            std::string m = value();
            if (!ParseLineModel(m, &o.line))
                Fail("unknown line model: " + m);
        } else if (a == "--stripes") {
            o.stripes = true;
        } else if (a == "--log") {
            o.logPath = value();
        } else if (a == "--fault") {
            std::string k = value();
            const char* names[] = {"none", "silent", "slow", "split", "burst", "garbage", "cut"};
            int found = -1;
            for (int f = 0; f < 7; f++)
                if (k == names[f])
                    found = f;
            if (found < 0)
                Fail("unknown fault: " + k);
            o.fault = static_cast<Fault>(found);
        } else if (a == "--fault-from") {
            o.faultFrom = Number(value(), "--fault-from");
        } else if (a == "--fault-count") {
            o.faultCount = Number(value(), "--fault-count");
        } else if (a == "--slow-ms") {
            o.slowMs = Number(value(), "--slow-ms");
        } else if (a == "--split-ms") {
            o.splitMs = Number(value(), "--split-ms");
        } else if (a == "--burst-bytes") {
            o.burstBytes = Number(value(), "--burst-bytes");
        } else if (a == "--unasked") {
            o.unasked = value();
        } else if (a == "--unasked-ms") {
            o.unaskedMs = Number(value(), "--unasked-ms");
        } else if (a == "--hangup-after") {
            o.hangupAfter = Number(value(), "--hangup-after");
        } else {
            fputs(USAGE, stderr);
            Fail("unknown option: " + a);
        }
    }
    return o;
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-sim");
    Options o = Parse(argc, argv);
    std::string link = PortLinkPath(o.port, o.link);

    // The device side holds the host side open too, so the line does not hang
    // up between host sessions.
    DevicePty pty = OpenDevicePty();
    int master = pty.master, slave = pty.slave;
    std::string slavePath = pty.slavePath;
    termios t;
    tcgetattr(slave, &t);
    std::string line = LineName(t);
    Line wire;
    wire.model = o.line;

    PlaceLink(link, slavePath, o.force);
    CatchStopSignals();

    DeviceLog log;
    OpenLog(log, o.logPath, NowMs());
    printf("rangescan-sim: %s is %s, linked at %s\n", o.port.c_str(), slavePath.c_str(),
           link.c_str());
    fflush(stdout);

    std::multimap<double, std::string> replies; // when the device starts sending -> bytes
    std::string pending, unsent;
    double pendingSince = 0;
    long commands = 0;
    unsigned rng = 12345;
    bool hangup = false;
    double hangupAt = 0;

    while (!StopRequested()) {
        double now = NowMs();
        // Poll finely until the host has configured the line, so that the
        // moment it did is logged to the millisecond.
        double wait = (line.rfind("115200", 0) == 0 || commands > 0) ? 10 : 1;
        if (!replies.empty())
            wait = std::min(wait, replies.begin()->first - now);
        wait = std::max(0.0, std::min(wait, LineNextDue(wire) - now));
        if (!unsent.empty())
            wait = std::min(wait, 1.0);
        if (hangupAt > 0)
            wait = std::max(0.0, std::min(wait, hangupAt - now));
        // To the microsecond: a byte on the line takes 87 of them.
        pollfd pfd = {master, POLLIN, 0};
        timespec ts = {static_cast<time_t>(wait / 1000),
                       static_cast<long>(std::fmod(wait, 1000.0) * 1e6)};
        ppoll(&pfd, 1, &ts, nullptr);
        now = NowMs();

        // The line's settings, as the host left them.
        termios cur;
        if (tcgetattr(master, &cur) == 0 && LineName(cur) != line) {
            line = LineName(cur);
            long baud;
            int bits, frame;
            LineSettings(cur, &baud, &bits, &frame);
            SetLinePace(wire, baud, frame);
            printf("rangescan-sim: line set to %s\n", line.c_str());
            fflush(stdout);
            Log(log, now, "line %s", line.c_str());
            if (!o.unasked.empty())
                replies.emplace(now + o.unaskedMs, o.unasked);
        }

        char in[4096];
        ssize_t got = read(master, in, sizeof in);
        if (got > 0) {
            if (pending.empty())
                pendingSince = now;
            pending.append(in, static_cast<size_t>(got));
        }
        if (pending.size() == 1 && now - pendingSince > LONE_BYTE_MS)
            pending.clear(); // a lone byte that no second byte followed
        while (pending.size() >= 2 && !hangup) {
            uint8_t h = static_cast<uint8_t>(pending[0]), v = static_cast<uint8_t>(pending[1]);
            pending.erase(0, 2);
            pendingSince = now;
            commands++;
            // Stripes: a reading taken into the wrong cell breaks a stripe.
            double cm = o.stripes ? ((h / 2) % 2 ? 25.0 : 5.0) : RangeCm(h, v);
            std::string reply = o.fixed.empty() ? EncodeEcho(cm) : o.fixed;
            if (o.digitsMax > 0) {
                rng = rng * 1103515245u + 12345u;
                long n =
                    o.digitsMin + static_cast<long>((rng >> 8) % (o.digitsMax - o.digitsMin + 1));
                reply.clear();
                for (long i = 0; i < n; i++) {
                    rng = rng * 1103515245u + 12345u;
                    reply += static_cast<char>('0' + (rng >> 16) % 10);
                }
            }
            bool faulty = o.fault != NONE && commands >= o.faultFrom &&
                          (o.faultCount == 0 || commands < o.faultFrom + o.faultCount);
            Fault f = faulty ? o.fault : NONE;
            std::string logged = reply;
            if (f == NONE) {
                replies.emplace(now + o.latency, reply);
            } else if (f == SILENT) {
                logged = "- silent";
            } else if (f == SLOW) {
                replies.emplace(now + o.slowMs, reply);
                logged += " slow";
            } else if (f == SPLIT) {
                size_t k = reply.size() > 1 ? reply.size() / 2 : 1;
                replies.emplace(now + o.latency, reply.substr(0, k));
                if (k < reply.size())
                    replies.emplace(now + o.latency + o.splitMs, reply.substr(k));
                logged += " split";
            } else if (f == CUT) {
                replies.emplace(now + o.latency, reply.substr(0, reply.size() / 2));
                hangup = true;
                hangupAt = now + o.latency + o.splitMs;
                logged += " cut";
            } else if (f == BURST) {
                replies.emplace(now + o.latency,
                                std::string(static_cast<size_t>(o.burstBytes), '9'));
                logged = "- burst " + std::to_string(o.burstBytes);
            } else if (f == GARBAGE) {
                const char junk[] = "\r\n-+ .xX\x7f\xff\x01";
                std::string g;
                for (int i = 0; i < 8; i++) {
                    rng = rng * 1103515245u + 12345u;
                    g += junk[(rng >> 16) % (sizeof junk - 1)];
                }
                replies.emplace(now + o.latency, g);
                logged = "- garbage";
            }
            Log(log, now, "cmd %u %u %s", h, v, logged.c_str());
            if (o.hangupAfter && commands >= o.hangupAfter)
                hangup = true;
        }

        // The device starts sending what is due; the line delivers what has
        // reached the computer by now.
        while (!replies.empty() && replies.begin()->first <= now) {
            LineSend(wire, replies.begin()->first, replies.begin()->second);
            replies.erase(replies.begin());
        }
        unsent += LineTake(wire, now);
        if (!unsent.empty()) {
            ssize_t w = write(master, unsent.data(), unsent.size());
            if (w > 0) {
                unsent.erase(0, static_cast<size_t>(w)); // the rest once the host reads
                Log(log, now, "sent %zd", w);
            }
        }
        if (hangup && replies.empty() && !LineBusy(wire) && unsent.empty() && hangupAt == 0)
            hangupAt = now + 200; // let the host take the last reply first
        if (hangupAt && now >= hangupAt) {
            printf("rangescan-sim: hanging up after %ld commands\n", commands);
            fflush(stdout);
            break;
        }
    }

    close(slave);
    close(master);
    RemoveLink(link, slavePath);
    CloseLog(log);
    return 0;
}
