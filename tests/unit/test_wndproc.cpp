// The window procedure fed with synthetic messages, without a window: key acceptance, mouse tracking
// around the warp centre, clicks and double clicks, the active flag, and the close request that must
// travel through the message pump. Also the platform services that work without a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "galaxy.h"
#include "m_input.h"
#include "system.h"

namespace {

constexpr int CentreX = 512;
constexpr int CentreY = 384;

void DrainMessages() {
    MSG msg;
    while (PeekMessage(&msg)) {
    }
}

class WndProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        DrainMessages();
        ClockManual = true;
        ClockManualMs = 0;
        hWnd = nullptr;
        hRC = nullptr;
        WIN_X = FS_X = FS_X0 = 2 * CentreX;
        WIN_Y = FS_Y = 2 * CentreY;
        S.KeyDelay = 0.05f;
        std::memset(keys, 0, sizeof keys);
        for (int& t : keys_t) t = 0;
        Mouse = strMouse{};
        Mouse.X = Mouse.OldX = CentreX;
        Mouse.Y = Mouse.OldY = CentreY;
        Mouse.DblClickTime = 250;
        Mouse.LClickTime = Mouse.RClickTime = -251;
        active = true;
        Quit = 0;
        AppState = StateSetup;
        INmenu.Active = 0;
    }
    void TearDown() override {
        DrainMessages();
        ClockManual = false;
    }

    static LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return WndProc(nullptr, message, wParam, lParam);
    }
    static void MoveTo(int x, int y, WPARAM buttons = 0) { Send(WM_MOUSEMOVE, buttons, MakeLong(x, y)); }
    static void KeyDownAt(int ms, int code) {
        ClockManualMs = ms;
        Send(WM_KEYDOWN, static_cast<WPARAM>(code));
    }
};

// ---- Keys ---------------------------------------------------------------------------------------

TEST_F(WndProcTest, KeyDownIsAcceptedOnlyKeyDelayAfterTheLastAcceptedOne) {
    KeyDownAt(1000, 'A');
    EXPECT_EQ(keys['A'], 1);
    EXPECT_EQ(keys_t['A'], 1000);

    keys['A'] = 0;  // a consumer acted on it; the auto-repeat follows
    KeyDownAt(1049, 'A');
    EXPECT_EQ(keys['A'], 0);
    EXPECT_EQ(keys_t['A'], 1000) << "an ignored key-down must not restart the interval";

    // 50 ms as a double is still less than the single-precision 0.05 s of the delay.
    KeyDownAt(1050, 'A');
    EXPECT_EQ(keys['A'], 0);
    KeyDownAt(1051, 'A');
    EXPECT_EQ(keys['A'], 1);
    EXPECT_EQ(keys_t['A'], 1051);

    // The delay is kept per key.
    KeyDownAt(1052, 'B');
    EXPECT_EQ(keys['B'], 1);
}

TEST_F(WndProcTest, KeyPressedWithinKeyDelayOfTheStartIsIgnored) {
    for (int& t : keys_t) t = 200;  // the start-up stamps every key with the start time
    KeyDownAt(230, VK_SPACE);
    EXPECT_EQ(keys[VK_SPACE], 0);
    KeyDownAt(260, VK_SPACE);
    EXPECT_EQ(keys[VK_SPACE], 1);
}

TEST_F(WndProcTest, KeyUpClearsTheFlagWithoutTouchingItsTime) {
    KeyDownAt(1000, VK_RETURN);
    ASSERT_EQ(keys[VK_RETURN], 1);
    EXPECT_EQ(Send(WM_KEYUP, VK_RETURN), 0);
    EXPECT_EQ(keys[VK_RETURN], 0);
    EXPECT_EQ(keys_t[VK_RETURN], 1000);
}

TEST_F(WndProcTest, HeldKeyRepeatsForAConsumerAtMostOnceEveryKeyDelay) {
    int accepted = 0;
    for (int ms = 1000; ms <= 1300; ms += 30) {  // auto-repeat every 30 ms
        KeyDownAt(ms, VK_BACK);
        if (keys[VK_BACK] == 1) ++accepted;
        keys[VK_BACK] = 0;
    }
    // Accepted at 1000, 1060, 1120, 1180, 1240, 1300: each at least 51 ms after the one before.
    EXPECT_EQ(accepted, 6);
}

