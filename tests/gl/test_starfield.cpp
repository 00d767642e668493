// The star field drawn into the real window: sprite size and place, the farthest-first order, dead
// stars, clouds that have blown up, the sprite's texture and the GL state a frame leaves behind.
#include "render_fixture.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "utility.h"

namespace {

using render_test::Frame;
using render_test::ReadFrame;
using render_test::Rgb;
using render_test::RenderTest;

class StarField : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        ReSizeGLScene(WIN_X, WIN_Y);
        G.NumStars = 0;
    }
};

// Bounding box of the pixels that are not black, away from the overlay's text column.
struct Box {
    int left = 1024, right = -1, top = 768, bottom = -1;
    double CentreX() const { return (left + right) / 2.0; }
    double CentreY() const { return (top + bottom) / 2.0; }
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};

Box LitBox(const Frame& f, int x1, int y1, int x2, int y2) {
    Box b;
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x)
            if (!f.Black(x, y)) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

// Side on screen of a sprite of half side `size` at `distance` straight ahead: 45 degrees span 768 pixels.
double ScreenSide(double size, double distance) {
    return 2 * size / distance / (2 * std::tan(22.5 * Pi / 180)) * 768;
}

void ExpectCentredSquare(const Frame& f, double side) {
    const Box b = LitBox(f, 400, 250, 624, 520);
    EXPECT_NEAR(b.Width(), side, 1.6);
    EXPECT_NEAR(b.Height(), side, 1.6);
    EXPECT_NEAR(b.CentreX(), 511.5, 1.0);
    EXPECT_NEAR(b.CentreY(), 383.5, 1.0);
    // The middle of the sprite is opaque, the corners of the square transparent.
    for (int dy = -5; dy <= 5; ++dy)
        for (int dx = -5; dx <= 5; ++dx) EXPECT_GT(f.At(512 + dx, 384 + dy).r, 60) << dx << "," << dy;
}

