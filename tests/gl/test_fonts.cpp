// The five bitmap fonts in the real window's context: their heights, the glyphs they draw and how far
// each moves the raster position, and glPrint's formatting, cutting and filtering, read back from the
// frame buffer.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "galaxy.h"
#include "system.h"

namespace {

class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClockManual = true;
        ClockManualMs = 0;
        ASSERT_EQ(AmbrelInit(), 0);
        ASSERT_EQ(GrInit(), 0);
        // A pixel frame with y upward, so raster and window coordinates agree.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, WIN_X, 0, WIN_Y, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        GrClose();
        ClockManual = false;
    }
};

// Where the next glyph goes.
float RasterX() {
    GLfloat pos[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    return pos[0];
}

// How far printing `text` with `font` moves the raster position from x = 10.
float AdvanceOf(int font, const char* text) {
    glRasterPos2f(10, 100);
    glPrint(font, "%s", text);
    return RasterX() - 10;
}

struct Box {
    int lit = 0;
    int left = 1 << 30, right = -1, bottom = 1 << 30, top = -1;
    int Height() const { return top - bottom + 1; }
    int Width() const { return right - left + 1; }
};

// The lit pixels of the back buffer in a region, and their bounding box.
Box LitBox(int x, int y, int w, int h, std::vector<unsigned char>* copy = nullptr) {
    std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    Box box;
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const unsigned char* p = &rgb[(static_cast<std::size_t>(row) * w + col) * 3];
            if (p[0] + p[1] + p[2] == 0) continue;
            ++box.lit;
            box.left = std::min(box.left, col);
            box.right = std::max(box.right, col);
            box.bottom = std::min(box.bottom, row);
            box.top = std::max(box.top, row);
        }
    if (copy) *copy = rgb;
    return box;
}

TEST(FontHeights, FollowTheWindowWidthAgainstTheReferenceWidth) {
    WIN_X = FS_X0 = 1024;
    const int nominal[FontCount] = {8, 12, 16, 24, 32};
    for (int font = 0; font < FontCount; ++font) EXPECT_EQ(FontPixelHeight(font), nominal[font]);
    FS_X0 = 2048;  // a window half as wide as the reference
    const int half[FontCount] = {4, 6, 8, 12, 16};
    for (int font = 0; font < FontCount; ++font) EXPECT_EQ(FontPixelHeight(font), half[font]);
    FS_X0 = 1366;  // the quotient is taken in floating point, then truncated
    EXPECT_EQ(FontPixelHeight(4), 23);
}

TEST_F(FontTest, GlyphsAreAsHighAsTheirFontAndAdvanceByOneFixedWidth) {
    for (int font = 0; font < FontCount; ++font) {
        const int h = FontPixelHeight(font);
        ASSERT_EQ(h, FontSize[font]);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        glRasterPos2f(20, 50);
        glPrint(font, "H");
        const Box box = LitBox(0, 0, 200, 200);
        ASSERT_GT(box.lit, 0) << "font " << font;
        // A capital of the bold mono font is about two thirds of the character height, on the baseline.
        EXPECT_GE(box.Height(), h * 0.5) << "font " << font;
        EXPECT_LE(box.Height(), h * 0.85) << "font " << font;
        EXPECT_EQ(box.bottom, 50) << "font " << font;

        const float one = AdvanceOf(font, "M");
        EXPECT_GE(one, h * 0.55f) << "font " << font;
        EXPECT_LE(one, h * 0.65f) << "font " << font;
        EXPECT_FLOAT_EQ(AdvanceOf(font, "iiii"), 4 * one) << "fixed pitch, font " << font;
        EXPECT_FLOAT_EQ(AdvanceOf(font, "MMMM"), 4 * one);
    }
}

TEST_F(FontTest, PrintFormatsItsArgumentsAndDrawsInTheCallersColour) {
    glColor3f(1, 0, 0);
    glRasterPos2f(20, 50);
    glPrint(3, "Turn %d of %s", 42, "Kelvra");
    std::vector<unsigned char> formatted;
    const Box box = LitBox(0, 0, 400, 100, &formatted);
    EXPECT_GT(box.lit, 50);
    EXPECT_GE(box.Width(), 15 * AdvanceOf(3, "M") - 2 * FontPixelHeight(3));
    for (std::size_t i = 0; i < formatted.size(); i += 3) {
        EXPECT_EQ(formatted[i + 1], 0);
        EXPECT_EQ(formatted[i + 2], 0);
    }

    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 0, 0);
    glRasterPos2f(20, 50);
    glPrint(3, "Turn 42 of Kelvra");
    std::vector<unsigned char> literal;
    LitBox(0, 0, 400, 100, &literal);
    EXPECT_EQ(formatted, literal);
}

TEST_F(FontTest, NullFormatDrawsNothingAndLeavesTheStateAlone) {
    glListBase(7);
    glRasterPos2f(30, 40);
    const char* none = nullptr;
    glPrint(2, none, 1);
    EXPECT_FLOAT_EQ(RasterX(), 30);
    GLint base = 0;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(base, 7);
    EXPECT_EQ(LitBox(0, 0, 200, 200).lit, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FontTest, PrintRestoresTheCallersListBase) {
    glListBase(7);
    glColor3f(1, 1, 1);
    glRasterPos2f(30, 40);
    glPrint(1, "abc");
    GLint base = 0;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(base, 7);
    EXPECT_GT(LitBox(0, 0, 200, 200).lit, 0);
}

TEST_F(FontTest, EmptyTextDrawsNothing) {
    glRasterPos2f(30, 40);
    glPrint(4, "%s", "");
    EXPECT_FLOAT_EQ(RasterX(), 30);
    EXPECT_EQ(LitBox(0, 0, 200, 200).lit, 0);
}

TEST_F(FontTest, LongTextIsCutAt255Characters) {
    const std::string text(400, 'i');
    const float one = AdvanceOf(0, "i");
    EXPECT_FLOAT_EQ(AdvanceOf(0, text.c_str()), 255 * one);
}

TEST_F(FontTest, CodesWithoutAGlyphPrintNothing) {
    const float one = AdvanceOf(0, "A");
    // 200 would otherwise name a list of the next font, 1 one before the first.
    EXPECT_FLOAT_EQ(AdvanceOf(0, "A\x01\xC8" "B\x7f"), 3 * one);
    EXPECT_FLOAT_EQ(AdvanceOf(1, "\xC8\xFF\x1F"), 0);
}

TEST_F(FontTest, OutOfRangeFontDrawsNothing) {
    glRasterPos2f(30, 40);
    glPrint(5, "x");
    glPrint(-1, "x");
    EXPECT_FLOAT_EQ(RasterX(), 30);
}

}  // namespace
