#include "firmware/scanner/config.h"
#include "scan/ScanState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace {

struct Tick {
    int cmdX, cmdY; // the command pair sent
    int col, row;   // the cell the reading goes to
};

struct Raster {
    std::unique_ptr<ScanState> s{new ScanState};
    Raster() { InitScanState(*s, 1234); }
    Tick Step() {
        StepSweep(*s);
        return {s->buffer[0], s->buffer[1], s->posX, s->layerY};
    }
};

// The scanner takes commands within its own ranges (its firmware's facts) and
// clamps the rest: the raster must send each end of them, and nothing beyond.
TEST(Sweep, CommandsSpanTheScannersRangesExactly) {
    Raster r;
    int minX = 255, maxX = 0, minY = 255, maxY = 0;
    for (int t = 0; t < 21432 + 304; t++) {
        Tick k = r.Step();
        minX = std::min(minX, k.cmdX), maxX = std::max(maxX, k.cmdX);
        minY = std::min(minY, k.cmdY), maxY = std::max(maxY, k.cmdY);
    }
    EXPECT_EQ(minX, PAN_MIN);
    EXPECT_EQ(maxX, PAN_MAX);
    EXPECT_EQ(minY, TILT_MIN);
    EXPECT_EQ(maxY, TILT_MAX);
}

TEST(Sweep, StartValues) {
    Raster r;
    EXPECT_EQ(r.s->buffer[0], 5);
    EXPECT_EQ(r.s->buffer[1], 0);
    EXPECT_EQ(r.s->posX, 0);
    EXPECT_EQ(r.s->maxX, 0);
    EXPECT_EQ(r.s->layerY, 0);
    EXPECT_EQ(r.s->layermax, 1);
    EXPECT_FALSE(r.s->reverse);
    EXPECT_EQ(r.s->time, 1234u);
    for (int a = 0; a < GRID_SIZE; a++)
        for (int b = 0; b < GRID_SIZE; b++)
            ASSERT_EQ(r.s->bufferX[a][b], NO_READING);
    // A reading of the lowest possible value must still differ from "no reading".
    EXPECT_LT(NO_READING, 0.0f);
}

// The first 455 ticks from the start values, turns at 151, 303 and 455 included.
TEST(Sweep, FirstTicksFollowTheSerpentine) {
    Raster r;
    for (int t = 1; t <= 150; t++) {
        Tick k = r.Step();
        ASSERT_EQ(k.cmdX, 5 + t) << "tick " << t;
        ASSERT_EQ(k.cmdY, 140) << "tick " << t;
        ASSERT_EQ(k.col, t);
        ASSERT_EQ(k.row, 0);
        ASSERT_EQ(r.s->maxX, t);
        ASSERT_EQ(r.s->layermax, 1);
    }
    Tick k = r.Step(); // 151: forward turn, stored in the new row
    EXPECT_EQ(k.cmdX, 156);
    EXPECT_EQ(k.cmdY, 139);
    EXPECT_EQ(k.col, 151);
    EXPECT_EQ(k.row, 1);
    EXPECT_TRUE(r.s->reverse);
    EXPECT_EQ(r.s->layermax, 2);
    EXPECT_EQ(r.s->maxX, 151);
    for (int t = 152; t <= 302; t++) {
        k = r.Step();
        ASSERT_EQ(k.cmdX, 307 - t) << "tick " << t;
        ASSERT_EQ(k.cmdY, 139);
        ASSERT_EQ(k.col, 302 - t);
        ASSERT_EQ(k.row, 1);
        ASSERT_EQ(r.s->maxX, 151);
    }
    k = r.Step(); // 303: reverse turn, one step beyond the sweep
    EXPECT_EQ(k.cmdX, 4);
    EXPECT_EQ(k.cmdY, 138);
    EXPECT_EQ(k.col, -1);
    EXPECT_FALSE(r.s->reverse);
    EXPECT_EQ(r.s->layerY, 2);
    EXPECT_EQ(r.s->layermax, 3);
    for (int t = 304; t <= 454; t++) {
        k = r.Step();
        ASSERT_EQ(k.cmdX, t - 299) << "tick " << t;
        ASSERT_EQ(k.cmdY, 138);
        ASSERT_EQ(k.col, t - 304);
        ASSERT_EQ(k.row, 2);
    }
    k = r.Step(); // 455
    EXPECT_EQ(k.cmdX, 156);
    EXPECT_EQ(k.cmdY, 137);
    EXPECT_EQ(k.col, 151);
    EXPECT_EQ(k.row, 3);
    EXPECT_TRUE(r.s->reverse);
    EXPECT_EQ(r.s->layermax, 4);
}

