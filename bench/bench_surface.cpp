// Frame cost of the range map on a full grid, beside a bare loop that issues
// the same immediate-mode calls, in a real GL context (run it under Xvfb).
#include "render/Surface.h"
#include "scan/Reply.h"
#include "scan/ScanState.h"
#include "support/Gui.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcA(h, m, w, l);
}

// A window with a current GL context, made as the program makes it.
GlWindow& Ctx() {
    static GlWindow w("bench", Proc);
    return w;
}

ScanState& FullGrid() {
    static std::unique_ptr<ScanState> s;
    if (!s) {
        s.reset(new ScanState);
        InitScanState(*s, 0);
        s->maxX = 151;
        s->layermax = 141;
        for (int a = 0; a < GRID_SIZE; a++)
            for (int b = 0; b < GRID_SIZE; b++)
                s->bufferX[a][b] = static_cast<float>((a * 7 + b * 3) % 45);
    }
    return *s;
}

void BM_DrawSurfaceFullGrid(benchmark::State& state) {
    GlWindow& c = Ctx();
    ScanState& s = FullGrid();
    for (auto _ : state)
        DrawSurface(s, c.hDC);
}
BENCHMARK(BM_DrawSurfaceFullGrid)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same 84,000 colour and vertex calls with nothing else around them.
void BM_BareImmediateLoop(benchmark::State& state) {
    GlWindow& c = Ctx();
    for (auto _ : state) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_QUADS);
        for (int j = 0; j < 140; j++)
            for (int i = 0; i < 150; i++)
                for (int k = 0; k < 4; k++) {
                    float x = (i + (k >> 1)) / 151.0f * 2 - 1,
                          y = (j + ((k + 1) >> 1 & 1)) / 70.0f - 1;
                    glColor3f(x, 1 - x, 0);
                    glVertex2f(x, y);
                }
        glEnd();
        SwapBuffers(c.hDC);
    }
}
BENCHMARK(BM_BareImmediateLoop)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_StepSweep(benchmark::State& state) {
    std::unique_ptr<ScanState> s(new ScanState);
    InitScanState(*s, 0);
    for (auto _ : state) {
        StepSweep(*s);
        benchmark::DoNotOptimize(s->buffer);
    }
}
BENCHMARK(BM_StepSweep);

void BM_DecodeReply(benchmark::State& state) {
    const char reply[] = "1746";
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeReply(reply, 4));
}
BENCHMARK(BM_DecodeReply);

} // namespace

BENCHMARK_MAIN();
