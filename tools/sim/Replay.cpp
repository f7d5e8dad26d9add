#include "tools/sim/Replay.h"

#include "tools/device/ScanTable.h"
#include "tools/device/Tool.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ','))
        f.push_back(field);
    if (!line.empty() && line.back() == ',')
        f.push_back("");
    return f;
}

int Byte(const std::string& s, const std::string& where) {
    char* end = nullptr;
    long v = strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || v < 0 || v > 255)
        Fail(where + ": not a command byte: " + s);
    return static_cast<int>(v);
}

} // namespace

Replay LoadReplay(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        Fail("cannot read " + path);
    Replay r;
    std::string line;
    for (long n = 1; std::getline(in, line); n++) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string where = path + " line " + std::to_string(n);
        if (n == 1) {
            if (line != SCAN_TABLE_HEADER)
                Fail(where + ": not a kept scan's header (" + SCAN_TABLE_HEADER + ")");
            continue;
        }
        std::vector<std::string> f = Fields(line);
        if (static_cast<int>(f.size()) != SCAN_TABLE_COLUMNS)
            Fail(where + ": " + std::to_string(f.size()) + " fields, not " +
                 std::to_string(SCAN_TABLE_COLUMNS));
        int h = Byte(f[SCAN_TABLE_H], where), v = Byte(f[SCAN_TABLE_V], where);
        r.rows[v].emplace_back(h, f[SCAN_TABLE_REPLY]);
    }
    if (r.rows.empty())
        Fail(path + " holds no aims");
    for (auto& row : r.rows)
        std::stable_sort(row.second.begin(), row.second.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    return r;
}

const std::string& ReplayAnswer(const Replay& r, uint8_t h, uint8_t v) {
    const std::string* best = nullptr;
    long bestDistance = 0;
    for (const auto& row : r.rows) {
        const auto& kept = row.second;
        auto at = std::lower_bound(kept.begin(), kept.end(), h,
                                   [](const auto& k, int x) { return k.first < x; });
        for (auto c : {at == kept.begin() ? at : at - 1, at}) {
            if (c == kept.end())
                continue;
            long dh = c->first - h, dv = row.first - v, d = dh * dh + dv * dv;
            if (!best || d < bestDistance) {
                best = &c->second;
                bestDistance = d;
            }
        }
    }
    return *best;
}
