// The map's colours as a test reads them back from a screen or a file.
#pragma once

#include "Gui.h"
#include "render/Colour.h"

#include <algorithm>
#include <cmath>

// The colour the map shows a range in, on a scale reaching red at `scale`,
// as 8-bit parts: the program's, clamped as GL clamps it.
inline Rgb MapColour(float v, float scale = MAP_FULL_RED_CM) {
    float rgb[3];
    RangeColour(v, scale, rgb);
    auto part = [](float f) { return int(std::lround(std::min(1.0f, std::max(0.0f, f)) * 255)); };
    return {part(rgb[0]), part(rgb[1]), part(rgb[2])};
}
