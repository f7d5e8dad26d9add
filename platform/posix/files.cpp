// Stand-in for the KERNEL32 file calls rangescan makes on its serial port:
// CreateFileA, ReadFile, WriteFile and CloseHandle.
//
// "COMn" and "\\.\COMn" are looked up as the link comN in the ports folder
// (ports.h), falling back to /dev/ttyS<n-1>; any other name is opened as a path.
// A link that a device tool made and left when it died opens as a missing port.
// A terminal is put in raw mode at open, as a Windows COM port never translates
// or swallows a byte. Anything else (a plain file, a directory, a FIFO, a
// socket, a device that is no terminal) opens as a handle that is no port: every
// port, read and write call on it fails, as on Windows a COM name is never a
// file. Share mode 0 is enforced with flock, which the kernel lets go however
// the holder ends; real serial lines are also marked exclusive (TIOCEXCL),
// which the kernel drops at their last close, but pseudo-terminals are not: the
// device side keeps them open, and the mark would outlive its holder.
// Left out: overlapped I/O, security attributes, templates, creation
// dispositions other than opening what exists, and every kind of file beyond
// what a serial port needs.
#include "handles.h"
#include "ports.h"

#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

static std::set<PosixHandle*>& OpenHandles() {
    static std::set<PosixHandle*> handles;
    return handles;
}

PosixHandle* LookupHandle(HANDLE h) {
    PosixHandle* p = static_cast<PosixHandle*>(h);
    if (h == INVALID_HANDLE_VALUE || OpenHandles().count(p) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return p;
}

HANDLE AddHandle(int fd, bool isTerminal) {
    PosixHandle* p = new PosixHandle{fd, isTerminal, {0, 0, 0, 0, 0}};
    OpenHandles().insert(p);
    return p;
}

void RemoveHandle(HANDLE h) {
    PosixHandle* p = static_cast<PosixHandle*>(h);
    OpenHandles().erase(p);
    delete p;
}

// The port number of "COMn" or "\\.\COMn", or 0 for any other name.
static int ComPortNumber(const char* name) {
    if (strncmp(name, "\\\\.\\", 4) == 0)
        name += 4;
    if (strncasecmp(name, "COM", 3) != 0)
        return 0;
    name += 3;
    if (*name < '1' || *name > '9')
        return 0;
    int n = 0;
    for (; *name; name++) {
        if (!isdigit(static_cast<unsigned char>(*name)) || n > 255)
            return 0;
        n = n * 10 + (*name - '0');
    }
    return n <= 255 ? n : 0;
}

// The path a port name opens, or "" for a link a gone tool left.
static std::string ResolvePortPath(const char* name) {
    int n = ComPortNumber(name);
    if (n == 0)
        return name;
    std::string link = PortsFolder() + "/com" + std::to_string(n);
    struct stat st;
    if (lstat(link.c_str(), &st) == 0)
        return LinkOfAGoneTool(link) ? "" : link; // a dangling link opens as a missing port
    return "/dev/ttyS" + std::to_string(n - 1);
}

// Unix98 pseudo-terminal slaves (/dev/pts/N).
static bool PseudoTerminal(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

// Opens what a port name resolved to: a terminal for reading and writing, or
// anything else as a bare reference (O_PATH) that no call can read or write.
// -1 with errno set when it cannot be opened.
static int OpenPortPath(const std::string& path, int access, bool* tty) {
    *tty = false;
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    int ref = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (ref < 0)
        return -1;
    struct stat st;
    if (fstat(ref, &st) != 0 || !S_ISCHR(st.st_mode))
        return ref;
    int fd = open(path.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        close(ref);
        errno = err;
        return -1;
    }
    if (!isatty(fd)) {
        close(fd);
        return ref;
    }
    close(ref);
    *tty = true;
    return fd;
}

static DWORD OpenError(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case EIO: // a ttyS node with no UART behind it
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

static void MakeRaw(int fd) {
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD; // modem lines do not gate reading
    t.c_cc[VMIN] = 1;            // with O_NONBLOCK: EAGAIN when empty, 0 only at hang-up
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool rd = dwDesiredAccess & GENERIC_READ, wr = dwDesiredAccess & GENERIC_WRITE;
    bool tty;
    int fd = OpenPortPath(ResolvePortPath(lpFileName),
                          (rd && wr) ? O_RDWR
                          : wr       ? O_WRONLY
                                     : O_RDONLY,
                          &tty);
    if (fd < 0) {
        SetLastError(OpenError(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (tty) {
        int lock = (dwShareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB;
        if (flock(fd, lock) != 0) {
            close(fd);
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (dwShareMode == 0 && !PseudoTerminal(fd))
            ioctl(fd, TIOCEXCL);
        MakeRaw(fd);
    }
    SetLastError(ERROR_SUCCESS);
    return AddHandle(fd, tty);
}

BOOL CloseHandle(HANDLE hObject) {
    PosixHandle* p = LookupHandle(hObject);
    if (!p)
        return FALSE;
    close(p->fd); // the last close of a line drops its exclusive mark
    RemoveHandle(hObject);
    return TRUE;
}

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
