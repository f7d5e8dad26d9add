// The three files a capture keeps: OUT.csv, a row an aim as it is taken;
// OUT.ply and OUT.png, made at the end from all that was taken.
#pragma once

#include "tools/capture/Taken.h"

#include <cstdio>
#include <string>
#include <vector>

// The table: its header on open, then WriteRow for each aim, each flushed as
// written, so that the file holds every aim taken however the capture ends.
FILE* OpenTable(const std::string& path);
bool WriteRow(FILE* table, const Taken& t);

// The points of the aims that echoed: x, y, z (float, cm), the map's colour
// at `scaleCm` (uchar red, green, blue) and the range as a scalar
// (scalar_range and quality, the names viewers take). ASCII.
bool WriteCloud(const std::string& path, const std::vector<Taken>& taken, double scaleCm);

// The map as the live window colours it at `scaleCm`, 4 px a raster step
// (608 x 564): column 0 at the left, row 0 at the bottom, each aim filling
// its step-by-step block, black where no reply came or nothing was taken.
const int PICTURE_PX_PER_STEP = 4;
bool WritePicture(const std::string& path, const std::vector<Taken>& taken, int step,
                  double scaleCm);

// The map's colour of a range at `scaleCm`, as the window shows it (each part
// clamped to 0..1), in bytes.
void MapColour(float cm, double scaleCm, unsigned char rgb[3]);
