// Checks a capture of the program's window against the replies a device
// logged: the map's lowest band, between rows 0 and 1, where row 1 is already
// measured. Where the four corners of a quad agree the screen must show their
// colour; everywhere it must lie between theirs.
#pragma once

#include "Device.h"
#include "Gui.h"
#include "scan/Reply.h"
#include "scan/ScanState.h"

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
        return Rgb{int(std::lround(std::min(1.0f, v / 30.0f) * 255)),
                   int(std::lround(std::max(0.0f, 1.0f - v / 30.0f) * 255)), 0};
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
