// The evolution-mode controls: pause and quit keys, mouse look, held turns and speed keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "galaxy.h"
#include "system.h"
#include "camera_fixture.h"

namespace {

using EvolutionControlsTest = CameraFixture;

constexpr double RadToDeg = 180.0 / M_PI;

// Angle in degrees by which the camera has turned about the world y axis (positive: to the left).
double YawDegrees() { return std::atan2(-G.ShipRight.z, G.ShipRight.x) * RadToDeg; }

// Angle in degrees by which the camera has turned about the world x axis (positive: tilted up).
double PitchDegrees() { return std::atan2(G.ShipUp.z, G.ShipUp.y) * RadToDeg; }

// Angle in degrees by which the camera has rolled about the world z axis.
double RollDegrees() { return std::atan2(G.ShipRight.y, G.ShipRight.x) * RadToDeg; }

bool SameAxes(const strBod& a, const strBod& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool CameraAtStart() {
    return SameAxes(G.ShipRight, {1, 0, 0}) && SameAxes(G.ShipUp, {0, 1, 0}) &&
           SameAxes(G.ShipBack, {0, 0, 1}) && G.ShipSpeed == 0.0;
}

// One key step `ms` after the previous one.
void StepAfter(int ms) {
    ClockManualMs += ms;
    EvolutionKeys();
}

}  // namespace

TEST_F(EvolutionControlsTest, LongGapIsCappedOnlyWhileRunning) {
    keys[VK_LEFT] = 1;
    StepAfter(200);
    EXPECT_NEAR(YawDegrees(), 4.95, 1e-4);
    EXPECT_EQ(LastPlayer, 200);

    InitParameters();
    G.Pause = 1;
    StepAfter(200);
    EXPECT_NEAR(YawDegrees(), 30.0, 1e-4);
    EXPECT_EQ(LastPlayer, 400);
}

TEST_F(EvolutionControlsTest, HeldTurnsScaleWithElapsedTime) {
    keys[VK_LEFT] = 1;
    for (int i = 0; i < 10; ++i) StepAfter(20);
    // 200 ms at 150 degrees a second.
    EXPECT_NEAR(YawDegrees(), 30.0, 1e-4);
    keys[VK_LEFT] = 0;
    keys[VK_RIGHT] = 1;
    StepAfter(10);
    EXPECT_NEAR(YawDegrees(), 28.5, 1e-4);
}

// A key taken late turns by the time between its key-down and its key-up coming in, not by the key
// steps it was seen held between: while paused, 32 ms from 1005 to 1037 are 4.8 degrees.
TEST_F(EvolutionControlsTest, HeldTurnsGoByTheTimesTheKeysCameIn) {
    G.Pause = 1;
    keys_t[VK_LEFT] = 0;
    ClockManualMs = LastPlayer = 1000;
    ForgetHeldKeys(1000);
    ClockManualMs = 1020;
    const MSG down{WM_KEYDOWN, VK_LEFT, 0, 1005};
    DispatchMessage(&down);
    EvolutionKeys();
    EXPECT_NEAR(YawDegrees(), 2.25, 1e-4) << "counted from the key step before the key-down";
    StepAfter(10);
    ClockManualMs = 1050;
    const MSG up{WM_KEYUP, VK_LEFT, 0, 1037};
    DispatchMessage(&up);
    EvolutionKeys();
    EXPECT_NEAR(YawDegrees(), 4.8, 1e-4) << "the time between the last key step and the key-up was lost";
    StepAfter(20);
    EXPECT_NEAR(YawDegrees(), 4.8, 1e-4);
}

TEST_F(EvolutionControlsTest, LeftAndRightTogetherCancel) {
    keys[VK_LEFT] = keys[VK_RIGHT] = 1;
    for (int i = 0; i < 50; ++i) StepAfter(17);
    EXPECT_NEAR(YawDegrees(), 0.0, 1e-5);
    EXPECT_NEAR(G.ShipBack.x, 0.0, 1e-6);
    EXPECT_NEAR(G.ShipBack.z, 1.0, 1e-5);
}

TEST_F(EvolutionControlsTest, UpArrowTiltsTheViewDownAndDownArrowUp) {
    keys[VK_UP] = 1;
    StepAfter(20);
    // The camera looks along -ShipBack: tilted down means a negative y.
    EXPECT_NEAR(PitchDegrees(), -3.0, 1e-4);
    EXPECT_LT(-G.ShipBack.y, 0.0);
    keys[VK_UP] = 0;
    keys[VK_DOWN] = 1;
    StepAfter(30);
    EXPECT_NEAR(PitchDegrees(), 1.5, 1e-4);
    EXPECT_GT(-G.ShipBack.y, 0.0);
}

TEST_F(EvolutionControlsTest, QRollsRightTowardUpAndWBack) {
    keys['Q'] = 1;
    StepAfter(10);
    EXPECT_NEAR(RollDegrees(), 1.5, 1e-4);
    EXPECT_GT(G.ShipRight.y, 0.0);
    keys['Q'] = 0;
    keys['W'] = 1;
    StepAfter(20);
    EXPECT_NEAR(RollDegrees(), -1.5, 1e-4);
    // A roll keeps the view direction.
    EXPECT_NEAR(G.ShipBack.x, 0.0, 1e-9);
    EXPECT_NEAR(G.ShipBack.y, 0.0, 1e-9);
}

TEST_F(EvolutionControlsTest, AHeldTwoSecondsStopsAtTheLimit) {
    keys['A'] = 1;
    for (int i = 0; i < 50; ++i) StepAfter(20);
    // One second is 300 step units of SpeedStep: 0.0006.
    EXPECT_NEAR(G.ShipSpeed, 300 * G.SpeedStep, 1e-15);
    for (int i = 0; i < 50; ++i) StepAfter(20);
    EXPECT_EQ(G.ShipSpeed, SpeedLimit);
    for (int i = 0; i < 10; ++i) StepAfter(20);
    EXPECT_EQ(G.ShipSpeed, SpeedLimit);
}

TEST_F(EvolutionControlsTest, ZFliesBackwardThroughZeroToTheLowerLimit) {
    G.ShipSpeed = 0.00001;
    keys['Z'] = 1;
    StepAfter(25);
    // 7.5 step units of 2e-6 take it past 0 without stopping there.
    EXPECT_NEAR(G.ShipSpeed, 0.00001 - 7.5 * G.SpeedStep, 1e-15);
    EXPECT_LT(G.ShipSpeed, 0.0);
    for (int i = 0; i < 200; ++i) StepAfter(20);
    EXPECT_EQ(G.ShipSpeed, -SpeedLimit);
}

TEST_F(EvolutionControlsTest, MouseYawTurnsRightAndIsConsumed) {
    Mouse.SumX = 10;
    Mouse.DX = 3;
    Mouse.DY = 4;
    StepAfter(0);
    EXPECT_NEAR(YawDegrees(), -1.5, 1e-5);
    EXPECT_EQ(Mouse.SumX, 0.0f);
    EXPECT_EQ(Mouse.DX, 0.0f);
    EXPECT_EQ(Mouse.DY, 4.0f);
}

TEST_F(EvolutionControlsTest, MousePitchTiltsUpAndIsNotTimeScaled) {
    Mouse.SumY = 10;
    Mouse.DY = 2;
    // A long paused gap must not scale mouse look.
    G.Pause = 1;
    StepAfter(1000);
    EXPECT_NEAR(PitchDegrees(), 1.5, 1e-5);
    EXPECT_EQ(Mouse.SumY, 0.0f);
    EXPECT_EQ(Mouse.DY, 0.0f);
}

TEST_F(EvolutionControlsTest, MouseSumsThatAreNotNumbersAreDropped) {
    Mouse.SumX = std::numeric_limits<float>::quiet_NaN();
    Mouse.SumY = std::numeric_limits<float>::infinity();
    Mouse.DX = 1;
    Mouse.DY = 1;
    StepAfter(5);
    EXPECT_TRUE(CameraAtStart());
    EXPECT_EQ(Mouse.SumX, 0.0f);
    EXPECT_EQ(Mouse.SumY, 0.0f);
    EXPECT_EQ(Mouse.DX, 0.0f);
    EXPECT_EQ(Mouse.DY, 0.0f);
}

TEST_F(EvolutionControlsTest, SecondCallInTheSameMillisecondOnlyTakesTheMouse) {
    keys[VK_LEFT] = 1;
    StepAfter(10);
    const double yaw = YawDegrees();
    Mouse.SumX = -20;
    EvolutionKeys();
    // The mouse turns 3 degrees left; Left itself waits for the next tick.
    EXPECT_NEAR(YawDegrees(), yaw + 3.0, 1e-5);
    EXPECT_EQ(Mouse.SumX, 0.0f);
    EXPECT_EQ(LastPlayer, 10);
}

TEST_F(EvolutionControlsTest, SpaceActsAloneInItsCall) {
    keys[VK_SPACE] = 1;
    keys[VK_LEFT] = 1;
    Mouse.SumX = 10;
    StepAfter(20);
    EXPECT_EQ(G.Pause, 1);
    EXPECT_EQ(keys[VK_SPACE], 0);
    EXPECT_EQ(keys[VK_LEFT], 1);
    EXPECT_TRUE(CameraAtStart());
    EXPECT_EQ(Mouse.SumX, 10.0f);
    EXPECT_EQ(LastPlayer, 0);

    // From the next call on the arrow acts, over the whole paused gap of 40 ms since the last
    // key step.
    Mouse.SumX = 0;
    StepAfter(20);
    EXPECT_NEAR(YawDegrees(), 6.0, 1e-4);

    keys[VK_SPACE] = 1;
    StepAfter(1);
    EXPECT_EQ(G.Pause, 0);
    G.Pause = 5;
    keys[VK_SPACE] = 1;
    StepAfter(1);
    EXPECT_EQ(G.Pause, 0);
}

TEST_F(EvolutionControlsTest, EscapeQuitsAndLeavesTheCamera) {
    keys[VK_ESCAPE] = 1;
    keys[VK_UP] = 1;
    keys['A'] = 1;
    Mouse.SumY = 7;
    StepAfter(20);
    EXPECT_EQ(AppState, StateQuitting);
    EXPECT_EQ(Quit, 1);
    EXPECT_EQ(keys[VK_ESCAPE], 0);
    EXPECT_TRUE(CameraAtStart());
    EXPECT_EQ(Mouse.SumY, 7.0f);
    EXPECT_EQ(G.Pause, 0);
}
