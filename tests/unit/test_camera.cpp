// The camera: its view matrices, its motion on the wall clock, and the stability of its axes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "galaxy.h"
#include "graphics.h"
#include "system.h"
#include "camera_fixture.h"

namespace {

using CameraTest = CameraFixture;

strBod Cross(const strBod& a, const strBod& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Length(const strBod& v) { return std::sqrt(CosAngle(&v, &v)); }

void ExpectRow(const float* m, int r, float c0, float c1, float c2, float c3) {
    EXPECT_NEAR(m[idx(r, 0)], c0, 1e-6) << "row " << r;
    EXPECT_NEAR(m[idx(r, 1)], c1, 1e-6) << "row " << r;
    EXPECT_NEAR(m[idx(r, 2)], c2, 1e-6) << "row " << r;
    EXPECT_NEAR(m[idx(r, 3)], c3, 1e-6) << "row " << r;
}

void ExpectColumn(const float* m, int c, float r0, float r1, float r2, float r3) {
    EXPECT_NEAR(m[idx(0, c)], r0, 1e-6) << "column " << c;
    EXPECT_NEAR(m[idx(1, c)], r1, 1e-6) << "column " << c;
    EXPECT_NEAR(m[idx(2, c)], r2, 1e-6) << "column " << c;
    EXPECT_NEAR(m[idx(3, c)], r3, 1e-6) << "column " << c;
}

// Holds `key` for one key step of `ms` milliseconds.
void HoldKeyFor(int key, int ms) {
    keys[key] = 1;
    ClockManualMs += ms;
    EvolutionKeys();
    keys[key] = 0;
}

}  // namespace

using ViewMatrixTest = CameraTest;

TEST_F(ViewMatrixTest, StartingAxesGiveIdentityMatrices) {
    CreateViewMatrix();
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(G.ViewMatrix[idx(r, c)], r == c ? 1.0f : 0.0f);
            EXPECT_EQ(G.ViewMatrixInv[idx(r, c)], r == c ? 1.0f : 0.0f);
        }
    }
}

TEST_F(ViewMatrixTest, QuarterYawLeftPutsTheAxesInTheRows) {
    // Paused, a 600 ms gap with Left held is 180 step units: a 90 degree turn about ShipUp.
    G.Pause = 1;
    HoldKeyFor(VK_LEFT, 600);
    CreateViewMatrix();
    EXPECT_NEAR(G.ShipRight.z, -1.0, 1e-6);
    EXPECT_NEAR(G.ShipBack.x, 1.0, 1e-6);
    ExpectRow(G.ViewMatrix, 0, 0, 0, -1, 0);
    ExpectRow(G.ViewMatrix, 1, 0, 1, 0, 0);
    ExpectRow(G.ViewMatrix, 2, 1, 0, 0, 0);
    ExpectRow(G.ViewMatrix, 3, 0, 0, 0, 1);
    ExpectColumn(G.ViewMatrixInv, 0, 0, 0, -1, 0);
    ExpectColumn(G.ViewMatrixInv, 2, 1, 0, 0, 0);
    ExpectColumn(G.ViewMatrixInv, 3, 0, 0, 0, 1);
}

TEST_F(ViewMatrixTest, MapsWorldDirectionsToCameraComponents) {
    G.Pause = 1;
    HoldKeyFor(VK_UP, 100);
    HoldKeyFor('Q', 70);
    HoldKeyFor(VK_RIGHT, 130);
    CreateViewMatrix();
    // The view direction -ShipBack must come out as (0, 0, -1) in camera space, ShipUp as (0, 1, 0).
    const strBod* axes[3] = {&G.ShipRight, &G.ShipUp, &G.ShipBack};
    for (int a = 0; a < 3; ++a) {
        for (int r = 0; r < 3; ++r) {
            double component = 0;
            for (int c = 0; c < 3; ++c) {
                const double world = c == 0 ? axes[a]->x : (c == 1 ? axes[a]->y : axes[a]->z);
                component += G.ViewMatrix[idx(r, c)] * world;
            }
            EXPECT_NEAR(component, r == a ? 1.0 : 0.0, 1e-6) << "axis " << a << " row " << r;
        }
    }
    float product[16];
    MultMatrix(G.ViewMatrix, G.ViewMatrixInv, product);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(product[idx(r, c)], r == c ? 1.0f : 0.0f, 1e-6);
}

TEST_F(ViewMatrixTest, RescalesTheAxesInPlace) {
    G.ShipRight = {1.001, 0, 0};
    G.ShipUp = {0, 0.5, 0};
    G.ShipBack = {0, 0, 3};
    CreateViewMatrix();
    EXPECT_NEAR(Length(G.ShipRight), 1.0, 1e-7);
    EXPECT_NEAR(Length(G.ShipUp), 1.0, 1e-7);
    EXPECT_NEAR(Length(G.ShipBack), 1.0, 1e-7);
    EXPECT_NEAR(G.ViewMatrix[idx(0, 0)], 1.0f, 1e-7);
}

using ShipMotionTest = CameraTest;

