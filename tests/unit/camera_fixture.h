// The camera at its start-up state in the evolution state, on a hand-driven clock at 0 ms: the
// starting point of the camera and control tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "galaxy.h"
#include "system.h"

class CameraFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedManual = ClockManual;
        savedMs = ClockManualMs;
        ClockManual = true;
        ClockManualMs = 0;
        InitParameters();
        std::memset(keys, 0, sizeof keys);
        ForgetHeldKeys(0);
        Mouse = strMouse{};
        AppState = StateEvolution;
        Quit = 0;
        LastPhysic = 0;
        LastPlayer = 0;
    }
    void TearDown() override {
        std::memset(keys, 0, sizeof keys);
        ClockManual = savedManual;
        ClockManualMs = savedMs;
    }

private:
    bool savedManual = false;
    int savedMs = 0;
};
