#include "ports.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::string PortsFolder() {
    const char* xdg = getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/rangescan/ports";
    const char* home = getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw && pw->pw_dir ? pw->pw_dir : "/";
    }
    return std::string(home) + "/.config/rangescan/ports";
}

std::string LinkMarkPath(const std::string& link) {
    return link + ".lock";
}

namespace {

// The link's identity: a new link, even to the same device, has another inode
// or another change time.
std::string Identity(const std::string& link) {
    struct stat st;
    if (lstat(link.c_str(), &st) != 0)
        return "";
    char id[96];
    snprintf(id, sizeof id, "%llu %llu %lld.%09ld\n", static_cast<unsigned long long>(st.st_dev),
             static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_ctim.tv_sec),
             st.st_ctim.tv_nsec);
    return id;
}

} // namespace

int TakeLinkMark(const std::string& link) {
    std::string path = LinkMarkPath(link);
    for (int tries = 0;; tries++) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            return -1;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno;
            close(fd);
            // An opener's look at the mark holds it for microseconds; a tool
            // holds it for good.
            if (err == EWOULDBLOCK && tries < 5) {
                usleep(10000);
                continue;
            }
            errno = err;
            return -1;
        }
        // A tool that let go of the mark may have removed it meanwhile: take
        // the one at the path.
        struct stat held, now;
        if (fstat(fd, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_ino == now.st_ino &&
            held.st_dev == now.st_dev)
            return fd;
        close(fd);
    }
}

void RecordLinkInMark(int mark, const std::string& link) {
    std::string id = Identity(link);
    if (ftruncate(mark, 0) == 0 && pwrite(mark, id.data(), id.size(), 0) < 0)
        perror("recording the port link");
}

void DropLinkMark(int mark, const std::string& link) {
    if (mark < 0)
        return;
    struct stat held, now;
    std::string path = LinkMarkPath(link);
    if (fstat(mark, &held) == 0 && stat(path.c_str(), &now) == 0 && held.st_ino == now.st_ino &&
        held.st_dev == now.st_dev)
        unlink(path.c_str());
    close(mark);
}

bool LinkOfAGoneTool(const std::string& link) {
    int fd = open(LinkMarkPath(link).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false; // no mark: not a tool's link
    char buf[96];
    ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    bool gone = false;
    if (n > 0 && std::string(buf, static_cast<size_t>(n)) == Identity(link))
        gone = flock(fd, LOCK_SH | LOCK_NB) == 0; // nobody holds it
    close(fd);
    return gone;
}