// What three whole passes and a little more did: where the passes wrapped,
// and per pass, per row, the columns received and how often.
struct Passes {
    std::vector<int> wraps;
    std::vector<std::vector<std::vector<int>>> hits = std::vector<std::vector<std::vector<int>>>(
        4, std::vector<std::vector<int>>(141, std::vector<int>(152, 0)));
    std::vector<std::vector<bool>> forwardRow =
        std::vector<std::vector<bool>>(4, std::vector<bool>(141, false));
    int firstAtOrigin = 0;
};

// Runs `total` ticks, checking the invariants at every tick and where the
// passes wrap.
void RunPasses(int total, Passes* out) {
    Raster r;
    Passes& p = *out;
    int prevMaxX = r.s->maxX, prevLayermax = r.s->layermax, prevLayer = r.s->layerY;
    int pass = 0;
    for (int t = 1; t <= total; t++) {
        Tick k = r.Step();
        ASSERT_EQ(k.col, k.cmdX - 5) << "tick " << t;
        ASSERT_GE(k.col, -1);
        ASSERT_LE(k.col, 151);
        ASSERT_GE(k.row, 0);
        ASSERT_LE(k.row, 140);
        ASSERT_EQ(k.cmdY, 140 - k.row);
        ASSERT_EQ(k.cmdY == 0, k.row == 140) << "tick " << t;
        ASSERT_GE(r.s->maxX, prevMaxX);
        ASSERT_GE(r.s->layermax, prevLayermax);
        ASSERT_LE(r.s->layermax, 141);
        if (r.s->reverse && k.cmdX != 156) {
            ASSERT_EQ(r.s->maxX, prevMaxX) << "a reverse tick changed maxX at " << t;
        }
        if (prevLayer == 140 && k.row != 140) {
            p.wraps.push_back(t);
            pass++;
            EXPECT_EQ(k.row, 0);
            EXPECT_EQ(k.cmdY, 140);
            EXPECT_EQ(r.s->layermax, 141);
        }
        prevMaxX = r.s->maxX;
        prevLayermax = r.s->layermax;
        prevLayer = k.row;
        if (k.col >= 0) {
            p.hits[pass][k.row][k.col]++;
            if (k.col == 0 && k.row == 0 && p.firstAtOrigin == 0)
                p.firstAtOrigin = t;
        }
        if (!r.s->reverse && k.col >= 0 && k.col < 150)
            p.forwardRow[pass][k.row] = true;
    }
}

// Passes 0..2 are whole; each row is swept once per pass, in the direction
// opposite to the one it had in the pass before.
void CheckEveryRowOncePerPass(const Passes& passes) {
    for (int p = 0; p < 3; p++) {
        for (int row = 0; row <= 140; row++) {
            bool forward = passes.forwardRow[p][row];
            if (p > 0) {
                ASSERT_NE(forward, passes.forwardRow[p - 1][row]) << "pass " << p << " row " << row;
            }
            int lo = (p == 0 && row == 0) ? 1 : 0;
            int hi = forward ? 150 : 151;
            for (int c = 0; c <= 151; c++) {
                int expect = (c >= lo && c <= hi) ? 1 : 0;
                ASSERT_EQ(passes.hits[p][row][c], expect)
                    << "pass " << p << " row " << row << " column " << c;
            }
        }
    }
}

// Three whole passes and a little more: invariants at every tick, where the
// passes wrap, and which columns each row receives in each pass.
TEST(Sweep, WholePassesWrapAndCoverEveryRow) {
    Passes passes;
    ASSERT_NO_FATAL_FAILURE(RunPasses(21430 + 21432 + 21432 + 10, &passes));
    const std::vector<int>& wraps = passes.wraps;
    ASSERT_EQ(wraps.size(), 3u);
    EXPECT_EQ(wraps[0], 21431);
    EXPECT_EQ(wraps[1], 42863);
    EXPECT_EQ(wraps[1] - wraps[0], 21432);
    EXPECT_EQ(wraps[2] - wraps[1], 21432);
    EXPECT_EQ(passes.firstAtOrigin, 21582);

    // Replay the wrap ticks to check the commands they send.
    Raster again;
    for (int t = 1; t <= wraps[1]; t++) {
        Tick k = again.Step();
        if (t == wraps[0]) {
            EXPECT_EQ(k.cmdX, 156); // a forward turn, stored at column 151 of row 0
            EXPECT_EQ(k.cmdY, 140);
            EXPECT_EQ(k.col, 151);
            EXPECT_TRUE(again.s->reverse);
        }
        if (t == wraps[1]) {
            EXPECT_EQ(k.cmdX, 4); // a reverse turn
            EXPECT_EQ(k.cmdY, 140);
            EXPECT_FALSE(again.s->reverse);
        }
    }
    CheckEveryRowOncePerPass(passes);
    EXPECT_TRUE(passes.forwardRow[0][0]);
    EXPECT_FALSE(passes.forwardRow[0][1]);
}

} // namespace
