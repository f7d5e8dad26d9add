#include "render/Surface.h"

#include <GL/gl.h>

// One corner of a quad: its colour by range, then its place on screen. A point
// with no reading is black.
static inline void Corner(const ScanState& s, int a, int b, float maxVal) {
    float v = s.bufferX[a][b];
    if (v == NO_READING)
        glColor3f(0.0f, 0.0f, 0.0f);
    else
        glColor3f(v / maxVal, 1.0f - v / maxVal, 0.0f);
    glVertex2f(static_cast<float>(a) / static_cast<float>(s.maxX) * 2.0f - 1.0f,
               static_cast<float>(b) / 140.0f * 2.0f - 1.0f);
}

void DrawSurface(const ScanState& s, HDC hDC) {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    float maxVal = 30.0f;

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
