// The acquisition tick over every line model against the simulated
// scanner: each reading is the whole reply, on a fine clock and on one that
// steps as Windows' does, and a reply cut by the bound or stale bytes over a
// USB adapter stay out of the next reading.
#include "SerialClass.h"
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "support/Device.h"
#include "support/TickScan.h"
#include "tools/device/Line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Every line model, with replies of 1 to 100 digits: each stored reading is
// the decode of the whole reply the scanner sent for that command. Also with
// the stand-in's clock as on Windows: its count stepping every 15.625 ms, with
// sleeps rounded up to those steps (the default timer) or not (a timer whose
// resolution another program raised). Wine's clock is what it is: fine only.
enum Clocks { FINE, WINDOWS_DEFAULT, WINDOWS_RAISED };

struct Framing {
    const char* line;
    Clocks clock;
};

class EveryModel : public testing::TestWithParam<Framing> {
  protected:
    void SetClock(Clocks c) {
        putenv(const_cast<char*>(c != FINE ? "RANGESCAN_COARSE_TICK=15.625"
                                           : "RANGESCAN_COARSE_TICK="));
        putenv(const_cast<char*>(c == WINDOWS_DEFAULT ? "RANGESCAN_COARSE_SLEEP=15.625"
                                                      : "RANGESCAN_COARSE_SLEEP="));
    }
    void TearDown() override { SetClock(FINE); }
};

TEST_P(EveryModel, EveryReadingIsTheWholeReply) {
    if (GetParam().clock != FINE && UnderWine())
        GTEST_SKIP() << "the coarse clock is the POSIX stand-in's";
    DeviceProcess sim({"--line", GetParam().line, "--digits", "1-100", "--latency", "2"});
    SetClock(GetParam().clock);
    Scan scan;
    std::unique_ptr<ScanState> replay(new ScanState);
    InitScanState(*replay, 0);
    // The bytes each tick took, compared with the reply: a decode of 40 or
    // more digits is infinite, so the readings alone would not show a cut.
    const int ticks = 100;
    std::vector<std::string> took;
    for (int i = 0; i < ticks; i++) {
        memset(scan.s->str, 'x', REPLY_BUFFER_SIZE);
        scan.Tick();
        took.emplace_back(scan.s->str, REPLY_BUFFER_SIZE);
    }
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), static_cast<size_t>(ticks));
    int wrong = 0;
    std::string first;
    for (int i = 0; i < ticks; i++) {
        StepSweep(*replay);
        std::string whole = cmds[i].reply.substr(0, REPLY_BUFFER_SIZE);
        whole.resize(REPLY_BUFFER_SIZE, 'x');
        bool right =
            took[i] == whole && scan.Cell(replay->posX, replay->layerY) == Decode(cmds[i].reply);
        if (!right && !wrong++)
            first =
                "tick " + std::to_string(i + 1) + ", reply " + cmds[i].reply + ", took " + took[i];
    }
    EXPECT_EQ(wrong, 0) << "wrong readings; the first: " << first;
}

std::vector<Framing> AllFramings() {
    std::vector<Framing> all;
    for (Clocks c : {FINE, WINDOWS_DEFAULT, WINDOWS_RAISED})
        for (int m = 0; m < LINE_COUNT; m++)
            all.push_back({LINE_MODELS[m].name, c});
    return all;
}

std::string FramingName(const testing::TestParamInfo<Framing>& p) {
    const char* clocks[] = {"", "WindowsTimer", "WindowsTimerRaised"};
    return std::string(p.param.line) + clocks[p.param.clock];
}

// Test names, as CTest lists them, carry the parameter printed.
void PrintTo(const Framing& f, std::ostream* os) {
    const char* clocks[] = {"fine clock", "Windows' default timer", "a raised timer"};
    *os << f.line << " line, " << clocks[f.clock];
}

INSTANTIATE_TEST_SUITE_P(TickLines, EveryModel, testing::ValuesIn(AllFramings()), FramingName);

// A reply cut by the bound (as in Tick.ReplyCutByTheBoundIsDecodedAsFarAsItCame)
// over a USB adapter, with the next tick at once: the cut reply's
// last packets come while it begins, the first perhaps only after its first
// count. None of them is taken into its reading.
TEST(TickLines, ReplyCutByTheBoundOverAUsbAdapterStaysOutOfTheNextReading) {
    DeviceProcess sim({"--line", "ftdi", "--digits", "480-480", "--latency", "2", "--fault", "slow",
                       "--fault-count", "1", "--slow-ms", std::to_string(REPLY_TIMEOUT_MS - 25)});
    Scan scan;
    scan.Tick();
    memset(scan.s->str, 'x', REPLY_BUFFER_SIZE);
    scan.Tick();
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(std::string(scan.s->str, REPLY_BUFFER_SIZE), cmds[1].reply.substr(0, 100));
}

// Stale bytes reaching the computer through a USB adapter, in 62-byte packets
// 5.4 ms apart and a last short one up to 16 ms later, while the next tick
// begins: all of them are dropped before its command, and its reply is its
// own, byte for byte.
TEST(TickLines, StaleBurstOverAUsbAdapterIsDroppedBeforeTheCommand) {
    DeviceProcess sim({"--line", "ftdi", "--digits", "480-480", "--latency", "2", "--fault", "slow",
                       "--fault-count", "1", "--slow-ms", "1150"});
    Scan scan;
    scan.Tick(); // its reply comes 1150 ms after the command: none by the bound
    EXPECT_EQ(scan.Cell(1, 0), NO_READING);
    // The next tick begins as the late reply's first packet has come, 1150 ms
    // after the simulator read the first command, however late that was.
    ASSERT_TRUE(WaitForBytes(*scan.port, 1, 1000));
    memset(scan.s->str, 'x', REPLY_BUFFER_SIZE);
    double took = scan.Tick();
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(std::string(scan.s->str, REPLY_BUFFER_SIZE), cmds[1].reply.substr(0, 100));
    EXPECT_LT(took, REPLY_TIMEOUT_MS); // a prompt reply: not held to its bound
}

} // namespace