TEST_F(ShipMotionTest, FullSpeedCoversPointThreeUnitsASecond) {
    G.ShipSpeed = 0.001;
    ClockManualMs = 1000;
    ShipRecalc();
    EXPECT_NEAR(G.ShipVel.x, 0.0, 1e-15);
    EXPECT_NEAR(G.ShipVel.z, -0.3, 1e-12);
    EXPECT_NEAR(G.ShipPos.z, 2.7, 1e-12);
    EXPECT_EQ(LastPhysic, 1000);
}

TEST_F(ShipMotionTest, NegativeSpeedFliesBackward) {
    G.ShipSpeed = -0.001;
    ClockManualMs = 1000;
    ShipRecalc();
    EXPECT_NEAR(G.ShipPos.z, 3.3, 1e-12);
}

TEST_F(ShipMotionTest, MovesAlongTheCurrentViewDirection) {
    G.ShipBack = {0.6, 0, 0.8};
    G.ShipSpeed = 0.001;
    ClockManualMs = 500;
    ShipRecalc();
    EXPECT_NEAR(G.ShipPos.x, -0.15 * 0.6, 1e-12);
    EXPECT_NEAR(G.ShipPos.z, 3.0 - 0.15 * 0.8, 1e-12);
}

TEST_F(ShipMotionTest, SpeedThresholdDecidesWhetherTheCameraMoves) {
    G.ShipSpeed = G.SpeedThreshold;
    ClockManualMs = 1000;
    ShipRecalc();
    EXPECT_LT(G.ShipPos.z, 3.0);

    const strBod pos = G.ShipPos;
    const strBod vel = G.ShipVel;
    G.ShipSpeed = 1.5e-5;
    ClockManualMs = 2000;
    ShipRecalc();
    EXPECT_EQ(G.ShipPos.z, pos.z);
    EXPECT_EQ(G.ShipVel.z, vel.z);
    EXPECT_EQ(LastPhysic, 2000);

    // Time spent standing still is not made up once the speed is back.
    G.ShipSpeed = 0.001;
    ClockManualMs = 2100;
    ShipRecalc();
    EXPECT_NEAR(G.ShipPos.z, pos.z - 0.03, 1e-12);
}

TEST_F(ShipMotionTest, SecondStepInTheSameMillisecondStaysPut) {
    G.ShipSpeed = 0.001;
    ClockManualMs = 40;
    ShipRecalc();
    const double z = G.ShipPos.z;
    ShipRecalc();
    EXPECT_EQ(G.ShipPos.z, z);
    EXPECT_EQ(G.ShipVel.z, 0.0);
}

TEST_F(ShipMotionTest, KeepsFlyingWhilePausedAndOverLongGaps) {
    G.Pause = 1;
    G.ShipSpeed = 0.001;
    ClockManualMs = 1000;
    ShipRecalc();
    EXPECT_NEAR(G.ShipPos.z, 2.7, 1e-12);
    // A long frame is not clamped: the whole ten seconds count.
    G.Pause = 0;
    ClockManualMs = 11000;
    ShipRecalc();
    EXPECT_NEAR(G.ShipPos.z, -0.3, 1e-12);
}

TEST_F(ShipMotionTest, SpeedThatIsNotANumberMovesNothing) {
    G.ShipSpeed = std::numeric_limits<double>::quiet_NaN();
    ClockManualMs = 1000;
    ShipRecalc();
    EXPECT_EQ(G.ShipPos.z, 3.0);
    EXPECT_EQ(G.ShipVel.z, 0.0);
    EXPECT_EQ(LastPhysic, 1000);
}

using CameraBasisTest = CameraTest;

TEST_F(CameraBasisTest, StaysRightHandedOrthonormalOverALongFlight) {
    // Thousands of key steps with changing combinations of turns and rolls, plus mouse look, with
    // a drawn frame (and so a rescale of the axes) every third step, as in the running program.
    const int turnKeys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, 'Q', 'W'};
    for (int step = 0; step < 6000; ++step) {
        for (int i = 0; i < 6; ++i) keys[turnKeys[i]] = ((step / (i + 3) + i) % 3 == 0) ? 1 : 0;
        Mouse.SumX = static_cast<float>((step * 7) % 13 - 6);
        Mouse.SumY = static_cast<float>((step * 5) % 11 - 5);
        ClockManualMs += 1 + step % 29;
        EvolutionKeys();
        if (step % 3 == 0) CreateViewMatrix();
    }
    CreateViewMatrix();
    // The flight really turned the camera away from its start.
    EXPECT_LT(G.ShipBack.z, 0.999);

    EXPECT_NEAR(Length(G.ShipRight), 1.0, 1e-6);
    EXPECT_NEAR(Length(G.ShipUp), 1.0, 1e-6);
    EXPECT_NEAR(Length(G.ShipBack), 1.0, 1e-6);
    EXPECT_NEAR(CosAngle(&G.ShipRight, &G.ShipUp), 0.0, 1e-5);
    EXPECT_NEAR(CosAngle(&G.ShipUp, &G.ShipBack), 0.0, 1e-5);
    EXPECT_NEAR(CosAngle(&G.ShipBack, &G.ShipRight), 0.0, 1e-5);
    const strBod cross = Cross(G.ShipRight, G.ShipUp);
    EXPECT_NEAR(cross.x, G.ShipBack.x, 1e-5);
    EXPECT_NEAR(cross.y, G.ShipBack.y, 1e-5);
    EXPECT_NEAR(cross.z, G.ShipBack.z, 1e-5);
}
