// The tick against a scripted device on a virtual clock: three whole passes of
// the raster (64,296 ticks), where every reading lands in its own cell and no
// other cell changes; a device that never stops; replies in pieces read on a
// clock that steps as Windows' does, or by a program held between two looks.
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "support/ScriptedSerial.h"
#include "support/VirtualTime.h"

#include "firmware/scanner/config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// A reply unique to each position, so a reading in the wrong cell shows.
std::string Echo(BYTE h, BYTE v) {
    return std::to_string(1000 + h * 200 + v);
}

TEST(TickClock, ThreePassesStoreEveryReadingInItsCell) {
    ScriptedLine line;
    line.device = Echo;
    AttachLine(&line);
    Serial port("COM6");
    AttachLine(nullptr);
    std::unique_ptr<ScanState> s(new ScanState), replay(new ScanState);
    InitScanState(*s, GetTickCount());
    InitScanState(*replay, 0);
    std::unique_ptr<float[]> expected(new float[GRID_SIZE * GRID_SIZE]);
    for (int i = 0; i < GRID_SIZE * GRID_SIZE; i++)
        expected[i] = NO_READING;

    const int ticks = 21430 + 2 * 21432;
    for (int t = 1; t <= ticks; t++) {
        AcquireSample(*s, port);
        StepSweep(*replay);
        ASSERT_EQ(line.sent.size(), static_cast<size_t>(t));
        ASSERT_EQ(line.sent.back().first, replay->buffer[0]) << "tick " << t;
        ASSERT_EQ(line.sent.back().second, replay->buffer[1]) << "tick " << t;
        if (replay->posX >= 0) {
            std::string r = Echo(replay->buffer[0], replay->buffer[1]);
            expected[replay->posX * GRID_SIZE + replay->layerY] =
                DecodeReply(r.data(), static_cast<int>(r.size()));
        }
        ASSERT_TRUE(line.waiting.empty()) << "tick " << t << " left bytes behind";
        if (t % 21432 == 0 || t == ticks) {
            for (int a = 0; a < GRID_SIZE; a++)
                for (int b = 0; b < GRID_SIZE; b++)
                    ASSERT_EQ(s->bufferX[a][b], expected[a * GRID_SIZE + b])
                        << "cell " << a << "," << b << " after tick " << t;
        }
    }
    EXPECT_EQ(s->maxX, 151);
    EXPECT_EQ(s->layermax, 141);
    // Every cell the raster reaches holds a reading; the rest of the grid none.
    for (int a = 0; a < GRID_SIZE; a++)
        for (int b = 0; b < GRID_SIZE; b++)
            EXPECT_EQ(s->bufferX[a][b] != NO_READING, a <= 151 && b <= 140) << a << "," << b;
}

// A device that sends without end: each count finds 4,000 more bytes. The tick
// drops what it can for at most DRAIN_MS before its command, then listens for
// the reply, and ends within its bound; also on a clock that steps as
// Windows' does, where each bound may be passed by up to a step. A drain that
// ran to its bound cannot tell the stream from the reply: no reading.
TEST(TickClock, EndlessSenderDoesNotHoldTheTick) {
    for (double step : {0.0, 15.625}) {
        SetVirtualTickStep(step);
        ScriptedLine line;
        line.trickle.assign(100000, std::string(4000, '3'));
        AttachLine(&line);
        Serial port("COM6");
        AttachLine(nullptr);
        std::unique_ptr<ScanState> s(new ScanState);
        InitScanState(*s, GetTickCount());
        for (int t = 1; t <= 3; t++) {
            DWORD t0 = GetTickCount();
            AcquireSample(*s, port);
            EXPECT_LE(GetTickCount() - t0, REPLY_TIMEOUT_MS + step) << "tick " << t;
            ASSERT_EQ(line.sent.size(), static_cast<size_t>(t));
            EXPECT_LE(line.sentAt.back() - t0, DRAIN_MS + step) << "the command of tick " << t;
            EXPECT_EQ(s->bufferX[t][0], NO_READING) << "tick " << t;
        }
        EXPECT_FALSE(line.trickle.empty());
    }
    SetVirtualTickStep(0);
}

