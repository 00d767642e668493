// The star field drawn through the per-star matrices and through the single array draw, read back
// and compared, for clouds seen from several camera positions and orientations.
#include "render_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "utility.h"

namespace {

using render_test::Frame;
using render_test::ReadFrame;
using render_test::RenderTest;

class FastStarField : public RenderTest {};

// The two paths put each corner at the same place up to float rounding, about 1e-4 pixel at the
// distances of the cloud, and sample the texture at the same place up to a like fraction of a texel.
// Mostly that changes a pixel by a level or two. Now and then a sprite's edge lies that close to a
// row or column of pixel centres, and that one row or column is covered by one path and not by the
// other: with the mipmapped texture a small sprite's edge is bright, so those pixels differ by up to
// the full brightness. Measured: at most 0.1 % of the lit pixels differ at all, and at most 0.01 %
// by more than two levels. A fault in placement, size, orientation, colour, texture or order changes
// whole sprites, thousands of pixels in these scenes.
constexpr int SmallDifference = 2;            // levels of rounding in the texture lookup and blending
constexpr double DifferingShare = 3e-3;       // of the lit pixels, allowed to differ at all
constexpr double StronglyDifferingShare = 5e-4;  // of the lit pixels, allowed to differ by more
constexpr int MinLitPixels = 20000;           // the scene must show enough to compare

// The frame of GraphicsDrawEvol without the overlay, with the star field drawn by `field`.
void DrawField(void (*field)()) {
    ReSizeGLScene(WIN_X, WIN_Y);
    BeginStarField();
    field();
    glBindTexture(GL_TEXTURE_2D, 0);
}

struct strFrameDiff {
    int lit;        // pixels not black in the reference
    int differing;  // pixels differing in any channel
    int strongly;   // pixels differing by more than SmallDifference in a channel
    int worst;      // largest difference of a channel
};

strFrameDiff Compare(const Frame& ref, const Frame& got) {
    strFrameDiff d = {0, 0, 0, 0};
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const render_test::Rgb a = ref.At(x, y), b = got.At(x, y);
            const int diff = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
            d.lit += ref.Black(x, y) ? 0 : 1;
            d.differing += diff > 0 ? 1 : 0;
            d.strongly += diff > SmallDifference ? 1 : 0;
            d.worst = std::max(d.worst, diff);
        }
    }
    return d;
}

void ExpectSamePicture(const char* scene) {
    DrawField(DrawStarField);
    const Frame ref = ReadFrame();
    DrawField(DrawStarFieldFast);
    const Frame got = ReadFrame();
    const strFrameDiff d = Compare(ref, got);
    ASSERT_GE(d.lit, MinLitPixels) << scene << ": too little on screen to compare";
    EXPECT_LE(d.differing, DifferingShare * d.lit) << scene;
    EXPECT_LE(d.strongly, StronglyDifferingShare * d.lit) << scene;
    ::testing::Test::RecordProperty(scene, std::to_string(d.differing) + " pixels differ, " +
                                               std::to_string(d.strongly) + " by more than " +
                                               std::to_string(SmallDifference) + ", by at most " +
                                               std::to_string(d.worst) + ", of " + std::to_string(d.lit) + " lit");
}

// A generated cloud, with the sprites scaled so that they overlap and show their texture.
void MakeCloud(int stars, double sizeScale) {
    G.NumStars = stars;
    RandSeed(777);
    GenerateGalaxy();
    for (int i = 0; i < stars; ++i) Star[i].Size *= sizeScale;
}

void TurnCamera(double yawDeg, double pitchDeg, double rollDeg) {
    Rotate(yawDeg, &G.ShipUp, &G.ShipRight);
    Rotate(yawDeg, &G.ShipUp, &G.ShipBack);
    Rotate(pitchDeg, &G.ShipRight, &G.ShipUp);
    Rotate(pitchDeg, &G.ShipRight, &G.ShipBack);
    Rotate(rollDeg, &G.ShipBack, &G.ShipRight);
    Rotate(rollDeg, &G.ShipBack, &G.ShipUp);
}

}  // namespace

TEST_F(FastStarField, InitialCameraSeesTheSamePicture) {
    MakeCloud(MaxStars, 3);
    ExpectSamePicture("initial camera");
}

TEST_F(FastStarField, TurnedAndRolledCameraSeesTheSamePicture) {
    MakeCloud(MaxStars, 3);
    G.ShipPos = {1.5, -0.7, 2.2};
    TurnCamera(25, -12, 40);
    ExpectSamePicture("turned camera");
}

// From inside the cloud stars lie behind the camera and across the near plane, where the GL clips.
TEST_F(FastStarField, CameraInsideTheCloudSeesTheSamePicture) {
    MakeCloud(MaxStars, 2);
    G.ShipPos = {0.1, 0.05, -0.2};
    TurnCamera(150, 30, -75);
    ExpectSamePicture("camera inside the cloud");
}

// Large, overlapping sprites: the blending order of nearly every pixel counts.
TEST_F(FastStarField, OverlappingSpritesBlendInTheSameOrder) {
    MakeCloud(2000, 25);
    G.ShipPos = {0, 0, 2.5};
    TurnCamera(-8, 5, 170);
    ExpectSamePicture("overlapping sprites");
}

// The table tells which stars the frame drew: the fast frame lists the same stars in the same order.
TEST_F(FastStarField, FillsTheDepthTableAsThePerStarPathDoes) {
    MakeCloud(3000, 1);
    G.ShipPos = {0.3, 0.2, 1.8};
    Star[10].Alive = 0;
    DrawField(DrawStarField);
    static strStarIdx ref[MaxStars];
    const int refCount = G.NumVisible;
    std::memcpy(ref, StarIdx, sizeof ref);
    DrawField(DrawStarFieldFast);
    ASSERT_EQ(G.NumVisible, refCount);
    EXPECT_EQ(G.NumVisible, 2999);
    for (int k = 0; k < refCount; ++k) {
        ASSERT_EQ(StarIdx[k].Index, ref[k].Index) << "entry " << k;
        ASSERT_EQ(StarIdx[k].Dist, ref[k].Dist) << "entry " << k;
    }
}

// Evolution frames draw through the fast path: the frame's star field matches the per-star one.
TEST_F(FastStarField, EvolutionFrameUsesTheFastPath) {
    MakeCloud(500, 30);
    GraphicsDrawEvol();
    const Frame evol = ReadFrame();
    DrawField(DrawStarFieldFast);
    DrawInfo();
    const Frame fast = ReadFrame();
    EXPECT_TRUE(evol == fast);
}
