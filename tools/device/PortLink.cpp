#include "tools/device/PortLink.h"

#include "tools/device/Tool.h"

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

bool TakePortLinkOption(PortLinkOptions& o, int argc, char** argv, int* i) {
    std::string a = argv[*i];
    if (a == "--port")
        o.port = OptionValue(argc, argv, i);
    else if (a == "--link")
        o.link = OptionValue(argc, argv, i);
    else if (a == "--force")
        o.force = true;
    else
        return false;
    return true;
}

std::string PortLinkPath(const std::string& port, const std::string& link) {
    if (!link.empty())
        return link;
    const char* p = port.c_str();
    if (strncasecmp(p, "COM", 3) != 0 || Number(p + 3, "--port") < 1)
        Fail("--port takes a name COM1..COM255");
    const char* xdg = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    std::string base =
        (xdg && *xdg) ? std::string(xdg) : std::string(home ? home : ".") + "/.config";
    return base + "/rangescan/ports/com" + std::to_string(Number(p + 3, "--port"));
}

static void MakeFolders(const std::string& path) {
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

void PlaceLink(const std::string& link, const std::string& target, bool force) {
    MakeFolders(link);
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
        bool live = stat(link.c_str(), &st) == 0;
        if (live && !force)
            Fail(link + " already points at a device; use --force to replace it");
        if (unlink(link.c_str()) != 0)
            Fail("cannot replace " + link + ": " + strerror(errno));
    }
    if (symlink(target.c_str(), link.c_str()) != 0)
        Fail("cannot link " + link + ": " + strerror(errno));
}

void RemoveLink(const std::string& link, const std::string& target) {
    char buf[PATH_MAX];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        buf[n] = 0;
        if (target == buf)
            unlink(link.c_str());
    }
}

DevicePty OpenDevicePty() {
    DevicePty p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0)
        Fail(std::string("cannot open a pseudo-terminal: ") + strerror(errno));
    p.slavePath = ptsname(p.master);
    setsid();
    p.slave = open(p.slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (p.slave < 0)
        Fail("cannot open " + p.slavePath + ": " + strerror(errno));
    ioctl(p.slave, TIOCSCTTY, 0);
    termios t;
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(p.slave, TCSANOW, &t);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return p;
}