// Each code alone, key-downs and key-ups apart, against a table with a key held: a code wrapped into
// the table would set or clear the key of its low byte, or stamp it.
TEST_F(WndProcTest, CodesOutsideTheKeyTableAreIgnored) {
    KeyDownAt(1000, 'A');
    unsigned char before[256];
    int stampsBefore[256];
    std::memcpy(before, keys, sizeof keys);
    std::memcpy(stampsBefore, keys_t, sizeof keys_t);
    const WPARAM codes[] = {WPARAM{256}, WPARAM{256 + 'B'}, WPARAM{1000}, WPARAM{0x10000 + 'C'}, ~WPARAM{0}};
    for (const WPARAM code : codes) {
        ClockManualMs += 100;
        EXPECT_EQ(Send(WM_KEYDOWN, code), 0);
        EXPECT_EQ(std::memcmp(before, keys, sizeof keys), 0) << "key-down of " << code;
        EXPECT_EQ(std::memcmp(stampsBefore, keys_t, sizeof keys_t), 0) << "key-down of " << code;
    }
    ClockManualMs += 100;
    EXPECT_EQ(Send(WM_KEYUP, WPARAM{256 + 'A'}), 0);
    EXPECT_EQ(keys['A'], 1) << "a key-up outside the table released A";
    EXPECT_EQ(std::memcmp(before, keys, sizeof keys), 0);
    KeyDownAt(5000, 255);
    EXPECT_EQ(keys[255], 1) << "the last code of the table is still a key";
}

// ---- Mouse motion -------------------------------------------------------------------------------

TEST_F(WndProcTest, FirstMoveOnlyStartsTracking) {
    Mouse.DX = 7;
    Mouse.DY = 9;
    MoveTo(600, 400);
    EXPECT_EQ(Mouse.Tracking, 1);
    EXPECT_EQ(Mouse.X, 600);
    EXPECT_EQ(Mouse.Y, 400);
    EXPECT_EQ(Mouse.DX, 7);
    EXPECT_EQ(Mouse.DY, 9);
    EXPECT_EQ(Mouse.SumX, 0);
    EXPECT_EQ(Mouse.SumY, 0);
    EXPECT_EQ(Mouse.OldX, CentreX) << "after every move the previous position is the centre";
    EXPECT_EQ(Mouse.OldY, CentreY);
}

TEST_F(WndProcTest, MoveFromTheCentreAddsNothingAndTheWarpBackAddsTheDisplacement) {
    MoveTo(CentreX, CentreY);  // tracking starts at the centre
    MoveTo(600, 400);
    EXPECT_EQ(Mouse.DX, 0);
    EXPECT_EQ(Mouse.DY, 0);
    EXPECT_EQ(Mouse.SumX, 0);
    EXPECT_EQ(Mouse.SumY, 0);

    MoveTo(CentreX, CentreY);  // the warp's own message
    EXPECT_EQ(Mouse.DX, 88);
    EXPECT_EQ(Mouse.DY, 16);
    EXPECT_EQ(Mouse.SumX, 88);
    EXPECT_EQ(Mouse.SumY, 16);

    MoveTo(500, 380);
    MoveTo(CentreX, CentreY);
    EXPECT_EQ(Mouse.DX, -12);
    EXPECT_EQ(Mouse.DY, -4);
    EXPECT_EQ(Mouse.SumX, 76);
    EXPECT_EQ(Mouse.SumY, 12);
}

TEST_F(WndProcTest, MoveBetweenTwoPointsOffTheCentreCountsItsDelta) {
    MoveTo(CentreX, CentreY);
    Mouse.X = 700;  // a move whose warp got lost
    MoveTo(690, 390);
    EXPECT_EQ(Mouse.DX, 10);
    EXPECT_EQ(Mouse.DY, -6);
    EXPECT_EQ(Mouse.SumX, 10);
}

TEST_F(WndProcTest, MoveSetsButtonsOverlayPositionAndWheel) {
    WIN_X = 2048;  // overlay half as wide as the window
    WIN_Y = 1536;
    MoveTo(1000, 600, MK_LBUTTON);
    EXPECT_EQ(Mouse.LButton, 1);
    EXPECT_EQ(Mouse.RButton, 0);
    EXPECT_EQ(Mouse.PosX, 500);
    EXPECT_EQ(Mouse.PosY, 300);
    EXPECT_EQ(Mouse.Wheel, 0);

    // Coordinates are unsigned 16-bit words: a position left of the window arrives as a huge x.
    MoveTo(-1, 3000, MK_RBUTTON);
    EXPECT_EQ(Mouse.LButton, 0);
    EXPECT_EQ(Mouse.RButton, 1);
    EXPECT_EQ(Mouse.X, 65535);
    EXPECT_EQ(Mouse.PosX, FS_X);
    EXPECT_EQ(Mouse.PosY, FS_Y);

    Send(WM_MOUSEWHEEL, static_cast<WPARAM>(MakeLong(0, -120)), MakeLong(10, 20));
    EXPECT_EQ(Mouse.Wheel, -120);
    EXPECT_EQ(Mouse.X, 10);
    Send(WM_MOUSEWHEEL, static_cast<WPARAM>(MakeLong(0, 240)), MakeLong(10, 20));
    EXPECT_EQ(Mouse.Wheel, 240);
}

