// The flat screens drawn into the real window and read back: the overlay's lines, pause banner and
// speed bar, the start screen, the prompt box, and the rectangle primitives they are made of.
#include "render_fixture.h"

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <string>

namespace {

using render_test::Frame;
using render_test::Is;
using render_test::ReadFrame;
using render_test::Rgb;
using render_test::RenderTest;

class Overlay : public RenderTest {};
class SpeedBar : public RenderTest {};
class StartScreen : public RenderTest {};
class PromptBox : public RenderTest {};
class Primitives : public RenderTest {};

// The sixteen overlay lines as they must read, and their colours.
struct Line {
    float r, g, b;
    const char* text;
};

void PrintReferenceOverlay(const char* stars, const char* deltaT, const char* radius, const char* turn,
                           const char* seed, bool paused) {
    const Line lines[16] = {{0, 0.8f, 0, "Kelvra by the Kelvra developers"},
                            {0, 0.8f, 0, "Forming of Galaxy"},
                            {1, 1, 0, "SPACE = stop/start"},
                            {1, 1, 0, "ESC   = quit"},
                            {0, 0, 1, stars},
                            {0, 0, 1, deltaT},
                            {0, 0, 1, radius},
                            {0, 0, 1, turn},
                            {0, 0, 1, seed},
                            {0.3f, 0, 0.5f, "Ship"},
                            {0.3f, 0, 0.5f, "arrows - turn"},
                            {0.3f, 0, 0.5f, "A,Z - speed"},
                            {0.3f, 0, 0.5f, "Q,W - rotate"},
                            {0.3f, 0, 0.5f, "mouse - turn"},
                            {0.2f, 0, 0.4f, "STOP simulation"},
                            {0.2f, 0, 0.4f, "before moving"}};
    for (int k = 0; k < 16; ++k)
        RenderTest::PrintRef(3, 1, 25.0f + 24 * k, lines[k].r, lines[k].g, lines[k].b, lines[k].text);
    if (paused) RenderTest::PrintRef(3, 427.328f, 25, 0.5f, 0.5f, 0.5f, "***PAUSED***");
}

void SetShownValues() {
    G.NumStars = 0;  // no star drawn: the frame holds the overlay alone
    G.DeltaT = 20000;
    G.Radius = 40 * G.LightYear;
    G.Turn = 7;
    G.Seed = 42;
}

bool IsGrey(Rgb c) { return Is(c, 128, 128, 128, 1); }

TEST_F(Overlay, LinesReadAndLineUpAsSpecified) {
    SetShownValues();
    GraphicsDrawEvol();
    const Frame shown = ReadFrame();
    ClearToPixelFrame();
    PrintReferenceOverlay("Stars   = 0", "delta T = 20000.00 years", "radius  = 40.00 ly", "Turn    = 7",
                          "Seed    = 42", false);
    EXPECT_TRUE(shown == ReadFrame());

    // Each group shows in its own colour in its own rows.
    struct Band {
        int firstLine, lastLine, r, g, b;
    };
    const Band bands[] = {{0, 1, 0, 204, 0}, {2, 3, 255, 255, 0}, {4, 8, 0, 0, 255}, {9, 13, 77, 0, 128},
                          {14, 15, 51, 0, 102}};
    for (const Band& band : bands) {
        const int top = 25 + 24 * band.firstLine - 22, bottom = 25 + 24 * band.lastLine + 7;
        const int inBand = shown.Count(0, top, 450, bottom, [&](Rgb c) { return Is(c, band.r, band.g, band.b); });
        const int anywhere = shown.Count(0, 0, 1024, 768, [&](Rgb c) { return Is(c, band.r, band.g, band.b); });
        EXPECT_GT(inBand, 40) << "lines " << band.firstLine << " to " << band.lastLine;
        EXPECT_EQ(inBand, anywhere) << "lines " << band.firstLine << " to " << band.lastLine;
    }
    EXPECT_EQ(shown.Count(0, 0, 1024, 768, IsGrey), 0) << "no banner while running";
}

TEST_F(Overlay, ValuesAreFormattedIntoTheLines) {
    SetShownValues();
    G.NumStars = 0;
    G.DeltaT = 0.009999999776482582;
    G.Radius = 1e9 * G.LightYear;
    G.Turn = 123456;
    G.Seed = -5;
    GraphicsDrawEvol();
    const Frame shown = ReadFrame();
    ClearToPixelFrame();
    PrintReferenceOverlay("Stars   = 0", "delta T = 0.01 years", "radius  = 1000000000.00 ly",
                          "Turn    = 123456", "Seed    = -5", false);
    EXPECT_TRUE(shown == ReadFrame());
}

TEST_F(Overlay, PauseBannerIsCentredOnTheFirstBaseline) {
    SetShownValues();
    G.Pause = 1;
    GraphicsDrawEvol();
    const Frame shown = ReadFrame();
    ClearToPixelFrame();
    PrintReferenceOverlay("Stars   = 0", "delta T = 20000.00 years", "radius  = 40.00 ly", "Turn    = 7",
                          "Seed    = 42", true);
    EXPECT_TRUE(shown == ReadFrame());

    int left = 1024, right = -1, lowest = -1;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x)
            if (IsGrey(shown.At(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                lowest = std::max(lowest, y);
            }
    EXPECT_GE(left, 427);
    EXPECT_LE(left, 432);
    EXPECT_GE(right, 590);
    EXPECT_LE(right, 605);
    EXPECT_LE(lowest, 25) << "asterisks and capitals stand on the baseline";
    EXPECT_GE(lowest, 20);
}

TEST_F(Overlay, LeavesThePerspectiveFrameForTheNextFrame) {
    glEnable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, textures[imgStar].texName);
    DrawInfo();
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint texture = -1, mode = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(texture, 0);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float projection[16], modelview[16], expected[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(45.0, 1024.0 / 768.0, 0.1, 100.0);
    glGetFloatv(GL_PROJECTION_MATRIX, expected);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(projection[i], expected[i], 1e-6) << i;
        EXPECT_EQ(modelview[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
    }
}

// Columns of the bottom rows that show the bar colour; the rows just above must stay clear.
struct BarExtent {
    int first = -1, last = -1, count = 0;
};

BarExtent MeasureBar(const Frame& f, int r, int g, int b) {
    BarExtent e;
    for (int x = 0; x < 1024; ++x) {
        const bool top = Is(f.At(x, 748), r, g, b);
        const bool bottom = Is(f.At(x, 767), r, g, b);
        EXPECT_EQ(top, bottom) << "the bar is a rectangle, column " << x;
        EXPECT_TRUE(f.Black(x, 747)) << "the bar is 20 pixels high, column " << x;
        if (!bottom) continue;
        if (e.first < 0) e.first = x;
        e.last = x;
        ++e.count;
    }
    return e;
}

BarExtent DrawBarAt(double speed, int r, int g, int b) {
    G.ShipSpeed = speed;
    GraphicsDrawEvol();
    return MeasureBar(ReadFrame(), r, g, b);
}

TEST_F(SpeedBar, HalfSpeedForwardReachesThreeQuarters) {
    const BarExtent green = DrawBarAt(0.0005, 0, 255, 0);
    EXPECT_EQ(green.first, 512);
    EXPECT_EQ(green.last, 767);
    EXPECT_EQ(green.count, 256);
    EXPECT_EQ(DrawBarAt(0.0005, 255, 0, 0).count, 0) << "forward is never red";
}

TEST_F(SpeedBar, FullSpeedBackwardReachesTheLeftEdge) {
    const BarExtent red = DrawBarAt(-0.001, 255, 0, 0);
    EXPECT_EQ(red.first, 0);
    EXPECT_EQ(red.last, 511);
    EXPECT_EQ(red.count, 512);
    EXPECT_EQ(DrawBarAt(-0.001, 0, 255, 0).count, 0);
}

TEST_F(SpeedBar, SpeedsBeyondTheLimitAreClamped) {
    EXPECT_EQ(DrawBarAt(0.005, 0, 255, 0).count, 512);
    EXPECT_EQ(DrawBarAt(-1.0, 255, 0, 0).count, 512);
}

TEST_F(SpeedBar, ShownFromTheThresholdOnly) {
    const BarExtent atThreshold = DrawBarAt(G.SpeedThreshold, 0, 255, 0);
    EXPECT_EQ(atThreshold.first, 512);
    EXPECT_EQ(atThreshold.count, 10) << "1024 x 0.02 / 2 = 10.24 pixels";
    const BarExtent backward = DrawBarAt(-G.SpeedThreshold, 255, 0, 0);
    EXPECT_EQ(backward.last, 511);
    EXPECT_EQ(backward.count, 10);

    const double below = G.SpeedThreshold * 0.999;
    EXPECT_EQ(DrawBarAt(below, 0, 255, 0).count, 0);
    EXPECT_EQ(DrawBarAt(-below, 255, 0, 0).count, 0);
    EXPECT_EQ(DrawBarAt(0, 255, 0, 0).count, 0);
}

TEST_F(StartScreen, AddressAndNameCentred) {
    AppState = StateSetup;
    glClearColor(0.3f, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0.5f);
    GraphicsDrawMM();
    const Frame shown = ReadFrame();
    EXPECT_TRUE(shown.Black(5, 5)) << "the start screen clears the frame itself";
    ClearToPixelFrame();
    const std::string address = KELVRA_HOMEPAGE;
    PrintRef(3, 512 - address.size() * 7.056f, 100, 1, 1, 1, address.c_str());
    PrintRef(4, 455.552f, 200, 0.85f, 0.85f, 0, "Kelvra");
    EXPECT_TRUE(shown == ReadFrame());

    // Both texts sit about the middle of the window, on their baselines.
    for (const auto& [r, g, b, baseline] : {std::array<int, 4>{255, 255, 255, 100}, {217, 217, 0, 200}}) {
        int left = 1024, right = -1, lowest = -1;
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x)
                if (Is(shown.At(x, y), r, g, b)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    lowest = std::max(lowest, y);
                }
        ASSERT_GE(right, 0);
        EXPECT_NEAR((left + right) / 2.0, 512, 10) << "colour " << r << "," << g << "," << b;
        EXPECT_NEAR(lowest, baseline, 8);
    }
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

// Opens the prompt without its frame loop (a pending quit makes InMenuActivate return at once).
void OpenPrompt(const char* title, const char* text, int maxLn) {
    Quit = 1;
    InMenuActivate(3, maxLn, title, text, 0);
    Quit = 0;
}

void WhiteBackground() {
    RenderTest::ClearToPixelFrame();
    glColor4f(1, 1, 1, 1);
    GLQuad(0, 0, 1024, 768);
}

TEST_F(PromptBox, OutlineFillAndCursor) {
    OpenPrompt("Stars (1-10000):", "1500", 10);
    WhiteBackground();
    InMenuDraw();
    const Frame f = ReadFrame();
    // Box: left 302.576, right 711.824, top 348, bottom 391.2; outline 3 pixels wide.
    const auto yellow = [](Rgb c) { return Is(c, 204, 204, 0); };
    for (int y : {352, 370, 388}) {
        EXPECT_TRUE(yellow(f.At(302, y))) << y;
        EXPECT_TRUE(yellow(f.At(711, y))) << y;
        EXPECT_TRUE(Is(f.At(298, y), 255, 255, 255)) << y;
        EXPECT_TRUE(Is(f.At(716, y), 255, 255, 255)) << y;
    }
    for (int x : {310, 500, 700}) {
        EXPECT_TRUE(yellow(f.At(x, 348))) << x;
        EXPECT_TRUE(yellow(f.At(x, 391))) << x;
        EXPECT_TRUE(Is(f.At(x, 343), 255, 255, 255)) << x;
        EXPECT_TRUE(Is(f.At(x, 396), 255, 255, 255)) << x;
        EXPECT_TRUE(f.Black(x, 353)) << "opaque black fill above the text, " << x;
    }
    EXPECT_TRUE(f.Black(700, 386));
    // The cursor after "1500": one translucent red cell from x 612, rows 357.8 to 381.8.
    const auto cursorRed = [](Rgb c) { return Is(c, 77, 0, 0, 2); };
    EXPECT_TRUE(cursorRed(f.At(619, 370)));
    EXPECT_TRUE(cursorRed(f.At(613, 359)));
    EXPECT_TRUE(cursorRed(f.At(625, 381)));
    EXPECT_TRUE(f.Black(611, 370));
    EXPECT_TRUE(f.Black(627, 370));
    EXPECT_TRUE(f.Black(619, 356));
    EXPECT_TRUE(f.Black(619, 383));
    const int cursorCells = f.Count(0, 0, 1024, 768, cursorRed);
    EXPECT_LE(cursorCells, 14 * 24);
    EXPECT_GE(cursorCells, 14 * 24 - 8) << "the last digit may reach into the cell";

    // Title in grey from x 316, text in green from x 556, both on the baseline 377.
    const int titleGrey = f.Count(316, 355, 556, 384, [](Rgb c) { return Is(c, 204, 204, 204); });
    const int textGreen = f.Count(556, 355, 612, 384, [](Rgb c) { return Is(c, 51, 255, 51); });
    EXPECT_GT(titleGrey, 100);
    EXPECT_GT(textGreen, 40);
    EXPECT_EQ(f.Count(0, 0, 556, 768, [](Rgb c) { return Is(c, 51, 255, 51); }), 0);
}

TEST_F(PromptBox, WidthFollowsTheMaximumNotTheText) {
    OpenPrompt("Seed (empty for random):", "", 20);
    WhiteBackground();
    InMenuDraw();
    const Frame empty = ReadFrame();
    OpenPrompt("Seed (empty for random):", "12345678901234567890", 20);
    WhiteBackground();
    InMenuDraw();
    const Frame full = ReadFrame();
    // n = 24 + 20 + 3 = 47 cells of 14.112: left 512 - 331.632 - 4.8 = 175.568, right 838.832.
    for (const Frame* f : {&empty, &full}) {
        EXPECT_TRUE(Is(f->At(175, 370), 204, 204, 0));
        EXPECT_TRUE(Is(f->At(838, 370), 204, 204, 0));
        EXPECT_TRUE(Is(f->At(171, 370), 255, 255, 255));
        EXPECT_TRUE(Is(f->At(843, 370), 255, 255, 255));
    }
    // Cursor at the start of the empty text: vx = trunc(175.568 + 14.112 + 25 x 14.112) = 542.
    EXPECT_TRUE(Is(empty.At(543, 370), 77, 0, 0));
    EXPECT_TRUE(empty.Black(541, 370));
}

TEST_F(PromptBox, TextIsDrawnAsDataNotAsAFormat) {
    OpenPrompt("Odd %d%s:", "5%s%n%x", 10);
    ClearToPixelFrame();
    InMenuDraw();
    const Frame shown = ReadFrame();
    // Title: "Odd %d%s:" (9 characters), n = 22, left = 512 - 155.232 - 4.8 = 351.968.
    ClearToPixelFrame();
    glColor4f(0, 0, 0, 1);
    GLQuad(351.968f, 348, 512 + 155.232f - 4.8f, 391.2f);
    glColor4f(0.8f, 0.8f, 0, 1);
    GLRect(351.968f, 348, 512 + 155.232f - 4.8f, 391.2f, 3);
    PrintRef(3, 366, 377, 0.8f, 0.8f, 0.8f, "Odd %d%s:");
    const int vx = static_cast<int>(351.968f + 14.112f + 10 * 14.112f);
    PrintRef(3, static_cast<float>(vx), 377, 0.2f, 1.0f, 0.2f, "5%s%n%x");
    glEnable(GL_BLEND);
    glColor4f(1, 0, 0, 0.3f);
    const int x0 = vx + static_cast<int>(7 * 14.112f);
    GLQuad(static_cast<float>(x0), 377 - 24 + 4.8f, x0 + 14.112f, 377 + 4.8f);
    EXPECT_TRUE(shown == ReadFrame());
}

TEST_F(PromptBox, ActivateRunsFramesUntilEnter) {
    AppState = StateSetup;
    InMenuClear();
    keys['9'] = 1;
    keys[VK_RETURN] = 1;
    LastDraw = Clock() - 1000;  // a frame is due at once
    for (int& t : DrawTime) t = 0;
    const int result = InMenuActivate(3, 10, "Stars (1-10000):", "1500", 0);
    EXPECT_EQ(result, 4);
    EXPECT_EQ(INmenu.Result, 4);
    EXPECT_EQ(INmenu.Active, 0);
    EXPECT_EQ(std::string(INmenu.Text), "15009") << "the key in the Enter pass is still typed";
    EXPECT_GT(*std::max_element(std::begin(DrawTime), std::end(DrawTime)), 0) << "the prompt's loop drew a frame";
}

TEST_F(PromptBox, ActivateReturnsAtOnceWhenQuitting) {
    Quit = 1;
    keys[VK_RETURN] = 1;
    EXPECT_EQ(InMenuActivate(3, 10, "x", "77", 0), 0);
    EXPECT_EQ(INmenu.Active, 1);
    EXPECT_EQ(keys[VK_RETURN], 1) << "no pump step ran";
}

TEST_F(Primitives, RectanglesIgnoreCornerOrder) {
    ClearToPixelFrame();
    glColor4f(1, 1, 1, 1);
    GLQuad(100, 50, 40, 10);
    GLRect(300, 200, 200, 100, 1);
    const Frame swapped = ReadFrame();
    ClearToPixelFrame();
    glColor4f(1, 1, 1, 1);
    GLQuad(40, 10, 100, 50);
    GLRect(200, 100, 300, 200, 1);
    EXPECT_TRUE(swapped == ReadFrame());
    EXPECT_EQ(swapped.Count(0, 0, 150, 100, [](Rgb c) { return c.r == 255; }), 60 * 40);
}

TEST_F(Primitives, LineWidthStaysSetAndTextureIsUnbound) {
    ClearToPixelFrame();
    glBindTexture(GL_TEXTURE_2D, textures[imgStar].texName);
    GLRect(10, 10, 50, 50, 3);
    float width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);
    GLint texture = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    EXPECT_EQ(texture, 0);
    GLLine(0, 0, 5, 5, 2);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 2.0f);
    glLineWidth(1);
}

TEST_F(Primitives, CellSquares) {
    ClearToPixelFrame();
    glColor4f(1, 1, 1, 1);
    GLDrawQuad(10, 20, 0.5f);
    const Frame f = ReadFrame();
    const auto white = [](Rgb c) { return c.r == 255 && c.g == 255 && c.b == 255; };
    EXPECT_EQ(f.Count(10, 20, 42, 52, white), 32 * 32);
    EXPECT_EQ(f.Count(0, 0, 1024, 768, white), 32 * 32);

    ClearToPixelFrame();
    glColor4f(1, 1, 1, 1);
    GLDrawRect(100, 100, 1);
    const Frame outline = ReadFrame();
    EXPECT_TRUE(outline.Black(132, 132)) << "only the outline";
    EXPECT_GT(outline.Count(98, 98, 103, 166, white), 50);
    EXPECT_GT(outline.Count(161, 98, 167, 166, white), 50);
}

TEST_F(Primitives, TetrahedronSwitchesLightingOn) {
    glDisable(GL_LIGHTING);
    DrawIhlan(0.5);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    GLint texture = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    EXPECT_EQ(texture, 0);
}

TEST_F(Primitives, FieldSize) {
    CalculateGrSize();
    EXPECT_EQ(FldX, 12);
    EXPECT_EQ(FldRight, 778);
    EXPECT_EQ(FldY, 8);
    EXPECT_EQ(FldLow, 522);
    const int width = FS_X;
    FS_X = 200;
    CalculateGrSize();
    EXPECT_EQ(FldX, 0);
    EXPECT_EQ(FldRight, 10);
    FS_X = 60;
    CalculateGrSize();
    EXPECT_EQ(FldX, -2);
    FS_X = width;
}

}  // namespace
