// Checks shared by the serial port tests.
#pragma once

#include "Device.h"
#include "SerialClass.h"

#include <gtest/gtest.h>

#include <string>

// Every operation of a port that failed reports it, and none waits: all of
// them take less than a quarter of the start-up wait, whatever a busy
// machine holds the test by.
inline void ExpectPortFails(Serial& port) {
    double t0 = NowMs();
    EXPECT_EQ(port.countData(), -1);
    EXPECT_FALSE(port.isData(0));
    char buf[10] = "untouched";
    EXPECT_EQ(port.ReadData(buf, sizeof buf), -1);
    EXPECT_STREQ(buf, "untouched");
    BYTE cmd[2] = {6, 140};
    EXPECT_FALSE(port.WriteData(cmd, 2));
    EXPECT_LT(NowMs() - t0, 500.0);
}

// Opening a port that is not there prints the message at once and leaves an
// object whose every operation fails.
inline void ExpectMissingPort(const char* name) {
    testing::internal::CaptureStdout();
    double t0 = NowMs();
    Serial port(name);
    EXPECT_LT(NowMs() - t0, 500.0) << "no wait when the open fails"; // as above
    fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("ERROR: Handle was not attached. Reason: ") + name + " not available.\n");
    EXPECT_FALSE(port.IsConnected());
    ExpectPortFails(port);
}
