#include "tools/capture/Raster.h"

#include "scan/ScanState.h"
#include "tools/device/Scene.h"

#include <cmath>

std::vector<Aim> RasterAims(int step) {
    std::vector<int> columns;
    for (int c = 0; c < RASTER_COLUMNS; c += step)
        columns.push_back(c);
    std::vector<Aim> aims;
    bool back = false;
    for (int r = 0; r < RASTER_ROWS; r += step, back = !back) {
        for (size_t i = 0; i < columns.size(); i++) {
            int c = back ? columns[columns.size() - 1 - i] : columns[i];
            aims.push_back({c, r, static_cast<uint8_t>(SWEEP_FIRST_CMD + c),
                            static_cast<uint8_t>(LAYER_LAST - r)});
        }
    }
    return aims;
}

Point PointOf(const Aim& a, double cm) {
    const double rad = 3.14159265358979323846 / 180;
    double p = PanDegrees(a.h) * rad, t = TiltDegrees(a.v) * rad;
    return {cm * std::cos(t) * std::cos(p), -cm * std::cos(t) * std::sin(p), cm * std::sin(t)};
}
