// The POSIX stand-in's serial port against a real pseudo-terminal that the
// test drives directly: opening, holding and linking it. Its DCB mapping is
// test_posix_comm.cpp's.
#include "SerialClass.h"
#include "support/BarePort.h"
#include "support/Device.h"
#include "support/PortChecks.h"

#include "firmware/scanner/config.h"
#include "platform/posix/speeds.h"

#include <gtest/gtest.h>

#include "tools/device/PortLink.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string Captured() {
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(PosixPort, OpensConfiguresCountsReadsAndWrites) {
    BarePort dev;
    testing::internal::CaptureStdout();
    double t0 = NowMs();
    Serial port("COM6");
    double took = NowMs() - t0;
    EXPECT_EQ(Captured(), "");
    EXPECT_TRUE(port.IsConnected());
    EXPECT_GE(took, 2000.0) << "the constructor waits for the device to start";

    // The device side sees the line as configured: the scanner's speed, 8N1, raw.
    termios t;
    ASSERT_EQ(tcgetattr(dev.master, &t), 0);
    EXPECT_EQ(BaudOfSpeed(cfgetospeed(&t)), SCANNER_BAUD);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB));
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON | ISIG));
    EXPECT_FALSE(t.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(t.c_oflag & OPOST);

    // Counting and reading are checked against the simulator on both builds;
    // here, which bytes a bounded read takes, in order.
    char buf[200];
    memset(buf, 'z', sizeof buf);
    std::string many(150, '7');
    many[99] = '1';
    many[100] = '2';
    dev.Send(many);
    EXPECT_EQ(port.countData(), 150);
    EXPECT_EQ(port.ReadData(buf, 100), 100);
    EXPECT_EQ(buf[99], '1');
    EXPECT_EQ(buf[100], 'z') << "no byte beyond the count asked for";
    EXPECT_EQ(port.countData(), 50);
    EXPECT_EQ(port.ReadData(buf, 100), 50);
    EXPECT_EQ(buf[0], '2');

    // Bytes a terminal would translate or swallow pass both ways unchanged.
    BYTE out[] = {10, 13, 17, 19, 0, 3, 4, 26, 127, 255};
    EXPECT_TRUE(port.WriteData(out, sizeof out));
    EXPECT_EQ(dev.Receive(sizeof out, 1000), std::string(reinterpret_cast<char*>(out), sizeof out));
    usleep(20000);
    EXPECT_EQ(port.countData(), 0) << "no echo";
    dev.Send(std::string(reinterpret_cast<char*>(out), sizeof out));
    EXPECT_EQ(port.ReadData(buf, 100), static_cast<int>(sizeof out));
    EXPECT_EQ(std::string(buf, sizeof out), std::string(reinterpret_cast<char*>(out), sizeof out));
}

TEST(PosixPort, LinkToAnUnpluggedDeviceIsAMissingPort) {
    std::string folder = UsePrivatePortsFolder();
    ASSERT_EQ(symlink("/dev/ttyUSB-unplugged", (folder + "/com6").c_str()), 0);
    ExpectMissingPort("COM6");
    ExpectMissingPort("\\\\.\\COM6");
}

// A COM6 that names no serial line: a plain file, a folder, a FIFO, a socket.
// The open is reported as the configuration failing, at once, and nothing is
// ever read from it or written to it.
TEST(PosixPort, WhatIsNoSerialLineIsNeverReadOrWritten) {
    std::string folder = UsePrivatePortsFolder(), link = folder + "/com6";
    std::string file = folder + "/notes.txt", dir = folder + "/a-folder", fifo = folder + "/a-fifo",
                sock = folder + "/a-socket";
    const std::string notes = "the user's notes\n";
    FILE* f = fopen(file.c_str(), "w");
    fputs(notes.c_str(), f);
    fclose(f);
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    int fifoFd = open(fifo.c_str(), O_RDWR | O_NONBLOCK); // its bytes wait for a reader
    ASSERT_EQ(write(fifoFd, "582", 3), 3);
    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(s, 1), 0);

    for (const std::string& target : {file, dir, fifo, sock}) {
        unlink(link.c_str());
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        testing::internal::CaptureStdout();
        double t0 = NowMs();
        Serial port("COM6");
        EXPECT_LT(NowMs() - t0, 500.0) << target; // no start-up wait (see PortChecks.h)
        EXPECT_EQ(Captured(), "failed to get current serial parameters!") << target;
        EXPECT_FALSE(port.IsConnected());
        ExpectPortFails(port);
    }
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), notes) << "byte for byte";
    int waiting = -1;
    ioctl(fifoFd, FIONREAD, &waiting);
    EXPECT_EQ(waiting, 3) << "the FIFO is neither read nor written";
    EXPECT_EQ(accept(s, nullptr, nullptr), -1) << "no one connected";
    close(fifoFd);
    close(s);
}

