// The range map drawn into a real GL context (Mesa under Xvfb) and read back.
#include "render/Surface.h"
#include "support/Gui.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcA(h, m, w, l);
}

struct Frame {
    int w = 0, h = 0;
    std::vector<unsigned char> px; // RGB, bottom row first
    Rgb At(int x, int y) const {
        const unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 3];
        return {p[0], p[1], p[2]};
    }
    bool Black(int x, int y) const {
        Rgb c = At(x, y);
        return c.r == 0 && c.g == 0 && c.b == 0;
    }
};

class Surface : public testing::Test {
  protected:
    GlWindow win{"surface test " + std::to_string(getpid()), Proc};
    std::unique_ptr<ScanState> s{new ScanState};
    void SetUp() override {
        InitScanState(*s, 0);
        s->maxX = 151;
        s->layermax = 141;
    }
    void Fill(float v) {
        for (int a = 0; a < GRID_SIZE; a++)
            for (int b = 0; b < GRID_SIZE; b++)
                s->bufferX[a][b] = v;
    }
    // Draws a frame and reads back what the window shows.
    Frame Draw() {
        DrawSurface(*s, win.hDC);
        glFinish();
        if (!xw)
            xw = FindWindowByPid(getpid());
        Frame f;
        std::vector<Rgb> shot = CaptureWindow(xw, &f.w, &f.h);
        f.px.resize(shot.size() * 3);
        for (int y = 0; y < f.h; y++)
            for (int x = 0; x < f.w; x++) {
                const Rgb& c = shot[static_cast<size_t>(f.h - 1 - y) * f.w + x];
                unsigned char* p = &f.px[(static_cast<size_t>(y) * f.w + x) * 3];
                p[0] = static_cast<unsigned char>(c.r);
                p[1] = static_cast<unsigned char>(c.g);
                p[2] = static_cast<unsigned char>(c.b);
            }
        return f;
    }
    unsigned long xw = 0;
    // The pixel where grid point (a, b) falls, counted from the left and from
    // the bottom, by the program's own mapping.
    static int Px(const Frame& f, int a, int maxX) {
        return static_cast<int>((GridScreenX(maxX, a) + 1) / 2 * f.w);
    }
    static int Py(const Frame& f, int b) {
        return static_cast<int>((GridScreenY(b) + 1) / 2 * f.h);
    }
};

int CountNonBlack(const Frame& f) {
    int n = 0;
    for (int y = 0; y < f.h; y++)
        for (int x = 0; x < f.w; x++)
            n += !f.Black(x, y);
    return n;
}

TEST_F(Surface, BlackUntilTwoColumnsAndTwoRowsAreReached) {
    Fill(15.0f);
    s->layermax = 1;
    Frame f = Draw();
    ASSERT_GT(f.w, 100);
    EXPECT_EQ(CountNonBlack(f), 0);
    s->layermax = 141;
    s->maxX = 1;
    EXPECT_EQ(CountNonBlack(Draw()), 0);
    s->maxX = 0;
    EXPECT_EQ(CountNonBlack(Draw()), 0);
    s->maxX = 2;
    EXPECT_GT(CountNonBlack(Draw()), 0);
}

TEST_F(Surface, RangeShadesFromGreenToRed) {
    struct {
        float v;
        Rgb want;
    } cases[] = {{0.0f, {0, 255, 0}},
                 {15.0f, {128, 128, 0}},
                 {30.0f, {255, 0, 0}},
                 {45.0f, {255, 0, 0}},
                 {1e30f, {255, 0, 0}}};
    for (auto& c : cases) {
        Fill(c.v);
        Frame f = Draw();
        Rgb got = f.At(f.w / 2, f.h / 2);
        EXPECT_NEAR(got.r, c.want.r, 1) << "range " << c.v;
        EXPECT_NEAR(got.g, c.want.g, 1) << "range " << c.v;
        EXPECT_EQ(got.b, 0) << "range " << c.v;
    }
}

TEST_F(Surface, GridPointZeroIsTheLowerLeftCorner) {
    Fill(45.0f);
    s->bufferX[0][0] = 0.0f;
    Frame f = Draw();
    Rgb corner = f.At(0, 0);
    EXPECT_GT(corner.g, 200);
    EXPECT_LT(corner.r, 60);
    Rgb farRight = f.At(f.w / 2, 0), top = f.At(0, f.h - 1);
    EXPECT_GT(farRight.r, 250);
    EXPECT_GT(top.r, 250);
}

TEST_F(Surface, FullGridFillsAllButTheStripRightOfColumn150) {
    Fill(15.0f);
    Frame f = Draw();
    int edge = Px(f, 150, 151); // where column 150 falls, about 0.9868 of the width
    for (int y = 0; y < f.h; y++) {
        for (int x = 0; x < f.w; x++) {
            if (x <= edge - 1) {
                ASSERT_FALSE(f.Black(x, y)) << x << "," << y;
            }
            if (x >= edge + 1) {
                ASSERT_TRUE(f.Black(x, y)) << x << "," << y;
            }
        }
    }
}

TEST_F(Surface, FirstPassShowsOnlyTheRowsReached) {
    Fill(15.0f);
    s->layermax = 3; // rows 0..2 reached
    Frame f = Draw();
    int top = Py(f, 2);
    for (int x = 0; x < f.w - 10; x += 7) {
        EXPECT_FALSE(f.Black(x, top - 2)) << x;
        EXPECT_TRUE(f.Black(x, top + 2)) << x;
    }
}

TEST_F(Surface, PointsWithNoReadingAreBlack) {
    Fill(15.0f);
    s->bufferX[75][70] = NO_READING;
    Frame f = Draw();
    Rgb hole = f.At(Px(f, 75, 151), Py(f, 70));
    EXPECT_LT(hole.r + hole.g, 40);
    Rgb away = f.At(Px(f, 75, 151) + 20, Py(f, 70));
    EXPECT_NEAR(away.r, 128, 1);
    // A never-written grid is black everywhere, not a sheet of 0 cm green.
    Fill(NO_READING);
    EXPECT_EQ(CountNonBlack(Draw()), 0);
}

} // namespace