// ---- Buttons ------------------------------------------------------------------------------------

TEST_F(WndProcTest, DoubleClickNeedsLessThanTheIntervalBetweenPresses) {
    ClockManualMs = 1000;
    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(Mouse.LClick, 1);
    EXPECT_EQ(Mouse.LDblClick, 0) << "the start-up sets the click time so the first press is single";
    Send(WM_LBUTTONUP);
    EXPECT_EQ(Mouse.LClick, 0);

    ClockManualMs = 1249;
    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(Mouse.LDblClick, 1);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(Mouse.LDblClick, 1) << "only a consumer clears a double click";

    Mouse.LDblClick = 0;
    ClockManualMs = 1499;  // 250 ms after the last press
    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(Mouse.LClick, 1);
    EXPECT_EQ(Mouse.LDblClick, 0);
    EXPECT_EQ(Mouse.LClickTime, 1499);
}

TEST_F(WndProcTest, RightButtonHasItsOwnClickAndDoubleClick) {
    ClockManualMs = 1000;
    Send(WM_RBUTTONDOWN);
    Send(WM_RBUTTONUP);
    ClockManualMs = 1100;
    Send(WM_RBUTTONDOWN);
    EXPECT_EQ(Mouse.RClick, 1);
    EXPECT_EQ(Mouse.RDblClick, 1);
    EXPECT_EQ(Mouse.LClick, 0);
    EXPECT_EQ(Mouse.LDblClick, 0);
    EXPECT_EQ(Mouse.RClickTime, 1100);
}

TEST_F(WndProcTest, HeldButtonGivesOneClickUntilReleased) {
    ClockManualMs = 1000;
    Send(WM_LBUTTONDOWN);
    MoveTo(CentreX, CentreY, MK_LBUTTON);
    MoveTo(530, 390, MK_LBUTTON);
    EXPECT_EQ(Mouse.LClick, 1) << "the click stays while the button is held";
    EXPECT_EQ(Mouse.LClickTime, 1000);

    Mouse.LClick = 0;  // consumed
    ClockManualMs = 1100;
    MoveTo(CentreX, CentreY, MK_LBUTTON);
    EXPECT_EQ(Mouse.LClick, 0) << "holding the button is no new press";
    EXPECT_EQ(Mouse.LDblClick, 0);

    Mouse.LClick = 1;
    MoveTo(CentreX, CentreY, 0);  // released, as a move reports it
    EXPECT_EQ(Mouse.LButton, 0);
    EXPECT_EQ(Mouse.LClick, 0);
}

// ---- Window state -------------------------------------------------------------------------------

TEST_F(WndProcTest, MinimiseAndRestoreSwitchTheActiveFlag) {
    EXPECT_EQ(Send(WM_ACTIVATE, static_cast<WPARAM>(MakeLong(0, 1))), 0);
    EXPECT_FALSE(active);
    Send(WM_ACTIVATE, static_cast<WPARAM>(MakeLong(1, 0)));
    EXPECT_TRUE(active);
    // Only the minimised word counts, not whether the window is being activated.
    Send(WM_ACTIVATE, static_cast<WPARAM>(MakeLong(1, 1)));
    EXPECT_FALSE(active);
    Send(WM_ACTIVATE, static_cast<WPARAM>(MakeLong(0, 0)));
    EXPECT_TRUE(active);
}

TEST_F(WndProcTest, CloseRequestEndsInTheQuitRequestOnlyThroughThePump) {
    EXPECT_EQ(Send(WM_CLOSE), 0);
    EXPECT_EQ(Quit, 0);
    EXPECT_EQ(AppState, StateSetup);

    EXPECT_EQ(SystemMessages(), 1);
    EXPECT_EQ(Quit, 1);
    EXPECT_EQ(AppState, StateQuitting);
    EXPECT_EQ(SystemMessages(), 0) << "one close request, one quit message";
}

