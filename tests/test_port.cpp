// The serial port against the simulated scanner: the same cases run on the
// POSIX stand-in and, built for Windows, on Wine's Win32 API.
#include "SerialClass.h"
#include "support/Device.h"
#include "firmware/scanner/config.h"
#include "support/PortChecks.h"
#include "support/TickScan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Captured() {
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(Port, OpensCountsReadsAndWrites) {
    DeviceProcess sim({"--fixed", "582"});
    testing::internal::CaptureStdout();
    double t0 = NowMs();
    Serial port("COM6");
    double took = NowMs() - t0;
    EXPECT_EQ(Captured(), "");
    ASSERT_TRUE(port.IsConnected());
    // Windows' Sleep may end a timer step early; no delay shortens a wait.
    EXPECT_GE(took, 2000.0 - 16.0) << "the constructor waits for the device to start";
    // The scanner's firmware is built for the line speed of its facts.
    std::string line = "line set to " + std::to_string(SCANNER_BAUD) + " 8N1";
    EXPECT_NE(sim.Output().find(line), std::string::npos)
        << "the device sees " << line << ": " << sim.Output();

    EXPECT_TRUE(port.isData(0));
    EXPECT_FALSE(port.isData(-1)) << "-1 compares as the largest unsigned count";
    EXPECT_EQ(port.countData(), 0);
    char buf[200];
    memset(buf, 'z', sizeof buf);
    EXPECT_EQ(port.ReadData(buf, 100), -1);
    EXPECT_EQ(buf[0], 'z') << "nothing waiting: nothing read";

    BYTE cmd[2] = {6, 140};
    EXPECT_TRUE(port.WriteData(cmd, 2));
    ASSERT_TRUE(WaitForBytes(port, 3, 2000));
    EXPECT_EQ(port.countData(), 3);
    EXPECT_TRUE(port.isData(3));
    EXPECT_FALSE(port.isData(4));
    EXPECT_EQ(port.ReadData(buf, 100), 3);
    EXPECT_EQ(std::string(buf, 3), "582");
    EXPECT_EQ(buf[3], 'z');
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].h, 6);
    EXPECT_EQ(cmds[0].v, 140);
}

TEST(Port, ReadTakesNoMoreThanAsked) {
    DeviceProcess sim({"--fault", "burst", "--burst-bytes", "150"});
    testing::internal::CaptureStdout();
    Serial port("COM6");
    Captured();
    BYTE cmd[2] = {6, 140};
    port.WriteData(cmd, 2);
    ASSERT_TRUE(WaitForBytes(port, 150, 2000));
    char buf[200];
    memset(buf, 'z', sizeof buf);
    EXPECT_EQ(port.ReadData(buf, 100), 100);
    EXPECT_EQ(buf[100], 'z');
    EXPECT_EQ(port.countData(), 50);
    EXPECT_EQ(port.ReadData(buf, 100), 50);
    EXPECT_EQ(port.countData(), 0);
}

// Bytes a terminal would translate or swallow pass both ways unchanged.
TEST(Port, LineControlBytesPassUnchanged) {
    const std::string control = "\n\r\x11\x13";
    DeviceProcess sim({"--fixed", control});
    testing::internal::CaptureStdout();
    Serial port("COM6");
    Captured();
    BYTE pairs[2][2] = {{10, 13}, {17, 19}};
    for (auto& pair : pairs) {
        ASSERT_TRUE(port.WriteData(pair, 2));
        ASSERT_TRUE(WaitForBytes(port, 4, 2000));
        char buf[10];
        EXPECT_EQ(port.ReadData(buf, sizeof buf), 4);
        EXPECT_EQ(std::string(buf, 4), control);
    }
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].h, 10);
    EXPECT_EQ(cmds[0].v, 13);
    EXPECT_EQ(cmds[1].h, 17);
    EXPECT_EQ(cmds[1].v, 19);
}

TEST(Port, SecondOpenOfABusyPortFails) {
    if (UnderWine())
        GTEST_SKIP() << "Wine does not enforce share mode 0 on serial ports";
    DeviceProcess sim({"--fixed", "582"});
    testing::internal::CaptureStdout();
    Serial first("COM6");
    Captured();
    ASSERT_TRUE(first.IsConnected());
    testing::internal::CaptureStdout();
    double t0 = NowMs();
    Serial second("COM6");
    EXPECT_LT(NowMs() - t0, 500.0); // no start-up wait: a quarter of it, and a busy machine's holds
    EXPECT_EQ(Captured(), "ERROR!!!");
    EXPECT_FALSE(second.IsConnected());
    EXPECT_EQ(second.countData(), -1);
}

TEST(Port, MissingPortIsReportedAtOnce) {
    UsePrivatePortsFolder();
    ExpectMissingPort("COM231");
}

// The device hangs up: every operation reports failure, none waits.
TEST(Port, DeviceGoneIsReported) {
    DeviceProcess sim({"--fixed", "582", "--hangup-after", "1"});
    testing::internal::CaptureStdout();
    Serial port("COM6");
    Captured();
    BYTE cmd[2] = {6, 140};
    port.WriteData(cmd, 2);
    ASSERT_TRUE(sim.Exited(3000));
    Sleep(50);
    ExpectPortFails(port);
}

} // namespace
