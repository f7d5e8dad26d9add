#include "BarePort.h"
#include "Device.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

BarePort::BarePort() {
    std::string folder = UsePrivatePortsFolder();
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath = ptsname(master);
    fcntl(master, F_SETFL, O_NONBLOCK);
    linkPath = folder + "/com6";
    unlink(linkPath.c_str());
    if (symlink(slavePath.c_str(), linkPath.c_str()) != 0)
        throw std::runtime_error("cannot link com6");
}

BarePort::~BarePort() {
    HangUp();
    unlink(linkPath.c_str());
}

void BarePort::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else
            usleep(1000);
    }
    usleep(20000); // a write on the master shows up on the other side shortly after
}

std::string BarePort::Receive(size_t count, int waitMs) {
    std::string got;
    double until = NowMs() + waitMs;
    while (got.size() < count && NowMs() < until) {
        pollfd pfd = {master, POLLIN, 0};
        poll(&pfd, 1, 10);
        char buf[256];
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

void BarePort::HangUp() {
    if (master >= 0)
        close(master), master = -1;
}