TEST_F(WndProcTest, OtherMessagesAndSystemCommandsLeaveTheInputAlone) {
    MoveTo(CentreX, CentreY);
    KeyDownAt(1000, 'Q');
    const strMouse mouse = Mouse;
    unsigned char keysBefore[256];
    std::memcpy(keysBefore, keys, sizeof keys);
    const WPARAM commands[] = {SC_SCREENSAVE, SC_MONITORPOWER, 0xF020};
    for (const WPARAM command : commands) EXPECT_EQ(Send(WM_SYSCOMMAND, command), 0);
    EXPECT_EQ(Send(0x0400, 1, 2), 0);
    EXPECT_EQ(Send(WM_SIZE, 0, MakeLong(640, 0)), 0) << "without a GL context a size change does nothing";
    EXPECT_EQ(std::memcmp(&mouse, &Mouse, sizeof Mouse), 0);
    EXPECT_EQ(std::memcmp(keysBefore, keys, sizeof keys), 0);
    EXPECT_TRUE(active);
    EXPECT_EQ(Quit, 0);
    EXPECT_EQ(SystemMessages(), 0);
}

TEST_F(WndProcTest, DispatchHandsTheMessageToTheWindowProcedure) {
    ClockManualMs = 500;
    const MSG msg{WM_KEYDOWN, 'Z', 0, ClockManualMs};
    DispatchMessage(&msg);
    EXPECT_EQ(keys['Z'], 1);
}

// ---- Platform services without a display ----------------------------------------------------------
// Only an X session can lack a display; on Windows the desktop is always there to draw on.
#ifndef _WIN32

// Runs `body` with no display reachable, restoring the environment afterwards.
template <typename Body>
void WithoutDisplay(Body body) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    body();
    unsetenv("SDL_VIDEODRIVER");
    if (display) setenv("DISPLAY", saved.c_str(), 1);
}

TEST(PlatformWithoutDisplay, MessageBoxWritesToStandardErrorAndAQuestionAnswersNo) {
    WithoutDisplay([] {
        testing::internal::CaptureStderr();
        const int answer = MessageBox("Use Windowed Mode Instead?", "Fullscreen", MB_YESNO | MB_ICONEXCLAMATION);
        const int ok = MessageBox("Window Creation Error.", "ERROR", MB_OK | MB_ICONEXCLAMATION);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(answer, IDNO);
        EXPECT_EQ(ok, IDOK);
        EXPECT_NE(err.find("Fullscreen: Use Windowed Mode Instead?\n"), std::string::npos) << err;
        EXPECT_NE(err.find("ERROR: Window Creation Error.\n"), std::string::npos) << err;
    });
}

TEST(PlatformWithoutDisplay, ScreenSizeFallsBackTo1024By768) {
    WithoutDisplay([] {
        int width = -1;
        int height = -1;
        ScreenSize(&width, &height);
        EXPECT_EQ(width, 1024);
        EXPECT_EQ(height, 768);
    });
}

TEST(PlatformWithoutDisplay, WithoutAWindowNothingIsPresentedOrTaken) {
    hWnd = nullptr;
    SwapBuffers();
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg));
}

#endif  // _WIN32

// ---- Log ----------------------------------------------------------------------------------------------

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        cwd_ = fs::current_path();
        // A directory of its own: the first free name, since tests run side by side.
        bool made = false;
        for (int k = 0; k < 1000 && !made; ++k) {
            dir_ = fs::temp_directory_path() / ("kelvra-log-" + std::to_string(k));
            made = fs::create_directory(dir_);
        }
        ASSERT_TRUE(made) << dir_;
        fs::current_path(dir_);
        Log = 0;
    }
    void TearDown() override {
        std::remove(LogFileName);
        std::filesystem::current_path(cwd_);
        std::error_code ignored;
        std::filesystem::remove(dir_, ignored);
        Log = 0;
    }
    static bool LogExists() { return std::filesystem::exists(LogFileName); }
    static std::string LogText() {
        std::FILE* f = std::fopen(LogFileName, "r");
        if (!f) return "";
        char buf[512];
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        return std::string(buf, n);
    }
    std::filesystem::path dir_;
    std::filesystem::path cwd_;
};

TEST_F(LogTest, NothingIsWrittenWhileLoggingIsOffAndNotForced) {
    LogMsg("  ERROR loading star", 0);
    EXPECT_FALSE(LogExists());
}

TEST_F(LogTest, ForcedAndSwitchedOnMessagesAppendOneLineEach) {
    LogMsg("first", 1);
    Log = 1;
    LogMsg("second %s", 0);
    Log = 2;  // only 1 switches the log on
    LogMsg("third", 0);
    EXPECT_EQ(LogText(), "first\nsecond %s\n");
}

}  // namespace
