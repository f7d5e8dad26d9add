// A kept scan to answer from (rangescan-capture's table): each command gets
// the reply kept for its aim, or for the nearest aim kept.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct Replay {
    // By v, the h kept in that row, in order, each with its reply (empty
    // where the capture got none).
    std::map<int, std::vector<std::pair<int, std::string>>> rows;
};

// Reads the table at `path`; fails (exit 2) naming the line that is not one
// of its rows.
Replay LoadReplay(const std::string& path);

// The reply kept for the aim nearest (h, v), in command steps on both axes;
// of aims equally near, the first in the order of v, then h.
const std::string& ReplayAnswer(const Replay& r, uint8_t h, uint8_t v);