// Held exclusively while a process holds the port; free again however the
// holder ended, here killed with the port still open. As an ordinary user a
// terminal marked exclusive would refuse every later open.
TEST(PosixPort, HeldWhileItsHolderRunsAndFreeOnceItHasGone) {
    BarePort dev;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        HANDLE h = CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        char ok = h != INVALID_HANDLE_VALUE;
        if (write(ready[1], &ok, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    EndAtExit(holder);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_TRUE(ok) << "the holder opened COM6";
    HANDLE h = CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "a second opener while it is held";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ForgetAtExit(holder);
    testing::internal::CaptureStdout();
    {
        Serial port("COM6");
        EXPECT_EQ(Captured(), "");
        EXPECT_TRUE(port.IsConnected());
    }
    close(ready[0]);
    close(ready[1]);
}

// A link a device tool made opens while the tool runs. Once the tool has gone
// (killed, so the link stays), the link opens nothing, though it still names
// a live terminal, as a reused pty number would: it reads as the missing
// port, and the terminal is left as it was. A link made by hand opens.
TEST(PosixPort, LinkOfAGoneToolOpensNothing) {
    std::string link = UsePrivatePortsFolder() + "/com6";
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    fcntl(master, F_SETFL, O_NONBLOCK);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    std::string slave = ptsname(master);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t tool = fork();
    if (tool == 0) {
        PlacedLink placed = PlaceLink(link, slave, false);
        if (write(ready[1], "k", 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    EndAtExit(tool);
    char k;
    ASSERT_EQ(read(ready[0], &k, 1), 1);
    HANDLE h = CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "while the tool runs";
    CloseHandle(h);
    kill(tool, SIGKILL);
    waitpid(tool, nullptr, 0);
    ForgetAtExit(tool);

    // Someone's terminal now has the name: in its own mode, not raw.
    termios before, after;
    int probe = open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(tcgetattr(probe, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    ASSERT_EQ(tcsetattr(probe, TCSANOW, &before), 0);
    ExpectMissingPort("COM6");
    ASSERT_EQ(tcgetattr(probe, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "left as it was, not made raw";
    EXPECT_EQ(read(master, &k, 1), -1) << "nothing written to it";

    // socat's pty,link=... or ln -s by hand: no tool's mark, so it opens.
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(slave.c_str(), link.c_str()), 0);
    h = CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "a link made by hand";
    CloseHandle(h);
    close(probe);
    close(master);
    close(ready[0]);
    close(ready[1]);
}

TEST(PosixPort, WriteHeldBackGivesUp) {
    BarePort dev;
    testing::internal::CaptureStdout();
    Serial port("COM6");
    Captured();
    ASSERT_TRUE(port.IsConnected());
    // The device reads nothing: once the line's buffers are full the write
    // waits, but only as long as the port's write bound.
    std::string big(1 << 20, 'x');
    double t0 = NowMs();
    EXPECT_TRUE(
        port.WriteData(reinterpret_cast<BYTE*>(&big[0]), static_cast<unsigned>(big.size())));
    double took = NowMs() - t0;
    // The port's write bound, by the stand-in's clock; a write that never
    // gave up would hold the test to its time-out.
    EXPECT_GE(took, 400.0);
    EXPECT_LT(took, 2000.0);
}

} // namespace
