// The range map's colours: green (near) to red, black where no reading came.
// The live map and the capture's picture both take them from here.
#pragma once

#include "scan/ScanState.h"

// The range the map shows pure red, as everything beyond it; nearer ranges
// shade to green at 0 cm. The colour scale's unit is the reply's: centimetres.
const float MAP_FULL_RED_CM = 30.0f;

// The colour of a grid point of range v on a scale reaching red at maxVal, as
// given to GL (which clamps each part to 0..1); a point with no reading is
// black.
inline void RangeColour(float v, float maxVal, float rgb[3]) {
    bool none = v == NO_READING;
    rgb[0] = none ? 0.0f : v / maxVal;
    rgb[1] = none ? 0.0f : 1.0f - v / maxVal;
    rgb[2] = 0.0f;
}
