// The aims a capture takes: every Nth column and row of the program's
// serpentine raster, and where each reading lies in space.
#pragma once

#include <cstdint>
#include <vector>

// The raster's size, as the program sweeps it: columns 0..151 (command
// h = 5 + column), rows 0..140 (command v = 140 - row).
const int RASTER_COLUMNS = 152;
const int RASTER_ROWS = 141;

struct Aim {
    int column, row;
    uint8_t h, v; // the command pair
};

// Columns 0, step, 2 step ... and rows likewise, in scan order: the first row
// left to right, the next right to left, and so on.
std::vector<Aim> RasterAims(int step);

// A reading `cm` away along an aim, in cm: right-handed, z up, x straight
// ahead, y to the left, the origin at the scanner's pivot.
struct Point {
    double x, y, z;
};
Point PointOf(const Aim& a, double cm);
