// The line models' packet timing: when a USB adapter hands the computer the
// bytes a device's UART sent, and in what pieces.
#include "scan/Acquire.h"
#include "tools/device/Line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the computer gets from `line` when it looks every 10 us from `from` to
// `to`: the moment and the size of each piece.
std::vector<std::pair<double, size_t>> Pieces(Line& line, double from, double to) {
    std::vector<std::pair<double, size_t>> got;
    for (double ms = from; ms <= to; ms += 0.01) {
        std::string piece = LineTake(line, ms);
        if (!piece.empty())
            got.emplace_back(ms, piece.size());
    }
    return got;
}

// 130 bytes sent from 100 ms on at the scanner's line speed (86.8 us a byte
// at 115200 baud). An FTDI-type
// adapter sends each 62-byte packet the moment it fills, and the last 6 bytes
// when its 16 ms latency timer, started again by the last full packet, runs
// out. A CDC board sends what it has at every 1 ms USB frame.
TEST(Line, AdaptersSendFullPacketsAtOnceAndTheRestOnTheirTimer) {
    const double byteMs = 10000.0 / SCANNER_BAUD;
    Line ftdi;
    ftdi.model = LINE_FTDI;
    LineSend(ftdi, 100.0, std::string(130, '7'));
    auto pieces = Pieces(ftdi, 99.0, 140.0);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_NEAR(pieces[0].first, 100.0 + 62 * byteMs, 0.011);
    EXPECT_EQ(pieces[0].second, 62u);
    EXPECT_NEAR(pieces[1].first, 100.0 + 124 * byteMs, 0.011);
    EXPECT_EQ(pieces[1].second, 62u);
    EXPECT_NEAR(pieces[2].first, 100.0 + 124 * byteMs + 16.0, 0.011);
    EXPECT_EQ(pieces[2].second, 6u);

    Line cdc;
    cdc.model = LINE_CDC;
    LineSend(cdc, 100.0, std::string(130, '7'));
    pieces = Pieces(cdc, 99.0, 140.0);
    size_t total = 0;
    for (size_t i = 0; i < pieces.size(); i++) {
        EXPECT_NEAR(pieces[i].first, 101.0 + i, 0.011) << "piece " << i;
        total += pieces[i].second;
        EXPECT_EQ(total, std::min<size_t>(130, static_cast<size_t>((1.0 + i) / byteMs)))
            << "piece " << i;
    }
    EXPECT_EQ(total, 130u);
}

// The tick takes a reply as ended once the line has been quiet for
// QUIET_GAP_MS: no model may leave a gap that long inside a reply, or its
// replies would be taken in two. A reply longer than the tick keeps (130
// bytes) crosses every packet and timer boundary a model has.
TEST(Line, NoModelPausesInsideAReplyForTheTicksQuietGap) {
    for (int m = 0; m < LINE_COUNT; m++) {
        Line line;
        line.model = static_cast<LineModel>(m);
        LineSend(line, 100.0, std::string(130, '7'));
        auto pieces = Pieces(line, 99.0, 100.0 + 130 * line.byteMs + 100.0);
        ASSERT_FALSE(pieces.empty()) << LINE_MODELS[m].name;
        double longest = 0;
        size_t total = pieces[0].second;
        for (size_t i = 1; i < pieces.size(); i++) {
            longest = std::max(longest, pieces[i].first - pieces[i - 1].first);
            total += pieces[i].second;
        }
        EXPECT_EQ(total, 130u) << LINE_MODELS[m].name;
        EXPECT_LT(longest, QUIET_GAP_MS)
            << LINE_MODELS[m].name << ": a gap of " << longest << " ms";
    }
}

} // namespace
