// Checks a capture of the program's window against the replies a device
// logged: the map's lowest band, between rows 0 and 1, where row 1 is already
// measured. Where the four corners of a quad agree the screen must show their
// colour; everywhere it must lie between theirs.
#pragma once

#include "Device.h"
#include "Gui.h"
#include "render/Surface.h"
#include "scan/Reply.h"
#include "scan/ScanState.h"
#include "tools/device/Scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

// `done` commands had been logged when the window was captured. Returns how
// many quads were checked exactly.
inline int CheckLowestBand(const std::vector<Rgb>& shot, int width, int height,
                           const std::vector<SimProcess::Command>& cmds, size_t done) {
    // Rows 0 and 1 from the replies: row 0 by ticks 1..150, row 1 by 151..302.
    std::unique_ptr<ScanState> grid(new ScanState);
    InitScanState(*grid, 0);
    for (size_t i = 0; i + 1 < done && i < cmds.size(); i++) {
        StepSweep(*grid);
        if (grid->posX >= 0)
            grid->bufferX[grid->posX][grid->layerY] =
                DecodeReply(cmds[i].reply.data(), static_cast<int>(cmds[i].reply.size()));
    }
    auto colour = [](float v) {
        return Rgb{int(std::lround(std::min(1.0f, v / MAP_FULL_RED_CM) * 255)),
                   int(std::lround(std::max(0.0f, 1.0f - v / MAP_FULL_RED_CM) * 255)), 0};
    };
    // Row 1 is filled from column 151 down, one column a tick from tick 151.
    int firstFull = 302 - static_cast<int>(done - 1) + 1;
    int checked = 0;
    for (int a = std::max(1, firstFull); a < 148; a++) {
        float c[4] = {grid->bufferX[a][0], grid->bufferX[a + 1][0], grid->bufferX[a][1],
                      grid->bufferX[a + 1][1]};
        float lo = *std::min_element(c, c + 4), hi = *std::max_element(c, c + 4);
        EXPECT_GE(lo, 0.0f) << "column " << a;
        int x = (2 * a + 1) * width / (2 * 151), yFromBottom = height / 280;
        Rgb got = shot[static_cast<size_t>(height - 1 - yFromBottom) * width + x];
        Rgb cl = colour(lo), ch = colour(hi);
        EXPECT_GE(got.r, cl.r - 3) << "column " << a;
        EXPECT_LE(got.r, ch.r + 3) << "column " << a;
        EXPECT_GE(got.g, ch.g - 3) << "column " << a;
        EXPECT_LE(got.g, cl.g + 3) << "column " << a;
        EXPECT_EQ(got.b, 0);
        if (hi - lo < 0.2f) {
            EXPECT_NEAR(got.r, colour(lo).r, 4) << "column " << a;
            checked++;
        }
    }
    return checked;
}

// True where the scene gives no echo along a command's aim and a command step
// to either side, so that the aim's rounding on a board cannot change it.
inline bool NoEchoAround(int h, int v) {
    for (int dh = -1; dh <= 1; dh++)
        if (Echoes(RangeCm(static_cast<uint8_t>(h + dh), static_cast<uint8_t>(v))))
            return false;
    return true;
}

// Where nothing echoes in rows 0 and 1, the map shows red without green
// between such points, where the row above is also such a point or not yet
// measured. With `firmware` (the replies are the scanner's firmware's, not the
// simulator's, which answers from the same scene), the device also replied the
// far reading there, 30 cm or more. Returns how many readings it checked.
inline int CheckFarWhereNothingEchoes(const std::vector<Rgb>& shot, int width, int height,
                                      const std::vector<SimProcess::Command>& cmds, size_t done,
                                      bool firmware) {
    std::unique_ptr<ScanState> grid(new ScanState);
    InitScanState(*grid, 0);
    std::vector<bool> far(2 * GRID_SIZE, false), measured(2 * GRID_SIZE, false);
    int checked = 0;
    for (size_t i = 0; i + 1 < done && i < cmds.size(); i++) {
        StepSweep(*grid);
        if (grid->posX < 0 || grid->layerY > 1)
            continue;
        size_t cell = static_cast<size_t>(grid->layerY * GRID_SIZE + grid->posX);
        measured[cell] = true;
        if (!NoEchoAround(cmds[i].h, cmds[i].v))
            continue;
        far[cell] = true;
        checked++;
        if (!firmware)
            continue;
        EXPECT_EQ(cmds[i].reply, EncodeEcho(INFINITY)) << "command " << i + 1;
        EXPECT_GE(DecodeReply(cmds[i].reply.data(), static_cast<int>(cmds[i].reply.size())), 30.0f)
            << "command " << i + 1;
    }
    auto farOrUnmeasured = [&](int a) { return far[GRID_SIZE + a] || !measured[GRID_SIZE + a]; };
    for (int a = 0; a < 149; a++) {
        if (!far[a] || !far[a + 1] || !farOrUnmeasured(a) || !farOrUnmeasured(a + 1))
            continue;
        int x = (2 * a + 1) * width / (2 * 151), yFromBottom = height / 280;
        Rgb got = shot[static_cast<size_t>(height - 1 - yFromBottom) * width + x];
        // Red, shading to black towards a row above not yet measured.
        EXPECT_LE(got.g, 3) << "green where nothing echoes, column " << a;
        EXPECT_GE(got.r, 100) << "column " << a;
    }
    return checked;
}
