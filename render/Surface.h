// The live range map: the part of the grid the raster has reached, drawn as a
// sheet of quads shaded from green (near) to red (30 cm and beyond).
#pragma once

#include <windows.h>

#include "render/Colour.h"
#include "scan/ScanState.h"

// Where a grid point lies on screen, in GL's -1..1 across the window: column
// 0 on the left edge and maxX (the highest column reached) on the right, row
// 0 at the bottom and row LAYER_LAST on the top edge.
inline float GridScreenX(int maxX, int column) {
    return static_cast<float>(column) / static_cast<float>(maxX) * 2.0f - 1.0f;
}
inline float GridScreenY(int row) {
    return static_cast<float>(row) / static_cast<float>(LAYER_LAST) * 2.0f - 1.0f;
}

// Draws one frame into the current GL context and presents it on hDC.
// It relies on GL's default state as WinMain leaves it: identity projection
// and modelview (so -1..1 spans the window), no lighting, texture or blending,
// smooth shading (each quad blends its corners' colours), a double buffer.
void DrawSurface(const ScanState& s, HDC hDC);