// The texels of one mipmap level of a texture, RGBA.
std::vector<unsigned char> Level(GLuint texture, int level, int side) {
    std::vector<unsigned char> texels(static_cast<std::size_t>(side) * side * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

TEST_F(StarField, EmbeddedTextureIsLoaded) {
    EXPECT_EQ(max_texture, 1);
    EXPECT_EQ(imgStar, 0);
    EXPECT_EQ(textures[0].width, 128);
    EXPECT_EQ(textures[0].height, 128);
    EXPECT_EQ(textures[0].bpp, 24u);
    EXPECT_NE(textures[0].texName, 0u);
    EXPECT_TRUE(glIsTexture(textures[0].texName));
    EXPECT_EQ(textures[0].pixels, nullptr);
    EXPECT_EQ(textures[0].rgba, nullptr);

    // Its mipmaps are the program's own, texel for texel those GLU builds from the same image.
    TextureImage image{};
    ASSERT_TRUE(EmbDecodeTGA(&image, emb_data, emb_size, 3));
    GLuint reference = 0;
    glGenTextures(1, &reference);
    glBindTexture(GL_TEXTURE_2D, reference);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 128, 128, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba);
    FreeTGA(&image);
    for (int level = 0, side = 128; side >= 1; ++level, side /= 2)
        EXPECT_TRUE(Level(textures[0].texName, level, side) == Level(reference, level, side)) << "level " << level;
    glDeleteTextures(1, &reference);
}

TEST_F(StarField, StarStraightAheadCoversItsSquare) {
    G.NumStars = 1;
    PlaceStar(0, 0, 0, 2, 0.01);
    GraphicsDrawEvol();
    EXPECT_EQ(G.NumVisible, 1);
    ExpectCentredSquare(ReadFrame(), ScreenSide(0.01, 1));
}

TEST_F(StarField, SpriteFacesTheCameraWhateverItsOrientation) {
    for (const strBod axis : {strBod{1, 2, 3}, strBod{0, 1, 0}, strBod{-3, 0.5, 1}}) {
        InitParameters();
        for (strBod* v : {&G.ShipRight, &G.ShipUp, &G.ShipBack}) {
            strBod a = axis;
            Rotate(70, &a, v);
        }
        G.ShipPos = {0.3, -0.2, 1.5};
        G.NumStars = 1;
        PlaceStar(0, G.ShipPos.x - G.ShipBack.x, G.ShipPos.y - G.ShipBack.y, G.ShipPos.z - G.ShipBack.z, 0.01);
        GraphicsDrawEvol();
        SCOPED_TRACE(axis.x);
        ExpectCentredSquare(ReadFrame(), ScreenSide(0.01, 1));
    }
}

TEST_F(StarField, NearerStarsCoverFartherOnes) {
    // The index order is the wrong one for both cases: only the sort can get the picture right.
    const strColor green{0, 1, 0}, red{1, 0, 0};
    for (int nearIndex : {0, 1}) {
        G.NumStars = 2;
        PlaceStar(nearIndex, 0, 0, 2, 0.004, green);     // distance 1
        PlaceStar(1 - nearIndex, 0, 0, 1, 0.02, red);    // distance 2, twice as large on screen
        GraphicsDrawEvol();
        const Frame f = ReadFrame();
        SCOPED_TRACE(nearIndex);
        for (int d : {0, 1, -1}) {
            const Rgb c = f.At(512 + d, 384 + d);
            EXPECT_LE(c.r, 3);
            EXPECT_GT(c.g, 100);
        }
        const Rgb ring = f.At(512 + 7, 384);
        EXPECT_GT(ring.r, 60);
        EXPECT_EQ(ring.g, 0);
        EXPECT_EQ(StarIdx[0].Index, 1 - nearIndex) << "farthest first";
        EXPECT_EQ(StarIdx[1].Index, nearIndex);
    }
}

TEST_F(StarField, FarthestFirstAndTheCameraPositionLast) {
    G.NumStars = 4;
    PlaceStar(0, 0, 0, 1, 0.003);     // distance 2
    PlaceStar(1, 0, 0, 3, 0.003);     // at the camera: distance 0
    PlaceStar(2, 0, 0, 0, 0.003);     // distance 3
    PlaceStar(3, 0.5, 0, 2.5, 0.003); // distance sqrt(0.5)
    GraphicsDrawEvol();
    ASSERT_EQ(G.NumVisible, 4);
    const int order[4] = {2, 0, 3, 1};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(StarIdx[k].Index, order[k]) << k;
        const strBod& p = Star[StarIdx[k].Index].Pos;
        EXPECT_DOUBLE_EQ(StarIdx[k].Dist, dist(0, 0, 3, p.x, p.y, p.z)) << "each entry holds its own star's distance";
    }
    EXPECT_EQ(StarIdx[3].Dist, 0.0);
}

TEST_F(StarField, DeadStarsAreNeitherCountedNorDrawn) {
    G.NumStars = 3;
    PlaceStar(0, 0, 0, 2, 0.01);
    PlaceStar(1, 0.3, 0.3, 1, 0.005);
    PlaceStar(2, 0, 0, 1.5, 0.02);
    Star[0].Alive = 0;
    Star[2].Alive = 0;
    GraphicsDrawEvol();
    const Frame f = ReadFrame();
    EXPECT_EQ(G.NumVisible, 1);
    EXPECT_EQ(StarIdx[0].Index, 1);
    EXPECT_EQ(f.Count(450, 320, 575, 450, [](Rgb c) { return c.r | c.g | c.b; }), 0) << "nothing straight ahead";
    EXPECT_GT(LitBox(f, 500, 0, 1024, 768).Width(), 3) << "the living star is drawn";

    ClearToPixelFrame();
    ReSizeGLScene(WIN_X, WIN_Y);
    DrawStar(&Star[0]);
    EXPECT_EQ(LitBox(ReadFrame(), 0, 0, 1024, 768).right, -1) << "DrawStar draws no dead star";
}

