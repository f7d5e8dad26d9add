// frame-watch WINDOW SECONDS
// Prints, one a line, the time (CLOCK_MONOTONIC, in milliseconds) at which the
// X server reports new contents in WINDOW, for SECONDS: with a GL program
// drawing into the window, one line a presented frame. The first line is
// "start" and the time it began watching, the last "end" and when it ended.
#include "tools/device/Clock.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <cstdio>
#include <cstdlib>
#include <poll.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: frame-watch WINDOW SECONDS\n");
        return 2;
    }
    Window w = strtoul(argv[1], nullptr, 0);
    double until = NowMs() + atof(argv[2]) * 1000.0;
    Display* d = XOpenDisplay(nullptr);
    int event, error;
    if (!d || !XDamageQueryExtension(d, &event, &error)) {
        fprintf(stderr, "frame-watch: no X display with the DAMAGE extension\n");
        return 1;
    }
    // One notification until the damage is taken away again: one a frame.
    Damage damage = XDamageCreate(d, w, XDamageReportNonEmpty);
    XSync(d, False);
    printf("start %.3f\n", NowMs());
    pollfd pfd = {ConnectionNumber(d), POLLIN, 0};
    double now;
    while ((now = NowMs()) < until) {
        if (!XPending(d)) {
            poll(&pfd, 1, static_cast<int>(until - now) + 1);
            continue;
        }
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == event + XDamageNotify) {
            printf("%.3f\n", NowMs());
            XDamageSubtract(d, damage, None, None);
        }
    }
    printf("end %.3f\n", NowMs());
    XDamageDestroy(d, damage);
    XCloseDisplay(d);
    return 0;
}
