// Stand-in for the KERNEL32 console calls the console tools make:
// GetStdHandle, GetConsoleMode and SetConsoleCtrlHandler.
//
// A standard handle is a handle on the process's standard output or error;
// it is a console when it is a terminal. The console's control events come
// from the signals a terminal and a session send: SIGINT (Ctrl+C) is
// CTRL_C_EVENT; SIGHUP (the terminal closed) and SIGTERM (kill, a shutdown)
// are CTRL_CLOSE_EVENT. As on Windows, the handlers run on a thread of their
// own, the last added first, until one returns TRUE; when none does, or once
// a handler of a close event returns, the process ends as the signal ends it.
// Left out: the standard input, console modes beyond telling a console from
// anything else, CTRL_BREAK_EVENT, and a null routine (ignoring Ctrl+C).
#include "handles.h"

#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::mutex handlersLock;
std::vector<PHANDLER_ROUTINE> handlers;
int eventPipe[2] = {-1, -1};

void OnSignal(int sig) {
    unsigned char byte = static_cast<unsigned char>(sig);
    ssize_t ignored = write(eventPipe[1], &byte, 1);
    (void)ignored;
}

bool Handled(DWORD event) {
    std::vector<PHANDLER_ROUTINE> now;
    {
        std::lock_guard<std::mutex> hold(handlersLock);
        now = handlers;
    }
    for (auto h = now.rbegin(); h != now.rend(); ++h)
        if ((*h)(event))
            return true;
    return false;
}

void DeliverEvents() {
    unsigned char sig;
    while (read(eventPipe[0], &sig, 1) == 1) {
        DWORD event = sig == SIGINT ? CTRL_C_EVENT : CTRL_CLOSE_EVENT;
        if (Handled(event) && event == CTRL_C_EVENT)
            continue;
        signal(sig, SIG_DFL);
        raise(sig);
    }
}

void StartEvents() {
    if (pipe2(eventPipe, O_CLOEXEC) != 0)
        return;
    std::thread(DeliverEvents).detach();
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

HANDLE GetStdHandle(DWORD nStdHandle) {
    static HANDLE out = AddHandle(STDOUT_FILENO, isatty(STDOUT_FILENO) == 1);
    static HANDLE err = AddHandle(STDERR_FILENO, isatty(STDERR_FILENO) == 1);
    if (nStdHandle == STD_OUTPUT_HANDLE)
        return out;
    if (nStdHandle == STD_ERROR_HANDLE)
        return err;
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    PosixHandle* p = LookupHandle(hConsoleHandle);
    if (p == nullptr)
        return FALSE;
    if (!p->isTerminal) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpMode = 0;
    return TRUE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
    if (HandlerRoutine == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(handlersLock);
    if (Add) {
        if (eventPipe[0] < 0)
            StartEvents();
        handlers.push_back(HandlerRoutine);
        return TRUE;
    }
    for (auto h = handlers.begin(); h != handlers.end(); ++h) {
        if (*h == HandlerRoutine) {
            handlers.erase(h);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
