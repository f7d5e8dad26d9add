// Checks a capture of the program's window: the map's lowest band, between
// rows 0 and 1, against what its cells must hold. Where the four corners of a
// quad agree the screen must show their colour; everywhere it must lie between
// theirs. Colours and places on screen are the program's own (render/).
#pragma once

#include "Device.h"
#include "Gui.h"
#include "MapColour.h"
#include "render/Surface.h"
#include "scan/Reply.h"
#include "scan/ScanState.h"
#include "tools/device/Scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

// What a cell of rows 0 and 1 must hold: a range, "no reading", or unknown.
struct CellExpect {
    bool known = true;
    float value = NO_READING;
};

// The cells of rows 0 and 1 ([row * GRID_SIZE + column]) from the replies a
// device logged, when `done` commands had been logged as the window was
// captured: the last of them may not have been stored yet, and later cells
// are unknown.
inline std::vector<CellExpect> CellsFromReplies(const std::vector<DeviceProcess::Command>& cmds,
                                                size_t done) {
    std::vector<CellExpect> cells(2 * GRID_SIZE);
    for (CellExpect& c : cells)
        c.known = false;
    std::unique_ptr<ScanState> s(new ScanState);
    InitScanState(*s, 0);
    for (size_t i = 0; i + 1 < done && i < cmds.size(); i++) {
        StepSweep(*s);
        if (s->posX >= 0 && s->layerY <= 1)
            cells[s->layerY * GRID_SIZE + s->posX] = {
                true, DecodeReply(cmds[i].reply.data(), static_cast<int>(cmds[i].reply.size()))};
    }
    return cells;
}

struct BandCheck {
    int exact = 0, bounded = 0, wrong = 0;
    std::string first; // the first wrong quad
};

// The pixel (from the top left) at the middle of the quad whose lower left
// corner is grid point (column, 0), on a map 152 columns wide.
inline size_t BandPixel(int column, int width, int height) {
    float x = (GridScreenX(151, column) + GridScreenX(151, column + 1)) / 2;
    float y = (GridScreenY(0) + GridScreenY(1)) / 2;
    int px = static_cast<int>((x + 1) / 2 * width), py = static_cast<int>((1 - y) / 2 * height);
    return static_cast<size_t>(std::min(py, height - 1)) * width + std::min(px, width - 1);
}

// Each quad between rows 0 and 1 whose corners are known, sampled at its
// middle: where the corners agree (within 0.2 cm) it shows their colour,
// elsewhere a colour between theirs.
inline BandCheck CheckLowestBand(const std::vector<Rgb>& shot, int width, int height,
                                 const std::vector<CellExpect>& cells) {
    BandCheck c;
    for (int a = 0; a < 150; a++) {
        const CellExpect* q[4] = {&cells[a], &cells[a + 1], &cells[GRID_SIZE + a],
                                  &cells[GRID_SIZE + a + 1]};
        if (!q[0]->known || !q[1]->known || !q[2]->known || !q[3]->known)
            continue;
        Rgb got = shot[BandPixel(a, width, height)];
        Rgb lo = {255, 255, 255}, hi = {0, 0, 0};
        float least = q[0]->value, most = q[0]->value;
        for (const CellExpect* e : q) {
            Rgb k = MapColour(e->value);
            lo = {std::min(lo.r, k.r), std::min(lo.g, k.g), 0};
            hi = {std::max(hi.r, k.r), std::max(hi.g, k.g), 0};
            least = std::min(least, e->value);
            most = std::max(most, e->value);
        }
        // Corners within 0.2 cm of each other: the nearest's colour, exactly.
        bool flat = most - least < 0.2f;
        if (flat)
            lo = hi = MapColour(least);
        int slack = flat ? 4 : 3;
        bool ok = got.r >= lo.r - slack && got.r <= hi.r + slack && got.g >= lo.g - slack &&
                  got.g <= hi.g + slack && got.b == 0;
        (flat ? c.exact : c.bounded)++;
        if (!ok && c.wrong++ == 0)
            c.first = "column " + std::to_string(a) + ": shows " + std::to_string(got.r) + "," +
                      std::to_string(got.g) + "," + std::to_string(got.b) + ", expected " +
                      std::to_string(lo.r) + ".." + std::to_string(hi.r) + "," +
                      std::to_string(lo.g) + ".." + std::to_string(hi.g) + ",0";
    }
    return c;
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
                                      const std::vector<DeviceProcess::Command>& cmds, size_t done,
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
        Rgb got = shot[BandPixel(a, width, height)];
        // Red, shading to black towards a row above not yet measured.
        EXPECT_LE(got.g, 3) << "green where nothing echoes, column " << a;
        EXPECT_GE(got.r, 100) << "column " << a;
    }
    return checked;
}
