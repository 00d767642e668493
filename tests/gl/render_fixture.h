// The real window for drawing tests: opened once per process through the program's own start-up,
// then read back pixel by pixel from the back buffer.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "galaxy.h"
#include "graphics.h"
#include "m_input.h"
#include "system.h"

namespace render_test {

struct Rgb {
    int r, g, b;
};

// A frame read back from the back buffer, addressed like the overlay: (0, 0) is the top-left pixel.
struct Frame {
    int width = 0, height = 0;
    std::vector<unsigned char> data;

    Rgb At(int x, int y) const {
        const unsigned char* p = &data[3 * (static_cast<std::size_t>(height - 1 - y) * width + x)];
        return {p[0], p[1], p[2]};
    }
    bool Black(int x, int y) const {
        const Rgb c = At(x, y);
        return c.r == 0 && c.g == 0 && c.b == 0;
    }
    // Pixels of the rectangle [x1, x2) x [y1, y2) for which pred holds.
    template <class Pred>
    int Count(int x1, int y1, int x2, int y2, Pred pred) const {
        int n = 0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x) n += pred(At(x, y)) ? 1 : 0;
        return n;
    }
    bool operator==(const Frame& o) const { return width == o.width && height == o.height && data == o.data; }
};

inline Frame ReadFrame() {
    Frame f;
    f.width = WIN_X;
    f.height = WIN_Y;
    f.data.resize(static_cast<std::size_t>(3) * f.width * f.height);
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, f.width, f.height, GL_RGB, GL_UNSIGNED_BYTE, f.data.data());
    return f;
}

inline bool Near(int a, int b, int tolerance = 2) { return a >= b - tolerance && a <= b + tolerance; }

inline bool Is(Rgb c, int r, int g, int b, int tolerance = 2) {
    return Near(c.r, r, tolerance) && Near(c.g, g, tolerance) && Near(c.b, b, tolerance);
}

// Every test starts from the start-up state with the window open and an empty cloud.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (hWnd == nullptr) {
            ASSERT_EQ(AmbrelInit(), 0);
            ASSERT_EQ(GrInit(), 0) << "needs a display: run under xvfb-run";
            ASSERT_EQ(WIN_X, 1024) << "the drawing tests expect a 1024 x 768 screen";
            ASSERT_EQ(WIN_Y, 768);
        }
        InitParameters();
        G.Seed = 42;
        AppState = StateEvolution;
        Quit = 0;
        InMenuClear();
        std::memset(keys, 0, sizeof keys);
    }

public:
    // Sets the star i to a living white star of half side `size` at (x, y, z).
    static void PlaceStar(int i, double x, double y, double z, double size, strColor color = {1, 1, 1}) {
        Star[i] = strStar{};
        Star[i].Pos = {x, y, z};
        Star[i].Size = size;
        Star[i].Alive = 1;
        Star[i].Color = color;
        Star[i].Mass = G.SolarMass;
    }

    // The pixel frame of the flat screens, over a cleared buffer.
    static void ClearToPixelFrame() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, FS_X, FS_Y, 0, 0, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    // Text drawn the plain way, as the reference the screens are compared with.
    static void PrintRef(int font, float x, float y, float r, float g, float b, const char* text) {
        glColor4f(r, g, b, 1);
        glRasterPos2f(x, y);
        glPrint(font, "%s", text);
    }
};

}  // namespace render_test
