#include "render/Surface.h"

#include <GL/gl.h>

// One corner of a quad: its colour by range, then its place on screen.
static inline void Corner(const ScanState& s, int a, int b, float maxVal) {
    float rgb[3];
    RangeColour(s.bufferX[a][b], maxVal, rgb);
    glColor3f(rgb[0], rgb[1], rgb[2]);
    glVertex2f(GridScreenX(s.maxX, a), GridScreenY(b));
}

void DrawSurface(const ScanState& s, HDC hDC) {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    float maxVal = MAP_FULL_RED_CM;

    glBegin(GL_QUADS);
    for (int j = 0; j < s.layermax - 1; j++) {
        for (int i = 0; i < s.maxX - 1; i++) {
            Corner(s, i, j, maxVal);
            Corner(s, i, j + 1, maxVal);
            Corner(s, i + 1, j + 1, maxVal);
            Corner(s, i + 1, j, maxVal);
        }
    }
    glEnd();

    SwapBuffers(hDC);
}
