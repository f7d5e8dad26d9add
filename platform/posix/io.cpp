// Stand-in for the KERNEL32 calls that move a port's bytes: ReadFile and
// WriteFile, as a serial port under its COMMTIMEOUTS (see comm.cpp), the
// timeouts counted in WholeMs (time.cpp). A device that has hung up fails
// them with DEVICE_GONE_ERROR.
// Left out: overlapped I/O, and every kind of file beyond a serial port.
#include "handles.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

static bool HungUp(int fd) {
    pollfd pfd = {fd, 0, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

// Waits for `events` on fd until `deadline` (0: no deadline). False on timeout.
// Sets `gone` when the other side has hung up.
static bool WaitFor(int fd, short events, uint64_t deadline, bool* gone) {
    for (;;) {
        int wait = -1;
        if (deadline) {
            uint64_t now = WholeMs();
            if (now >= deadline)
                return false;
            wait = static_cast<int>(deadline - now);
        }
        pollfd pfd = {fd, events, 0};
        int r = poll(&pfd, 1, wait);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            *gone = !(pfd.revents & events);
            return !*gone;
        }
        if (r > 0)
            return true;
    }
}

// Ends a read or write: reports the bytes moved and, when the device has gone,
// fails with its error.
static BOOL Finish(LPDWORD moved, DWORD count, bool deviceGone) {
    if (moved)
        *moved = count;
    if (deviceGone) {
        SetLastError(DEVICE_GONE_ERROR);
        return FALSE;
    }
    return TRUE;
}

// Reads as a serial port does under its COMMTIMEOUTS: all zero waits for every
// byte asked for; an interval of MAXDWORD with zero totals returns at once with
// what is queued; otherwise the total and interval timeouts bound the wait.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    PosixHandle* p = LookupHandle(hFile);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    if (!p)
        return FALSE;
    const COMMTIMEOUTS& t = p->timeouts;
    bool immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                     t.ReadTotalTimeoutConstant == 0;
    bool firstByteOnly = t.ReadIntervalTimeout == MAXDWORD &&
                         t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                         t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD;
    uint64_t start = WholeMs();
    uint64_t deadline = 0;
    if (firstByteOnly)
        deadline = start + t.ReadTotalTimeoutConstant;
    else if (!immediate && (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant))
        deadline = start + uint64_t(t.ReadTotalTimeoutMultiplier) * nNumberOfBytesToRead +
                   t.ReadTotalTimeoutConstant;
    DWORD interval = (immediate || firstByteOnly) ? 0 : t.ReadIntervalTimeout;

    char* out = static_cast<char*>(lpBuffer);
    DWORD got = 0;
    while (got < nNumberOfBytesToRead) {
        ssize_t r = read(p->fd, out + got, nNumberOfBytesToRead - got);
        if (r > 0) {
            got += static_cast<DWORD>(r);
            if (firstByteOnly)
                break;
            continue;
        }
        if (r == 0 && !HungUp(p->fd))
            r = -1, errno = EAGAIN;
        if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            return Finish(lpNumberOfBytesRead, got, true);
        }
        if (errno == EINTR)
            continue;
        if (immediate)
            break;
        uint64_t until = deadline;
        if (interval && got > 0) {
            uint64_t gap = WholeMs() + interval;
            until = until ? (gap < until ? gap : until) : gap;
        }
        bool gone = false;
        if (!WaitFor(p->fd, POLLIN, until, &gone)) {
            if (gone)
                return Finish(lpNumberOfBytesRead, got, true);
            break; // a timeout completes the read with what it has
        }
    }
    return Finish(lpNumberOfBytesRead, got, false);
}

// Writes as a serial port does: all write timeouts zero waits until every byte
// is taken; otherwise the total timeout bounds the wait and the call succeeds
// with the bytes taken so far.
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    PosixHandle* p = LookupHandle(hFile);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    if (!p)
        return FALSE;
    const COMMTIMEOUTS& t = p->timeouts;
    uint64_t deadline = 0;
    if (t.WriteTotalTimeoutMultiplier || t.WriteTotalTimeoutConstant)
        deadline = WholeMs() + uint64_t(t.WriteTotalTimeoutMultiplier) * nNumberOfBytesToWrite +
                   t.WriteTotalTimeoutConstant;
    const char* in = static_cast<const char*>(lpBuffer);
    DWORD sent = 0;
    while (sent < nNumberOfBytesToWrite) {
        ssize_t r = write(p->fd, in + sent, nNumberOfBytesToWrite - sent);
        if (r > 0) {
            sent += static_cast<DWORD>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN) {
            return Finish(lpNumberOfBytesWritten, sent, true);
        }
        bool gone = false;
        if (!WaitFor(p->fd, POLLOUT, deadline, &gone)) {
            if (gone)
                return Finish(lpNumberOfBytesWritten, sent, true);
            break;
        }
    }
    return Finish(lpNumberOfBytesWritten, sent, false);
}
