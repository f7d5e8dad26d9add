// Stand-in for the close request Windows sends a program's windows when the
// session asks it to end: on POSIX, SIGTERM (kill, a shutdown), SIGINT (Ctrl+C
// in the terminal that started it) and SIGHUP (the terminal or the login
// going). Each window then gets WM_CLOSE, posted, as from its close button, so
// the program ends by its own quit path and closes its port. A second signal
// of the same kind ends the program at once, for one that no longer answers.
// Left out: WM_QUERYENDSESSION and WM_ENDSESSION.
#include "gui.h"

#include <csignal>

namespace {

volatile sig_atomic_t closeAsked = 0;

void OnCloseSignal(int) {
    closeAsked = 1;
}

} // namespace

void CatchCloseSignals() {
    struct sigaction sa = {};
    sa.sa_handler = OnCloseSignal;
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

void PostCloseOnSignal() {
    if (!closeAsked)
        return;
    closeAsked = 0;
    PostCloseToEveryWindow();
}
