// The frame pacer on a hand-driven clock: the rate rule over the ring of draw times, due and not-due
// frames, the message step and key handler that run after every call, and the order in which the
// quit message is taken. Frames are drawn in the quitting state, where nothing is drawn but every
// frame is still measured, so no GL context is needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "galaxy.h"
#include "m_input.h"
#include "system.h"

namespace {

void DrainMessages() {
    MSG msg;
    while (PeekMessage(&msg)) {
    }
}

class PacerTest : public ::testing::Test {
protected:
    void SetUp() override {
        DrainMessages();
        ClockManual = true;
        ClockManualMs = 10000;
        hWnd = nullptr;
        hRC = nullptr;
        std::fill(std::begin(DrawTime), std::end(DrawTime), 0);
        DTidx = 0;
        LastDraw = 0;
        S.RefreshRate = 50;
        AppState = StateQuitting;
        Quit = 0;
        INmenu = strInMenu{};
        std::fill(std::begin(keys), std::end(keys), 0);
        G.Pause = 0;
    }
    void TearDown() override {
        DrainMessages();
        ClockManual = false;
    }
    static void FillRing(int ms) {
        for (int i = 0; i < 10; ++i) RecomputeRR(ms);
    }
    // Draw-time measurements made so far (each frame records one).
    static int Frames() { return static_cast<int>(std::count_if(std::begin(DrawTime), std::end(DrawTime), [](int t) { return t > 0; })); }
};

// ---- Rate rule ------------------------------------------------------------------------------------

TEST_F(PacerTest, RateFollowsTheAverageDrawTime) {
    struct Row {
        int ms;
        int rate;
    };
    // Slow drawing gets half its possible rate, fast drawing a fifth, at least 25 once drawing allows
    // 50, never more than 50.
    const Row rows[] = {{1, 50}, {4, 50}, {5, 40}, {8, 25}, {10, 25}, {20, 25}, {40, 12}, {100, 5}, {400, 1}};
    for (const Row& row : rows) {
        FillRing(row.ms);
        EXPECT_EQ(S.RefreshRate, row.rate) << row.ms << " ms";
        EXPECT_EQ(1000 / S.RefreshRate, 1000 / row.rate);
    }
}

TEST_F(PacerTest, RateNeverFallsBelowOneFrameASecond) {
    for (const int ms : {501, 600, 2000, 100000}) {
        FillRing(ms);
        EXPECT_EQ(S.RefreshRate, 1) << ms << " ms";
    }
    ClockManualMs = 500000;
    LastDraw = ClockManualMs - 999;
    AmbrelDoevents();  // the interval is 1000 ms, not a division by zero
    EXPECT_EQ(LastDraw, ClockManualMs - 999);
}

TEST_F(PacerTest, FirstMeasurementAloneSetsTheRateAndLaterOnesAreAveraged) {
    RecomputeRR(40);
    EXPECT_EQ(S.RefreshRate, 12);
    EXPECT_EQ(DTidx, 1);
    RecomputeRR(4);  // average 22 ms: 45 fps, half 22 beats a fifth of 9
    EXPECT_EQ(S.RefreshRate, 22);
}

TEST_F(PacerTest, ZeroDrawTimeCountsAsOneMillisecond) {
    RecomputeRR(0);
    EXPECT_EQ(DrawTime[0], 1);
    EXPECT_EQ(S.RefreshRate, 50);
}

TEST_F(PacerTest, RingKeepsTheLastTenMeasurements) {
    FillRing(400);
    EXPECT_EQ(DTidx, 0);
    for (int i = 0; i < 9; ++i) RecomputeRR(1);
    // Nine of 1 ms and one of 400 ms left: 40.9 ms on average, half of 24 fps.
    EXPECT_EQ(S.RefreshRate, 12);
    EXPECT_EQ(DrawTime[9], 400);
    RecomputeRR(1);
    EXPECT_EQ(DrawTime[9], 1);
    EXPECT_EQ(S.RefreshRate, 50);
}

// ---- Due and not-due frames -----------------------------------------------------------------------

TEST_F(PacerTest, FirstCallDrawsAtOnceAndThenOnlyAfterTheFrameInterval) {
    EXPECT_EQ(AmbrelDoevents(), 0);
    EXPECT_EQ(LastDraw, 10000);
    EXPECT_EQ(Frames(), 1);

    ClockManualMs = 10019;
    AmbrelDoevents();
    EXPECT_EQ(LastDraw, 10000);
    EXPECT_EQ(Frames(), 1);

    ClockManualMs = 10020;  // 1000 / 50
    AmbrelDoevents();
    EXPECT_EQ(LastDraw, 10020);
    EXPECT_EQ(Frames(), 2);

    S.RefreshRate = 12;  // 83 ms by integer division
    ClockManualMs = 10102;
    AmbrelDoevents();
    EXPECT_EQ(Frames(), 2);
    ClockManualMs = 10103;
    AmbrelDoevents();
    EXPECT_EQ(Frames(), 3);
    EXPECT_EQ(LastDraw, 10103);
}

TEST_F(PacerTest, NegativeClockAlwaysDraws) {
    ClockManualMs = -5;
    LastDraw = -5;
    AmbrelDoevents();
    AmbrelDoevents();
    EXPECT_EQ(Frames(), 2);
}

TEST_F(PacerTest, DrawAndDrawSceneMeasureWithoutTouchingTheFrameTime) {
    LastDraw = 9999;
    AmbrelDraw();
    DrawScene();
    EXPECT_EQ(Frames(), 2);
    EXPECT_EQ(LastDraw, 9999);
}

TEST_F(PacerTest, SleepOfNoTimeMakesNoCall) {
    Sleep(0.0f);
    Sleep(-1.0f);
    EXPECT_EQ(Frames(), 0);
    EXPECT_EQ(LastDraw, 0);
}

// ---- Message step and key handler -------------------------------------------------------------

TEST_F(PacerTest, NotDueCallStillTakesAMessageAndRunsTheKeyHandler) {
    LastDraw = ClockManualMs;
    AppState = StateEvolution;
    keys[VK_SPACE] = 1;
    EXPECT_EQ(AmbrelDoevents(), 0);
    EXPECT_EQ(G.Pause, 1) << "the evolution controls ran";
    EXPECT_EQ(keys[VK_SPACE], 0);
    EXPECT_EQ(Frames(), 0);

    PostQuitMessage(0);
    EXPECT_EQ(AmbrelDoevents(), 1);
    EXPECT_EQ(Quit, 1);
    EXPECT_EQ(Frames(), 0);
}

TEST_F(PacerTest, OpenPromptTakesTheKeysInsteadOfTheEvolutionControls) {
    AppState = StateEvolution;
    INmenu.Active = 1;
    INmenu.MaxLn = 10;
    keys['Z'] = 1;  // the prompt types the highest code held and leaves the space for later
    keys[VK_SPACE] = 1;
    HandleKeys();
    EXPECT_EQ(keys['Z'], 0);
    EXPECT_EQ(G.Pause, 0) << "the evolution controls must not run while the prompt is open";
    EXPECT_EQ(keys[VK_SPACE], 1);

    INmenu.Active = 0;
    AppState = StateSetup;
    HandleKeys();
    EXPECT_EQ(keys[VK_SPACE], 1) << "in the setup state without a prompt no handler runs";

    AppState = StateEvolution;
    HandleKeys();
    EXPECT_EQ(G.Pause, 1);
    EXPECT_EQ(keys[VK_SPACE], 0);
}

TEST_F(PacerTest, QuitMessageReturnsBeforeTheKeyHandlerRuns) {
    LastDraw = ClockManualMs;
    INmenu.Active = 1;
    keys[VK_RETURN] = 1;
    PostQuitMessage(0);
    EXPECT_EQ(AmbrelDoevents(), 1);
    EXPECT_EQ(Quit, 1);
    EXPECT_EQ(AppState, StateQuitting);
    EXPECT_EQ(INmenu.Active, 1);
    EXPECT_EQ(keys[VK_RETURN], 1);

    EXPECT_EQ(SystemMessages(), 0);  // the next step runs the handler again
    EXPECT_EQ(INmenu.Active, 0);
}

// ---- Clock --------------------------------------------------------------------------------------

TEST(Clock, ManualOverrideAndRealMilliseconds) {
    ClockManual = true;
    ClockManualMs = -42;
    EXPECT_EQ(Clock(), -42);
    ClockManual = false;
    const int first = Clock();
    const int second = Clock();
    EXPECT_GE(first, 0);
    EXPECT_LE(first, second);
    EXPECT_LT(second, 3600 * 1000) << "counted from the program's start";
}

}  // namespace
