// The acquisition tick against the simulated scanner on a real
// pseudo-terminal: the replies a device gives when it works, when it is slow,
// split, bursting, silent or gone, and a port that never opened. How the line
// models' pieces are framed is test_tick_lines.cpp's.
#include "SerialClass.h"
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "support/Device.h"
#include "support/TickScan.h"
#include "tools/device/Line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(Tick, DueOnlyAfterMoreThan250ms) {
    std::unique_ptr<ScanState> s(new ScanState);
    InitScanState(*s, 1000);
    EXPECT_FALSE(TickDue(*s, 1000));
    EXPECT_FALSE(TickDue(*s, 1250));
    EXPECT_TRUE(TickDue(*s, 1251));
    // Across the wrap of the 32-bit tick counter.
    s->time = 0xFFFFFF80u;                  // 128 ms before the wrap
    EXPECT_FALSE(TickDue(*s, 0x00000079u)); // 249 ms later
    EXPECT_FALSE(TickDue(*s, 0x0000007Au)); // 250 ms later
    EXPECT_TRUE(TickDue(*s, 0x0000007Bu));  // 251 ms later
    EXPECT_FALSE(TickDue(*s, 0xFFFFFF80u));
}

TEST(Tick, FirstReplyLandsAtColumnOneRowZero) {
    DeviceProcess sim({"--fixed", "582"});
    Scan scan;
    ASSERT_TRUE(scan.port->IsConnected());
    uint32_t before = GetTickCount();
    scan.Tick();
    EXPECT_EQ(scan.Cell(1, 0), 10.0f);
    EXPECT_GE(scan.s->time, before);
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].h, 6);
    EXPECT_EQ(cmds[0].v, 140);
    EXPECT_EQ(scan.Cell(0, 0), NO_READING);
    EXPECT_EQ(scan.Cell(2, 0), NO_READING);
}

// Past both turns: every command the scanner saw and every cell the replies
// went to, against an independent replay of the raster.
TEST(Tick, ScanFollowsTheRasterAndStoresEveryReply) {
    DeviceProcess sim({"--latency", "2"});
    Scan scan;
    std::unique_ptr<ScanState> replay(new ScanState);
    InitScanState(*replay, 0);
    const int ticks = 310;
    for (int i = 0; i < ticks; i++)
        scan.Tick();
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), static_cast<size_t>(ticks));
    int stored = 0;
    for (int i = 0; i < ticks; i++) {
        StepSweep(*replay);
        ASSERT_EQ(cmds[i].h, replay->buffer[0]) << "tick " << i + 1;
        ASSERT_EQ(cmds[i].v, replay->buffer[1]) << "tick " << i + 1;
        if (replay->posX < 0)
            continue; // the reverse turn's reading has no cell
        // Later ticks may overwrite a cell only in a later pass: not within 310.
        ASSERT_EQ(scan.Cell(replay->posX, replay->layerY), Decode(cmds[i].reply))
            << "tick " << i + 1;
        stored++;
    }
    EXPECT_EQ(stored, ticks - 1);
    EXPECT_EQ(scan.s->maxX, 151);
    EXPECT_EQ(scan.s->layermax, 3);
}

// A reply in two pieces: the tick decodes what the count saw; the rest is
// waiting when the next tick begins and is dropped before its command, so the
// next reading is its own again.
TEST(Tick, SplitReplyIsDecodedAsFarAsCountedAndItsTailDropped) {
    DeviceProcess sim(
        {"--fixed", "1746", "--fault", "split", "--fault-count", "1", "--split-ms", "60"});
    Scan scan;
    scan.Tick();
    EXPECT_EQ(scan.Cell(1, 0), Decode("17"));
    Sleep(150);
    EXPECT_EQ(scan.port->countData(), 2);
    scan.Tick();
    EXPECT_EQ(scan.Cell(2, 0), Decode("1746"));
    Sleep(150);
    scan.Tick();
    EXPECT_EQ(scan.Cell(3, 0), Decode("1746"));
}

// A burst in answer to one command, as long as the line carries in 868 ms of
// the tick's 1000 (10,000 bytes at 115200 baud): the reply buffer takes 100
// of them, the rest counted with them is dropped, and nothing is written
// outside. What is left of it is dropped before the next command.
TEST(Tick, BurstIsBoundedByTheReplyBuffer) {
    const long burst = SCANNER_BAUD / 10 * 868 / 1000;
    DeviceProcess sim({"--fixed", "582", "--fault", "burst", "--fault-count", "1", "--burst-bytes",
                       std::to_string(burst)});
    Scan scan;
    scan.Tick();
    EXPECT_EQ(scan.Cell(1, 0), Decode(std::string(100, '9')));
    EXPECT_EQ(std::string(scan.s->str, REPLY_BUFFER_SIZE), std::string(100, '9'));
    for (int i = 2; i <= 4; i++) {
        Sleep(50);
        scan.Tick();
        EXPECT_EQ(scan.Cell(i, 0), 10.0f) << "tick " << i;
    }
    EXPECT_EQ(scan.Cell(5, 0), NO_READING);
    EXPECT_EQ(scan.Cell(0, 0), NO_READING);
}

// Bytes the device sends before it is asked anything are no reply.
TEST(Tick, UnaskedBytesAreNotTakenAsTheFirstReply) {
    DeviceProcess sim({"--fixed", "582", "--unasked", "1234"}); // during the start-up wait
    Scan scan;
    EXPECT_EQ(scan.port->countData(), 4);
    scan.Tick();
    EXPECT_EQ(scan.Cell(1, 0), 10.0f);
    EXPECT_EQ(scan.port->countData(), 0);
}