TEST_F(StarField, OneStarOneEntry) {
    G.NumStars = 1;
    PlaceStar(0, 0.1, 0.1, 0.1, 0.003);
    StarIdx[1] = {77, 1e9};
    GraphicsDrawEvol();
    EXPECT_EQ(G.NumVisible, 1);
    EXPECT_EQ(StarIdx[0].Index, 0);
    EXPECT_EQ(StarIdx[1].Index, 77) << "entries beyond NumVisible are left alone";
}

// A cloud that has blown up: infinite and undefined positions among ordinary ones.
TEST_F(StarField, BrokenDistancesSortSafely) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    RandSeed(7);
    G.NumStars = MaxStars;
    int alive = 0;
    for (int i = 0; i < MaxStars; ++i) {
        const int kind = RandNext() % 10;
        const double x = frand(-2, 2), y = frand(-2, 2), z = frand(-2, 2);
        if (kind == 0)
            PlaceStar(i, nan, y, z, 0.003);
        else if (kind == 1)
            PlaceStar(i, x, inf, z, 0.003);
        else if (kind == 2)
            PlaceStar(i, -inf, inf, z, 0.003);
        else
            PlaceStar(i, x, y, z, 0.003);
        if (RandNext() % 7 == 0) Star[i].Alive = 0;
        alive += Star[i].Alive;
    }
    alive += 1 - Star[0].Alive;
    PlaceStar(0, 0, 0, 2, 0.01);  // straight ahead and nearest of all
    G.ShipPos = {0, 0, 3};
    GraphicsDrawEvol();
    ASSERT_EQ(G.NumVisible, alive);

    std::vector<int> seen(MaxStars, 0);
    bool nanPart = true;
    for (int k = 0; k < G.NumVisible; ++k) {
        const strStarIdx& e = StarIdx[k];
        ASSERT_GE(e.Index, 0);
        ASSERT_LT(e.Index, MaxStars);
        EXPECT_EQ(Star[e.Index].Alive, 1);
        EXPECT_EQ(++seen[e.Index], 1) << "star " << e.Index << " listed twice";
        if (!std::isnan(e.Dist)) nanPart = false;
        EXPECT_FALSE(!nanPart && std::isnan(e.Dist)) << "undefined distances come first, at " << k;
        if (k > 0 && !std::isnan(StarIdx[k - 1].Dist) && !std::isnan(e.Dist)) {
            EXPECT_GE(StarIdx[k - 1].Dist, e.Dist) << k;
        }
    }
    EXPECT_EQ(StarIdx[G.NumVisible - 1].Index, 0);
    EXPECT_TRUE(std::isinf(StarIdx[std::count_if(StarIdx, StarIdx + G.NumVisible,
                                                 [](const strStarIdx& e) { return std::isnan(e.Dist); })]
                               .Dist));
    EXPECT_GT(ReadFrame().At(512, 384).r, 60) << "the ordinary star ahead still shows";
}

TEST_F(StarField, ACountBeyondTheTableStopsAtItsEnd) {
    for (int i = 0; i < MaxStars; ++i) PlaceStar(i, 0, 0, -1, 0.002);
    G.NumStars = MaxStars + 50;
    GraphicsDrawEvol();
    EXPECT_EQ(G.NumVisible, MaxStars);
}

TEST_F(StarField, CompareOrdersFarthestFirstWithUndefinedFarthest) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const double values[] = {nan, inf, 5, 0, -0.0};
    for (double a : values)
        for (double b : values) {
            const strStarIdx ea{0, a}, eb{1, b};
            const int ab = StarIdxCompare(&ea, &eb), ba = StarIdxCompare(&eb, &ea);
            EXPECT_EQ(ab, -ba) << a << " " << b;
            const bool aFirst = std::isnan(a) ? !std::isnan(b) : (!std::isnan(b) && a > b);
            EXPECT_EQ(ab < 0, aFirst) << a << " " << b;
        }
}

