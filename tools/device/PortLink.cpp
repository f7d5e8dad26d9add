#include "tools/device/PortLink.h"

#include "tools/device/Tool.h"
#include "platform/posix/ports.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

std::vector<OptionRow> PortLinkOptionRows(PortLinkOptions& o, const std::string& portHelp,
                                          const std::string& linkHelp) {
    return {{"--port", "COMn", portHelp, [&o](const char* v) { o.port = v; }},
            {"--link", "PATH", linkHelp, [&o](const char* v) { o.link = v; }},
            {"--force", "", "replace a live device's link, or a running tool's",
             [&o](const char*) { o.force = true; }}};
}

std::string PortLinkPath(const std::string& port, const std::string& link) {
    if (!link.empty())
        return link;
    const char* p = port.c_str();
    if (strncasecmp(p, "COM", 3) != 0 || Number(p + 3, "--port") < 1)
        Fail("--port takes a name COM1..COM255");
    return PortsFolder() + "/com" + std::to_string(Number(p + 3, "--port"));
}

static void MakeFolders(const std::string& path) {
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

// The mark of `link`, taken over from a running tool only with `force`.
static int TakeMark(const std::string& link, bool force) {
    int mark = TakeLinkMark(link);
    if (mark < 0 && errno == EWOULDBLOCK) {
        if (!force)
            Fail(link + " is served by another running device tool; end it, or use --force to "
                        "take the port over");
        unlink(LinkMarkPath(link).c_str()); // the other tool keeps the old one
        mark = TakeLinkMark(link);
    }
    if (mark < 0)
        Fail("cannot mark " + LinkMarkPath(link) + ": " + strerror(errno));
    return mark;
}

PlacedLink PlaceLink(const std::string& link, const std::string& target, bool force) {
    MakeFolders(link);
    bool leftByGoneTool = LinkOfAGoneTool(link);
    PlacedLink placed{link, target, TakeMark(link, force)};
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
        std::string why;
        if (!S_ISLNK(st.st_mode))
            why = link + " is not a link; it is left as it is";
        else if (stat(link.c_str(), &st) == 0 && !leftByGoneTool && !force)
            why = link + " already points at a device; use --force to replace it";
        else if (unlink(link.c_str()) != 0)
            why = "cannot replace " + link + ": " + strerror(errno);
        if (!why.empty()) {
            DropLinkMark(placed.mark, link);
            Fail(why);
        }
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        DropLinkMark(placed.mark, link);
        Fail("cannot link " + link + ": " + strerror(errno));
    }
    RecordLinkInMark(placed.mark, link);
    return placed;
}

void RemoveLink(PlacedLink& l) {
    char buf[PATH_MAX];
    ssize_t n = readlink(l.link.c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        if (l.target == buf)
            unlink(l.link.c_str());
    }
    DropLinkMark(l.mark, l.link);
    l.mark = -1;
}

// Makes `slavePath` the controlling terminal of a new session, whose leader is
// a helper that holds it until this process ends (its end of `life` closes).
// A process group leader (as a shell with job control starts every job) may
// not start a session itself, hence the helper.
static void HoldAsSessionTerminal(const std::string& slavePath, int master) {
    int ready[2], life[2];
    if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(life, O_CLOEXEC) != 0)
        Fail(std::string("cannot make a pipe: ") + strerror(errno));
    pid_t pid = fork();
    if (pid < 0)
        Fail(std::string("cannot start the terminal's holder: ") + strerror(errno));
    if (pid == 0) {
        close(master);
        close(ready[0]);
        close(life[1]);
        int null = open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3 && null >= 0; fd++)
            dup2(null, fd);
        int err = 0;
        if (setsid() < 0)
            err = errno;
        int fd = err ? -1 : open(slavePath.c_str(), O_RDWR | O_NOCTTY);
        if (!err && (fd < 0 || ioctl(fd, TIOCSCTTY, 0) != 0))
            err = errno;
        if (fd >= 0)
            close(fd);
        if (write(ready[1], &err, sizeof err) != sizeof err)
            _exit(1);
        char c;
        while (read(life[0], &c, 1) < 0 && errno == EINTR) {
        }
        _exit(0);
    }
    close(ready[1]);
    close(life[0]);
    int err = -1;
    ssize_t n;
    while ((n = read(ready[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    close(ready[0]);
    if (n != sizeof err || err != 0)
        Fail("cannot give " + slavePath +
             " a session of its own: " + (n == sizeof err ? strerror(err) : "its holder ended"));
    // life[1] stays open, unseen by any program this one starts, until it ends.
}

DevicePty OpenDevicePty() {
    DevicePty p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0)
        Fail(std::string("cannot open a pseudo-terminal: ") + strerror(errno));
    p.slavePath = ptsname(p.master);
    HoldAsSessionTerminal(p.slavePath, p.master);
    p.slave = open(p.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.slave < 0)
        Fail("cannot open " + p.slavePath + ": " + strerror(errno));
    termios t;
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(p.slave, TCSANOW, &t);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return p;
}
