// Stand-in for the KERNEL32 calls that open and close rangescan's serial port:
// CreateFileA and CloseHandle (ReadFile and WriteFile are in io.cpp).
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