// A reply that never comes, or comes too late: the tick gives up at the bound
// and stores "no reading"; what arrives later is not taken as the next reply.
TEST(Tick, SilentTickGivesUpAndLateReplyIsDiscarded) {
    DeviceProcess sim(
        {"--fixed", "582", "--fault", "slow", "--fault-count", "1", "--slow-ms", "1150"});
    Scan scan;
    scan.s->bufferX[1][0] = 5.0f; // an old reading the silent tick must not keep
    // The tick waits its bound by its own count, which is whole milliseconds
    // of the test's clock; past it, only what a busy machine holds it by.
    double took = scan.Tick();
    EXPECT_GE(took, REPLY_TIMEOUT_MS - 2.0);
    EXPECT_LT(took, REPLY_TIMEOUT_MS + OBSERVER_DELAY_MS);
    EXPECT_EQ(scan.Cell(1, 0), NO_READING);
    // The late reply arrives before the next command: 1150 ms after the
    // simulator read the first, however late that was.
    ASSERT_TRUE(WaitForBytes(*scan.port, 3, 1000));
    took = scan.Tick(); // no wait for its bound: the reply comes at once
    EXPECT_LT(took, REPLY_TIMEOUT_MS / 2.0);
    EXPECT_EQ(scan.Cell(2, 0), 10.0f);
    EXPECT_EQ(scan.port->countData(), 0);
    auto cmds = sim.Commands();
    ASSERT_EQ(cmds.size(), 2u);
}

// A reply still arriving when the bound runs out: what came is decoded, the
// rest is dropped before the next command, whose reply is its own. The reply
// is 4,000 digits (347 ms of the line at 115200 baud) that begin 830 ms after
// the simulator read the command: before the bound, as long as that read
// came less than 170 ms after the tick began (OBSERVER_DELAY_MS and more),
// and still coming 177 ms after the bound, however soon the read came, when
// the tick has ended even on a stepping count and held by a busy machine.
TEST(Tick, ReplyCutByTheBoundIsDecodedAsFarAsItCame) {
    std::string digits;
    for (int i = 0; i < 4000; i++)
        digits += static_cast<char>('1' + i % 9);
    DeviceProcess sim({"--fixed", digits, "--fault", "slow", "--fault-count", "1", "--slow-ms",
                       std::to_string(std::lround(REPLY_TIMEOUT_MS - OBSERVER_DELAY_MS - 20))});
    Scan scan;
    double took = scan.Tick(); // ends at its bound, held at most by a busy machine
    EXPECT_LT(took, REPLY_TIMEOUT_MS + OBSERVER_DELAY_MS);
    float cut = scan.Cell(1, 0);
    int came = 0;
    for (int k = 1; k <= REPLY_BUFFER_SIZE && !came; k++)
        if (cut == DecodeReply(digits.data(), k))
            came = k;
    EXPECT_GT(came, 0) << "not the decode of a part of the reply: " << cut;
    // The next tick begins once the rest has come (by 177 ms and a read's
    // delay after the bound): it is waiting, and dropped.
    Sleep(static_cast<DWORD>(OBSERVER_DELAY_MS + 250));
    ASSERT_GT(scan.port->countData(), 0);
    scan.Tick();
    EXPECT_EQ(scan.Cell(2, 0), DecodeReply(digits.data(), REPLY_BUFFER_SIZE));
}

TEST(Tick, DeviceGoneMeansNoWait) {
    DeviceProcess sim({"--fixed", "582", "--hangup-after", "2"});
    Scan scan;
    scan.Tick();
    scan.Tick();
    EXPECT_EQ(scan.Cell(2, 0), 10.0f);
    ASSERT_TRUE(sim.Exited(2000)) << "the simulator hangs up after two commands";
    // A tick that waits for nothing takes only what a busy machine holds it by.
    for (int i = 3; i <= 5; i++) {
        EXPECT_LT(scan.Tick(), OBSERVER_DELAY_MS) << "tick " << i;
        EXPECT_EQ(scan.Cell(i, 0), NO_READING);
    }
}

// The device hangs up 10 ms after the first half of its reply, well within
// the quiet gap: the digits that came are no reading.
TEST(Tick, HangUpInTheMiddleOfAReplyIsNoReading) {
    DeviceProcess sim(
        {"--fixed", "28910", "--fault", "cut", "--fault-from", "2", "--split-ms", "10"});
    Scan scan;
    scan.Tick();
    EXPECT_EQ(scan.Cell(1, 0), Decode("28910"));
    memset(scan.s->str, 'x', REPLY_BUFFER_SIZE);
    scan.Tick();
    EXPECT_EQ(std::string(scan.s->str, 3), "28x") << "the first half came";
    EXPECT_EQ(scan.Cell(2, 0), NO_READING);
}

TEST(Tick, PortThatNeverOpenedMeansNoWait) {
    UsePrivatePortsFolder();
    Scan scan("COM6");
    ASSERT_FALSE(scan.port->IsConnected());
    for (int i = 1; i <= 3; i++) { // waits for nothing, as above
        EXPECT_LT(scan.Tick(), OBSERVER_DELAY_MS);
        EXPECT_EQ(scan.Cell(i, 0), NO_READING);
    }
    EXPECT_EQ(scan.s->posX, 3);
}

} // namespace