// A reply in two pieces, read where the tick count steps every 15.625 ms while
// sleeps last 1 ms (Windows with a raised timer resolution). The first piece
// comes just before a step: two readings of the count then differ by 31 ms
// only 17 ms later. A gap shorter than the quiet gap still joins the pieces;
// a longer one ends the reply after its first piece.
TEST(TickClock, PiecesOfAReplyJoinOnASteppingClock) {
    SetVirtualTickStep(15.625);
    for (int gap : {18, 60}) {
        ScriptedLine line;
        // One count for the drain before the command, then one a millisecond.
        line.trickle.assign(200, "");
        line.trickle[1 + 15] = "12";
        line.trickle[1 + 15 + gap] = "34";
        AttachLine(&line);
        Serial port("COM6");
        AttachLine(nullptr);
        std::unique_ptr<ScanState> s(new ScanState);
        SetVirtualMs(64 * 15.625); // on a step
        InitScanState(*s, GetTickCount());
        AcquireSample(*s, port);
        const char* expect = gap < static_cast<int>(QUIET_GAP_MS) ? "1234" : "12";
        EXPECT_EQ(s->bufferX[1][0], DecodeReply(expect, static_cast<int>(strlen(expect))))
            << "pieces " << gap << " ms apart";
    }
    SetVirtualTickStep(0);
}

// One tick from the start of the scan, on a port attached to `line`.
std::unique_ptr<ScanState> OneTick(ScriptedLine& line) {
    AttachLine(&line);
    Serial port("COM6");
    AttachLine(nullptr);
    std::unique_ptr<ScanState> s(new ScanState);
    InitScanState(*s, GetTickCount());
    AcquireSample(*s, port);
    return s;
}

// Stale bytes on every count until the command goes out, then the scanner's
// slowest answer: the settle after the raster's largest move (the tilt's
// return), an echo time-out, and a USB adapter's hold, which the quiet gap
// covers. The drain, held to its bound, still leaves the reply its time, so
// that it is taken whole and not left for the next tick; it is no reading,
// as the stale stream might have run on into it.
TEST(TickClock, ALongDrainLeavesTheSlowestAnswerItsTime) {
    const double slowest = SETTLE_MS + SETTLE_MS_PER_DEGREE * (TILT_MAX - TILT_MIN) / 2.0 +
                           ECHO_TIMEOUT_US / 1000.0 + QUIET_GAP_MS;
    ScriptedLine line;
    double answerAt = -1;
    line.beforeCount = [&](int) {
        if (line.sent.empty()) {
            line.waiting += "3333";
        } else if (answerAt < 0) {
            answerAt = VirtualMs() + slowest;
        } else if (answerAt > 0 && VirtualMs() >= answerAt) {
            line.waiting += "582";
            answerAt = 0;
        }
    };
    std::unique_ptr<ScanState> s = OneTick(line);
    EXPECT_EQ(std::string(s->str, 3), "582");
    EXPECT_EQ(s->bufferX[1][0], NO_READING);
}

// The program held for 30 ms just after a count found the line empty, while
// the rest of the reply arrived: the wait it was held in is not quiet on the
// line, and the reply's pieces are joined.
TEST(TickClock, AWaitTheTickWasHeldInIsNotQuiet) {
    ScriptedLine line;
    // The drain's count, the first piece, two empty counts (the clock seen to
    // move by 1 ms) and then the hold.
    line.trickle = {"", "12", "", "", "34"};
    line.afterCount = [](int counts) {
        if (counts == 3)
            SetVirtualMs(VirtualMs() + 30);
    };
    std::unique_ptr<ScanState> s = OneTick(line);
    EXPECT_EQ(s->bufferX[1][0], DecodeReply("1234", 4));
}

// The program held for 30 ms between reading the clock and the count that
// finds the first piece of a reply: the piece may have come at the end of the
// hold, so the second piece 15 ms later still belongs to it.
TEST(TickClock, BytesAreTimedAfterTheCountThatFoundThem) {
    ScriptedLine line;
    line.trickle.assign(40, "");
    line.trickle[1] = "12";
    line.trickle[1 + 15] = "34";
    line.beforeCount = [](int counts) {
        if (counts == 1)
            SetVirtualMs(VirtualMs() + 30);
    };
    std::unique_ptr<ScanState> s = OneTick(line);
    EXPECT_EQ(std::string(s->str, 4), "1234");
}

// A port that fails in the middle of a reply leaves no reading: the digits
// that came are a part of a number, not the number.
TEST(TickClock, PortFailingInTheMiddleOfAReplyLeavesNoReading) {
    ScriptedLine line;
    line.trickle = {"", "28", "", ""};
    line.beforeCount = [&line](int counts) { line.gone = counts == 3; };
    std::unique_ptr<ScanState> s = OneTick(line);
    EXPECT_EQ(std::string(s->str, 2), "28");
    EXPECT_EQ(s->bufferX[1][0], NO_READING);
}

} // namespace