TEST_F(StarField, FrameLeavesTheStateTheNextOneStartsFrom) {
    G.NumStars = 1;
    PlaceStar(0, 0, 0, 2, 0.01);
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
    GraphicsDrawEvol();
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint src = 0, dst = 0, texture = -1;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(texture, 0);
    float modelview[16], projection[16], expected[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    ReSizeGLScene(WIN_X, WIN_Y);
    glGetFloatv(GL_PROJECTION_MATRIX, expected);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(modelview[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
        EXPECT_FLOAT_EQ(projection[i], expected[i]) << i;
    }
}

// A 4 x 4, 32-bit image of four coloured quadrants, stored top row first: red and green above,
// blue and a transparent white below.
std::vector<unsigned char> QuadrantTga() {
    std::vector<unsigned char> file(TgaHeaderSize, 0);
    file[2] = 2;
    file[12] = 4;
    file[14] = 4;
    file[16] = 32;
    file[17] = 0x28;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool upper = y < 2, leftHalf = x < 2;
            unsigned char r = 0, g = 0, b = 0, a = 255;
            if (upper && leftHalf) r = 255;
            if (upper && !leftHalf) g = 255;
            if (!upper && leftHalf) b = 255;
            if (!upper && !leftHalf) r = g = b = 255, a = 0;
            file.insert(file.end(), {b, g, r, a});
        }
    return file;
}

TEST_F(StarField, BitmapShowsItsImageTurnedHalfWayRound) {
    const std::vector<unsigned char> file = QuadrantTga();
    TextureImage& image = textures[1];
    ASSERT_TRUE(EmbLoadTGA(&image, file.data(), static_cast<long>(file.size()), 0));
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.rgba, nullptr);
    GLint texture = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    EXPECT_EQ(texture, 0) << "the loader unbinds its texture";

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);  // y up, as the sprites see it
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
    DrawBitmap(1, 0.5);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    EXPECT_EQ(static_cast<unsigned>(texture), image.texName) << "the sprite texture stays bound";
    glBindTexture(GL_TEXTURE_2D, 0);

    // The square spans x 256..768 and y 192..576; its quadrants' middles:
    const Frame f = ReadFrame();
    const Rgb bottomLeft = f.At(384, 480), bottomRight = f.At(640, 480);
    const Rgb topLeft = f.At(384, 288), topRight = f.At(640, 288);
    EXPECT_TRUE(render_test::Is(bottomLeft, 0, 255, 0, 3)) << "green, first row right";
    EXPECT_TRUE(render_test::Is(bottomRight, 255, 0, 0, 3)) << "red, first row left";
    EXPECT_TRUE(render_test::Is(topRight, 0, 0, 255, 3)) << "blue, last row left";
    EXPECT_TRUE(render_test::Is(topLeft, 0, 0, 0, 3)) << "its own alpha: transparent";
    EXPECT_TRUE(f.Black(250, 480));
    EXPECT_TRUE(f.Black(774, 288));
    EXPECT_TRUE(f.Black(384, 186));
    EXPECT_TRUE(f.Black(640, 582));
}

TEST_F(StarField, RefusedImageCreatesNoTexture) {
    std::vector<unsigned char> file = QuadrantTga();
    file[16] = 16;
    TextureImage image{};
    EXPECT_FALSE(EmbLoadTGA(&image, file.data(), static_cast<long>(file.size()), 3));
    EXPECT_EQ(image.texName, 0u);
    file[16] = 32;
    EXPECT_FALSE(EmbLoadTGA(&image, file.data(), static_cast<long>(file.size()) - 1, 3));
    EXPECT_EQ(image.texName, 0u);
}

}  // namespace
