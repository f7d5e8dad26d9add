#include "tools/board/Pacing.h"

#include "tools/device/Clock.h"
#include "tools/device/StopSignals.h"
#include "tools/device/Tool.h"

#include <cmath>
#include <poll.h>
#include <unistd.h>

namespace {

const double SLICE_MS = 0.5;     // emulated time between looks at the world
const double IDLE_LOOK_MS = 5;   // while the port is closed, how often to look again
const double MAX_BEHIND_MS = 50; // the board that falls this far behind keeps the pace from there

struct Pace {
    double now = 0;      // the wall clock at the last look
    double lagged = 0;   // the furthest the board fell behind
    bool open = false;   // the computer has the port open
    bool inReset = true; // the board is held in reset (port closed, or booting)
};

// True while the computer has the port open, after waiting up to `waitMs`
// for its bytes: with no one at the other end, the pseudo-terminal's device
// side reports a hang-up (at once, every time).
bool HostHasPort(const Rig& r, Pace& p, double waitMs) {
    pollfd pfd = {r.host.port.master, POLLIN, 0};
    timespec ts = {0, static_cast<long>(waitMs * 1e6)};
    ppoll(&pfd, 1, &ts, nullptr);
    p.now = NowMs();
    return (pfd.revents & POLLHUP) == 0;
}

// The computer's side at `now`; an open resets the board and its parts.
void Serve(Rig& r, const Pace& p) {
    if (!HostLinkServe(r.host, p.open, p.now))
        return;
    ServoReset(r.pan, BoardOwnMs(r.time));
    ServoReset(r.tilt, BoardOwnMs(r.time));
    RangerReset(r.ranger);
}

// Runs the board a slice ahead of the wall clock. A board that falls too far
// behind keeps the pace from where it is.
void RunSlice(Rig& r, Pace& p) {
    avr_t* avr = r.time.avr;
    avr_cycle_count_t until =
        avr->cycle + static_cast<avr_cycle_count_t>(BOARD_CPU_HZ * SLICE_MS / 1000);
    while (avr->cycle < until) {
        HostLinkFeed(r.host);
        int state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed)
            Fail("the firmware stopped");
    }
    double behind = NowMs() - BoardMs(r.time);
    if (behind > MAX_BEHIND_MS) {
        p.lagged = std::fmax(p.lagged, behind);
        r.time.base += behind;
    }
}

// Until the wall clock has reached `until`: each byte to the computer when it
// is due, the computer's bytes as they come.
void CatchUp(Rig& r, Pace& p, double until) {
    for (;;) {
        double wait = std::fmax(0, std::fmin(until, LineNextDue(r.host.line)) - NowMs());
        p.open = HostHasPort(r, p, wait);
        if (!p.open || p.now >= until || StopRequested())
            return;
        Serve(r, p);
    }
}

} // namespace

double RunPaced(Rig& r) {
    Pace p;
    p.open = HostHasPort(r, p, 0);
    while (!StopRequested()) {
        Serve(r, p);
        if (!p.open) { // held until the computer opens the port, which resets it
            p.inReset = true;
            usleep(static_cast<useconds_t>(IDLE_LOOK_MS * 1000));
            p.open = HostHasPort(r, p, 0);
            continue;
        }
        // No time passes for a board held in reset: it starts afresh from now.
        bool booting = HostLinkBooting(r.host, p.now);
        if (booting || p.inReset)
            r.time.base = p.now - BoardOwnMs(r.time);
        p.inReset = booting;
        if (!booting)
            RunSlice(r, p);
        ServoPoll(r.pan, BoardOwnMs(r.time));
        ServoPoll(r.tilt, BoardOwnMs(r.time));
        CatchUp(r, p, booting ? std::fmin(p.now + 1, r.host.bootUntil) : BoardMs(r.time));
    }
    return p.lagged;
}
