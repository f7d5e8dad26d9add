// The serial port against a real pseudo-terminal that the test drives directly.
#include "SerialClass.h"
#include "support/BarePort.h"
#include "support/Device.h"
#include "support/PortChecks.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

std::string Captured() {
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(SerialPort, OpensConfiguresCountsReadsAndWrites) {
    BarePort dev;
    testing::internal::CaptureStdout();
    double t0 = NowMs();
    Serial port("COM6");
    double took = NowMs() - t0;
    EXPECT_EQ(Captured(), "");
    EXPECT_TRUE(port.IsConnected());
    EXPECT_GE(took, 2000.0) << "the constructor waits for the device to start";

    // The device side sees the line as configured: 115200 8N1, raw.
    termios t;
    ASSERT_EQ(tcgetattr(dev.master, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
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

TEST(SerialPort, LinkToAnUnpluggedDeviceIsAMissingPort) {
    std::string folder = UsePrivatePortsFolder();
    ASSERT_EQ(symlink("/dev/ttyUSB-unplugged", (folder + "/com6").c_str()), 0);
    ExpectMissingPort("COM6");
    ExpectMissingPort("\\\\.\\COM6");
}

TEST(SerialPort, NonSerialDeviceFailsConfiguration) {
    std::string path = UsePrivatePortsFolder() + "/plain-file";
    close(open(path.c_str(), O_CREAT | O_WRONLY, 0644));
    testing::internal::CaptureStdout();
    double t0 = NowMs();
    {
        Serial port(path.c_str());
        EXPECT_LT(NowMs() - t0, 500.0);
        EXPECT_EQ(Captured(), "failed to get current serial parameters!");
        EXPECT_FALSE(port.IsConnected());
    }
    // The object closed what it opened: the file can be held exclusively again.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

TEST(SerialPort, WriteHeldBackGivesUp) {
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
    EXPECT_GE(took, 400.0);
    EXPECT_LT(took, 2000.0);
}

// The stand-in's DCB mapping, read back from the device side.
TEST(CommState, DcbMapsToTermiosAndBack) {
    BarePort dev;
    HANDLE h = CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB d;
    memset(&d, 0, sizeof d);
    ASSERT_TRUE(GetCommState(h, &d));
    EXPECT_EQ(d.DCBlength, sizeof(DCB));
    EXPECT_TRUE(d.fBinary);
    EXPECT_FALSE(d.fOutX) << "no XON/XOFF unless asked for";

    // A pseudo-terminal keeps speed, stop bits and flow control; it forces
    // 8 bits and no parity whatever is asked, and GetCommState tells the truth.
    d.BaudRate = CBR_9600;
    d.ByteSize = 7;
    d.Parity = EVENPARITY;
    d.StopBits = TWOSTOPBITS;
    d.fOutX = TRUE;
    ASSERT_TRUE(SetCommState(h, &d));
    termios t;
    ASSERT_EQ(tcgetattr(dev.master, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_iflag & IXON);

    DCB back;
    ASSERT_TRUE(GetCommState(h, &back));
    EXPECT_EQ(back.BaudRate, 9600u);
    EXPECT_EQ(back.StopBits, TWOSTOPBITS);
    EXPECT_TRUE(back.fOutX);
    EXPECT_EQ(back.ByteSize, (t.c_cflag & CSIZE) == CS7 ? 7 : 8);

    DCB bad = back;
    bad.BaudRate = 12345;
    EXPECT_FALSE(SetCommState(h, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    bad = back;
    bad.ByteSize = 9;
    EXPECT_FALSE(SetCommState(h, &bad));

    // With XON/XOFF asked for, an XOFF from the device holds writes back, and
    // the write timeout bounds the wait.
    COMMTIMEOUTS to = {0, 0, 0, 0, 300};
    ASSERT_TRUE(SetCommTimeouts(h, &to));
    dev.Send("\x13");
    std::string data(1 << 16, 'y');
    DWORD sent = 12345;
    double t0 = NowMs();
    EXPECT_TRUE(WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &sent, NULL));
    double took = NowMs() - t0;
    EXPECT_LT(sent, data.size());
    EXPECT_GE(took, 250.0);
    EXPECT_LT(took, 1500.0);

    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
