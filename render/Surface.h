// The live range map: the part of the grid the raster has reached, drawn as a
// sheet of quads shaded from green (near) to red (30 cm and beyond).
#pragma once

#include <windows.h>

#include "render/Colour.h"
#include "scan/ScanState.h"

// Draws one frame into the current GL context and presents it on hDC.
void DrawSurface(const ScanState& s, HDC hDC);
