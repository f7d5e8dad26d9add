// The POSIX stand-in's communications calls against a real pseudo-terminal
// that the test drives directly: the DCB mapped to termios and back, and the
// write timeout under XON/XOFF flow control.
#include "support/BarePort.h"
#include "tools/device/Clock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <termios.h>

namespace {

// The stand-in's DCB mapping, read back from the device side.
TEST(PosixComm, DcbMapsToTermiosAndBack) {
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
    // The write ends at its 300 ms bound on the stand-in's whole-millisecond
    // clock; past it, only a busy machine's holds, well under the 1500 ms
    // a bound not kept would show.
    EXPECT_GE(took, 250.0);
    EXPECT_LT(took, 1500.0);

    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
