// The real window under X (Xvfb with Mesa): its place, size, title and frame as the X server sees
// them, the pixel format and the GL state it starts with, the projection after size changes, the
// frames the pacer presents, and the keys, moves, clicks and wheel that X delivers through the pump.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "galaxy.h"
#include "m_input.h"
#include "system.h"

#ifndef _WIN32
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#endif

namespace {

// Output of a shell command.
std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, pipe)) out += buf;
        pclose(pipe);
    }
    return out;
}

std::string KelvraWindowId() {
    std::string id = Shell("xdotool search --name '^Kelvra$' | head -n 1");
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    return id;
}

// Pumps messages through the window procedure until `done` holds, giving X a generous minute, for a
// loaded machine, to deliver what xdotool sent. Every message taken is handed to `seen` first.
template <typename Done, typename Seen>
bool PumpUntil(Done done, Seen seen) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        MSG msg;
        if (PeekMessage(&msg)) {
            seen(msg);
            DispatchMessage(&msg);
        }
    }
    return true;
}

// Takes what is queued now, without waiting for more.
void PumpPending() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessage(&msg); ++i) DispatchMessage(&msg);
}

class WindowTest : public ::testing::Test {
protected:
    // The program's own start-up, on a hand-driven clock that starts long after the key stamps.
    static void StartUp() {
        ClockManual = true;
        ClockManualMs = 0;
        ASSERT_EQ(AmbrelInit(), 0);
        ClockManualMs = 100000;
    }
    static void Open() { ASSERT_EQ(GrInit(), 0); }
    void SetUp() override {
        StartUp();
        Open();
    }
    void TearDown() override {
        GrClose();
        ClockManual = false;
    }
};

// ---- The window as X sees it ----------------------------------------------------------------

TEST_F(WindowTest, CoversTheScreenFromTheOriginTitledKelvra) {
    const std::string dims = Shell("xdpyinfo | grep dimensions");
    char expected[64];
    std::snprintf(expected, sizeof expected, "%dx%d pixels", WIN_X, WIN_Y);
    EXPECT_NE(dims.find(expected), std::string::npos) << "screen size from the display: " << dims;
    EXPECT_EQ(FS_X, WIN_X);
    EXPECT_EQ(FS_Y, WIN_Y);
    EXPECT_EQ(FS_X0, WIN_X);

    const std::string id = KelvraWindowId();
    ASSERT_FALSE(id.empty()) << "no window named Kelvra";
    const std::string geometry = Shell("xdotool getwindowgeometry " + id);
    std::snprintf(expected, sizeof expected, "Geometry: %dx%d", WIN_X, WIN_Y);
    EXPECT_NE(geometry.find("Position: 0,0"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find(expected), std::string::npos) << geometry;
    EXPECT_NE(Shell("xprop -id " + id + " WM_NAME").find("\"Kelvra\""), std::string::npos);
    EXPECT_TRUE(active);
}

TEST_F(WindowTest, HasNoFrame) {
    GrClose();
    // Without a window manager the server knows no Motif hints atom, and SDL only sets hints whose
    // atom exists. Create it while this process holds a connection, so that the server keeps it.
    StartUp();
    ASSERT_EQ(std::system("xprop -root -f _MOTIF_WM_HINTS 32c -set _MOTIF_WM_HINTS 0"), 0);
    Open();
    const std::string hints = Shell("xprop -id " + KelvraWindowId() + " _MOTIF_WM_HINTS");
    EXPECT_EQ(std::system("xprop -root -remove _MOTIF_WM_HINTS"), 0);
    // flags, functions, decorations, ...: the decorations field is in use and asks for none.
    EXPECT_NE(hints.find("= 0x2, 0x0, 0x0"), std::string::npos) << hints;
}

TEST_F(WindowTest, PixelFormatIsDoubleBufferedRgbWithADepthBuffer) {
    GLint depth = 0, red = 0, green = 0, blue = 0;
    GLboolean doubleBuffer = GL_FALSE;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffer);
    EXPECT_GE(depth, 16);
    EXPECT_GE(red, 8);
    EXPECT_GE(green, 8);
    EXPECT_GE(blue, 8);
    EXPECT_EQ(doubleBuffer, GL_TRUE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ---- GL state ---------------------------------------------------------------------------------

TEST_F(WindowTest, StartsWithTheProgramsGlState) {
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    GLint value = 0;
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &value);
    EXPECT_EQ(value, GL_NICEST);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.0f);
    EXPECT_FLOAT_EQ(clear[1], 0.0f);
    EXPECT_FLOAT_EQ(clear[2], 0.0f);
    EXPECT_FLOAT_EQ(clear[3], 0.5f);
    GLfloat depth = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
    for (int font = 0; font < 5; ++font) EXPECT_TRUE(glIsList(static_cast<GLuint>(fntBase[font])));
}

// gluPerspective(45, aspect, 0.1f, 100) written out.
void ExpectPerspective(double aspect) {
    const double nearPlane = static_cast<double>(0.1f);
    const double farPlane = 100.0;
    const double f = 1.0 / std::tan(45.0 / 2 * M_PI / 180);
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[0], f / aspect, 1e-5);
    EXPECT_NEAR(m[5], f, 1e-5);
    EXPECT_NEAR(m[10], (farPlane + nearPlane) / (nearPlane - farPlane), 1e-5);
    EXPECT_NEAR(m[11], -1.0, 1e-6);
    EXPECT_NEAR(m[14], 2 * farPlane * nearPlane / (nearPlane - farPlane), 1e-5);
    EXPECT_NEAR(m[15], 0.0, 1e-6);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f);
}

void ExpectViewport(int width, int height) {
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[0], 0);
    EXPECT_EQ(vp[1], 0);
    EXPECT_EQ(vp[2], width);
    EXPECT_EQ(vp[3], height);
}

TEST_F(WindowTest, ProjectionIsTheStarFieldsPerspective) {
    ExpectViewport(WIN_X, WIN_Y);
    ExpectPerspective(static_cast<double>(WIN_X) / WIN_Y);
}

TEST_F(WindowTest, SizeMessageResetsViewportAndProjectionAndHeightZeroCountsAsOne) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    EXPECT_EQ(WndProc(hWnd, WM_SIZE, 0, MakeLong(640, 0)), 0);
    ExpectViewport(640, 1);
    ExpectPerspective(640.0);

    WndProc(hWnd, WM_SIZE, 0, MakeLong(800, 600));
    ExpectViewport(800, 600);
    ExpectPerspective(800.0 / 600.0);
}

// ---- Frames ---------------------------------------------------------------------------------------

// Lit pixels of what the X server shows: only a presented frame gets there.
int LitPixelsOnScreen() {
    glFinish();
    const std::string count = Shell(
        "import -window root png:- | convert - -colorspace gray -threshold 0 -format '%[fx:round(mean*w*h)]' info:");
    return count.empty() ? -1 : std::stoi(count);
}

TEST_F(WindowTest, PacerClearsDrawsAndPresentsDueFrames) {
    INmenu.Active = 0;
    LastDraw = ClockManualMs - 1000;
    AmbrelDoevents();  // the start screen
    EXPECT_EQ(LastDraw, ClockManualMs);
    EXPECT_GT(LitPixelsOnScreen(), 100);

    AppState = StateQuitting;  // nothing is drawn in this state: the frame is only cleared
    ClockManualMs += 10;
    AmbrelDoevents();
    EXPECT_GT(LitPixelsOnScreen(), 100) << "a frame that is not due is not presented";
    ClockManualMs += 1000;
    AmbrelDoevents();
    EXPECT_EQ(LitPixelsOnScreen(), 0);
}

// ---- Input through the pump -----------------------------------------------------------------------

// One xdotool press and the key-downs it must bring; F10 and Alt are system keys on Windows, which
// never reach the key table, so they go with the key after them, whose key-up ends the step.
struct KeyStep {
    const char* keys;
    std::vector<int> downs;
};

TEST_F(WindowTest, KeysArriveAsWindowsVirtualKeyCodes) {
    PumpPending();
    const std::vector<KeyStep> steps = {
        {"a", {'A'}},      {"5", {'5'}},     {"KP_Begin", {101}},   {"KP_Delete", {110}},
        {"KP_Enter", {13}}, {"F1", {112}},   {"F10 Alt_L semicolon", {186}},
        {"Escape", {27}},  {"Return", {13}}, {"shift", {16}},       {"period", {190}},
        {"BackSpace", {8}}, {"Delete", {46}}, {"Left", {37}},       {"z", {'Z'}}};
    // Each press waits for the key-up of the one before: X delivers every key, whatever the load.
    for (const KeyStep& step : steps) {
        std::vector<int> downs;
        bool up = false;
        ASSERT_EQ(std::system((std::string("xdotool key ") + step.keys).c_str()), 0) << step.keys;
        const bool arrived = PumpUntil([&] { return up; },
                                       [&](const MSG& msg) {
                                           if (msg.message == WM_KEYDOWN) downs.push_back(static_cast<int>(msg.wParam));
                                           if (msg.message == WM_KEYUP && static_cast<int>(msg.wParam) == step.downs.back())
                                               up = true;
                                       });
        ASSERT_TRUE(arrived) << "the key-up of \"" << step.keys << "\" never arrived";
        EXPECT_EQ(downs, step.downs) << step.keys;
    }
    EXPECT_EQ(keys['Z'], 0) << "released keys are cleared";
    EXPECT_EQ(keys_t['Z'], ClockManualMs) << "an accepted key-down is stamped";
}

TEST_F(WindowTest, AMoveIsMeasuredFromTheCentreAndEndsThere) {
    PumpPending();
    Mouse.SumX = Mouse.SumY = 0;
    ASSERT_EQ(std::system("xdotool mousemove_relative -- 88 16"), 0);
    const bool back = PumpUntil([] { return Mouse.SumX != 0 || Mouse.SumY != 0; }, [](const MSG&) {});
    ASSERT_TRUE(back) << "the move never arrived";
    PumpPending();
    EXPECT_EQ(Mouse.SumX, 88);
    EXPECT_EQ(Mouse.SumY, 16);
    EXPECT_EQ(Mouse.X, FS_X / 2);
    EXPECT_EQ(Mouse.Y, FS_Y / 2);
}

TEST_F(WindowTest, ClicksDoubleClicksAndTheWheelArriveThroughThePump) {
    PumpPending();
    std::vector<UINT> buttons;
    auto record = [&](const MSG& msg) {
        if (msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONDOWN ||
            msg.message == WM_RBUTTONUP)
            buttons.push_back(msg.message);
    };
    ASSERT_EQ(std::system("xdotool click 1"), 0);
    EXPECT_TRUE(PumpUntil([&] { return buttons.size() >= 2; }, record));
    EXPECT_EQ(Mouse.LClickTime, ClockManualMs);
    EXPECT_EQ(Mouse.LDblClick, 0);
    EXPECT_EQ(Mouse.LClick, 0) << "released";

    ClockManualMs += 100;
    ASSERT_EQ(std::system("xdotool click 1 click 3"), 0);
    EXPECT_TRUE(PumpUntil([&] { return buttons.size() >= 6; }, record));
    EXPECT_EQ(Mouse.LDblClick, 1);
    EXPECT_EQ(Mouse.RDblClick, 0);
    EXPECT_EQ(Mouse.RClickTime, ClockManualMs);
    const std::vector<UINT> expected = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN,
                                        WM_LBUTTONUP,   WM_RBUTTONDOWN, WM_RBUTTONUP};
    EXPECT_EQ(buttons, expected);

    ASSERT_EQ(std::system("xdotool click 4"), 0);
    EXPECT_TRUE(PumpUntil([] { return Mouse.Wheel == 120; }, [](const MSG&) {}));
    ASSERT_EQ(std::system("xdotool click 5"), 0);
    EXPECT_TRUE(PumpUntil([] { return Mouse.Wheel == -120; }, [](const MSG&) {}));
}


// ---- Input that piles up behind a slow turn -------------------------------------------------------

// `count` relative moves of (dx, dy) sent to the X server in one go, and a round trip after them, so
// that all their events wait in the program's queue before it takes the next message.
void MoveRelative(int count, int dx, int dy) {
    std::string command = "xdotool";
    for (int i = 0; i < count; ++i)
        command += " mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy);
    ASSERT_EQ(std::system(command.c_str()), 0);
    Shell("xdotool getmouselocation");
}

TEST_F(WindowTest, PiledUpMovesTurnByTheMotionMade) {
    PumpPending();
    Mouse.SumX = Mouse.SumY = 0;
    int moves = 0;
    auto countMoves = [&](const MSG& msg) { moves += msg.message == WM_MOUSEMOVE ? 1 : 0; };

    // Thirty moves while the program is busy: one message step takes them all as one move.
    MoveRelative(30, 7, -3);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg));
    countMoves(msg);
    DispatchMessage(&msg);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(Mouse.X, FS_X / 2 + 210);
    EXPECT_EQ(Mouse.Y, FS_Y / 2 - 90);

    // Twenty more while the move back to the centre still waits.
    MoveRelative(20, -4, 5);
    ASSERT_TRUE(PumpUntil([] { return Mouse.SumX == 130; }, countMoves)) << "sum " << Mouse.SumX;
    PumpPending();
    EXPECT_EQ(Mouse.SumX, 210 - 80);
    EXPECT_EQ(Mouse.SumY, -90 + 100);
    EXPECT_EQ(Mouse.X, FS_X / 2);
    EXPECT_EQ(Mouse.Y, FS_Y / 2);
    EXPECT_LE(moves, 4) << "fifty motion events, handed over one by one";
}

TEST_F(WindowTest, KeysClicksAndTheWheelKeepTheirOrderThroughABurstOfMotion) {
    PumpPending();
    Mouse.SumX = Mouse.SumY = 0;
    std::vector<UINT> others;
    int spaceDowns = 0;
    auto record = [&](const MSG& msg) {
        if (msg.message == WM_MOUSEMOVE) return;
        others.push_back(msg.message);
        spaceDowns += msg.message == WM_KEYDOWN && msg.wParam == VK_SPACE ? 1 : 0;
    };
    std::string command = "xdotool";
    const std::string step = " mousemove_relative -- 3 1";
    for (int i = 0; i < 20; ++i) command += step;
    command += " key space";
    for (int i = 0; i < 20; ++i) command += step;
    command += " click 1";
    for (int i = 0; i < 20; ++i) command += step;
    command += " click 4";
    for (int i = 0; i < 20; ++i) command += step;
    ASSERT_EQ(std::system(command.c_str()), 0);
    Shell("xdotool getmouselocation");
    EXPECT_TRUE(PumpUntil([&] { return Mouse.SumX == 240 && others.size() >= 5; }, record))
        << "sum " << Mouse.SumX << ", " << others.size() << " other messages";
    PumpPending();
    const std::vector<UINT> expected = {WM_KEYDOWN, WM_KEYUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEWHEEL};
    EXPECT_EQ(others, expected);
    EXPECT_EQ(spaceDowns, 1);
    EXPECT_EQ(Mouse.SumX, 240);
    EXPECT_EQ(Mouse.SumY, 80);
}

TEST_F(WindowTest, MotionMadeDuringLongTurnsIsNotStoppedAtTheScreensEdge) {
    PumpPending();
    Mouse.SumX = Mouse.SumY = 0;
    const std::string done = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                             "/kelvra-sweep-" + std::to_string(getpid());
    std::remove(done.c_str());
    // A sweep of 1,000 pixels to the right, far more than the half of the window from the centre to
    // its edge, made in the background while the program does nothing but turns and takes no message,
    // as during one long turn.
    std::string command = "(xdotool";
    for (int i = 0; i < 50; ++i) command += " mousemove_relative -- 20 0 sleep 0.01";
    ASSERT_EQ(std::system((command + "; touch " + done + ") &").c_str()), 0);
    G.NumStars = 2000;
    GenerateGalaxy();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::ifstream(done).fail() && std::chrono::steady_clock::now() < limit) EvolRecalc();
    std::remove(done.c_str());
    Shell("xdotool getmouselocation");
    ASSERT_TRUE(PumpUntil([] { return Mouse.SumX != 0; }, [](const MSG&) {})) << "the motion never arrived";
    PumpPending();
    EXPECT_EQ(Mouse.SumX, 1000) << "the cursor stopped at the screen's edge";
    EXPECT_EQ(Mouse.SumY, 0);
}

// Milliseconds from `from` to `to`.
double MsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The camera's turn about the world's y axis, degrees, positive to the left.
double YawDegrees() { return std::atan2(-G.ShipRight.z, G.ShipRight.x) * 180 / M_PI; }

TEST_F(WindowTest, AKeyTakenRightBehindPiledUpMovesTurnsByTheTimeItWasHeld) {
    PumpPending();
    AppState = StateEvolution;
    G.Pause = 1;
    INmenu.Active = 0;
    Mouse.SumX = Mouse.SumY = 0;

    // Motion and a key-down while the program is busy: the first message step takes the folded move,
    // and the key-down waits behind it.
    std::string command = "xdotool";
    for (int i = 0; i < 20; ++i) command += " mousemove_relative -- 3 0";
    ASSERT_EQ(std::system((command + " keydown Left").c_str()), 0);
    Shell("xdotool getmouselocation");
    const auto firstStep = std::chrono::steady_clock::now();
    ASSERT_EQ(SystemMessages(), 0);
    ASSERT_EQ(keys[VK_LEFT], 0) << "the key-down was taken before the move";

    // The key held a while longer, while the program takes nothing.
    const auto holdFrom = std::chrono::steady_clock::now();
    ASSERT_EQ(std::system("xdotool sleep 0.3 keyup Left"), 0);
    Shell("xdotool getmouselocation");
    const auto holdTo = std::chrono::steady_clock::now();

    // The move back to the centre, the key-down and the key-up, each in a message step of its own as
    // SystemMessages takes them, all within one millisecond of the clock.
    const auto limit = holdTo + std::chrono::seconds(60);
    bool up = false;
    while (!up && std::chrono::steady_clock::now() < limit) {
        MSG msg;
        if (PeekMessage(&msg)) {
            up = msg.message == WM_KEYUP && msg.wParam == VK_LEFT;
            DispatchMessage(&msg);
        }
        HandleKeys();
    }
    const auto lastStep = std::chrono::steady_clock::now();
    ASSERT_TRUE(up) << "the key-up never arrived";
    ClockManualMs += 1;
    HandleKeys();

    // Mouse look turned the view 9 degrees right (60 pixels); Left turns it 0.15 degrees left a
    // millisecond it was held, between the times the program saw its key-down and key-up come in.
    const double heldMs = (YawDegrees() + 9.0) / 0.15;
    EXPECT_GE(heldMs, MsBetween(holdFrom, holdTo) - MsBetween(holdTo, lastStep) - 2) << "yaw " << YawDegrees();
    EXPECT_LE(heldMs, MsBetween(firstStep, lastStep) + 2) << "yaw " << YawDegrees();
    AppState = StateQuitting;
}

TEST_F(WindowTest, AutoRepeatsOfAKeyStillPendingFoldIntoItsKeyDown) {
    PumpPending();
    // Held long enough for the server's auto-repeat while the program takes nothing.
    ASSERT_EQ(std::system("xdotool keydown a sleep 1.2 keyup a"), 0);
    Shell("xdotool getmouselocation");
    int downs = 0;
    int ups = 0;
    EXPECT_TRUE(PumpUntil([&] { return ups == 1; },
                          [&](const MSG& msg) {
                              downs += msg.message == WM_KEYDOWN && msg.wParam == 'A' ? 1 : 0;
                              ups += msg.message == WM_KEYUP && msg.wParam == 'A' ? 1 : 0;
                          }));
    EXPECT_EQ(downs, 1);
}


// ---- Waiting when no turn is due ------------------------------------------------------------------

// The key `key` pressed by the X server `afterMs` from now, while the test goes on.
void KeyLater(const char* key, int afterMs) {
    char command[96];
    std::snprintf(command, sizeof command, "(sleep %.3f; xdotool key %s) &", afterMs / 1000.0, key);
    ASSERT_EQ(std::system(command), 0);
}

TEST_F(WindowTest, WithAPromptOpenTheMessageStepWaitsForTheNextFrameOrAKey) {
    PumpPending();
    ClockManual = false;
    InMenuClear();
    INmenu.Active = 1;
    INmenu.MaxLn = 10;
    S.RefreshRate = 50;

    // Nothing comes: the step returns when the next frame is due, not before.
    LastDraw = Clock();
    EXPECT_EQ(SystemMessages(), 0);
    EXPECT_GE(Clock() - LastDraw, 1000 / 50 - 1) << "returned before the frame was due";

    // A key ends the wait long before a frame a second is due, and the next step types it.
    S.RefreshRate = 1;
    LastDraw = Clock();
    KeyLater("x", 200);
    EXPECT_EQ(SystemMessages(), 0);
    EXPECT_LT(Clock() - LastDraw, 1000) << "the key did not end the wait";
    EXPECT_TRUE(PumpUntil([] { return INmenu.Text[0] == 'x'; }, [](const MSG&) { HandleKeys(); }));
}

TEST_F(WindowTest, WhileTheWindowIsNotActiveOnlyAMessageEndsTheWait) {
    PumpPending();
    ClockManual = false;
    INmenu.Active = 0;
    AppState = StateEvolution;
    G.Pause = 0;
    S.RefreshRate = 50;
    LastDraw = Clock() - 1000;  // a frame long overdue does not end this wait
    active = false;
    KeyLater("y", 300);
    SystemMessages();
    MSG msg;
    bool key = false;
    while (!key && PeekMessage(&msg)) key = msg.message == WM_KEYDOWN && msg.wParam == 'Y';
    EXPECT_TRUE(key) << "the wait ended before the key came";
    active = true;
    AppState = StateQuitting;
}

#ifndef _WIN32
// The key that ends the wait above makes SDL wake the wait with a message to the window through a
// second connection. A busy X server may take that message only after the window is closed, and the
// error it answers with comes in when SDL closes that connection. The same error, met on a connection
// of the test's own once the window is closed, must not end the program.
TEST_F(WindowTest, AMessageToTheWindowAfterItIsClosedDoesNotEndTheProgram) {
    const std::string id = KelvraWindowId();
    ASSERT_FALSE(id.empty()) << "no window named Kelvra";
    GrClose();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "the test cannot reach the X server";
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.format = 8;
    XSendEvent(display, std::stoul(id), False, NoEventMask, &message);
    XSync(display, False);
    XCloseDisplay(display);
}

// Whether another client can take the pointer now: not while the program holds it.
bool PointerFree(Display* display) {
    const int grab = XGrabPointer(display, DefaultRootWindow(display), False, ButtonPressMask, GrabModeAsync,
                                  GrabModeAsync, None, None, CurrentTime);
    if (grab == GrabSuccess) XUngrabPointer(display, CurrentTime);
    XSync(display, False);
    return grab == GrabSuccess;
}

// Whether the X server draws a cursor where the pointer is, over the program's window.
bool CursorShown(Display* display) {
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    if (cursor == nullptr) return false;
    bool shown = false;
    for (int i = 0; i < cursor->width * cursor->height; ++i) shown = shown || (cursor->pixels[i] >> 24) != 0;
    XFree(cursor);
    return shown;
}

// Pumps until the wheel reports `notches` (a marker sent after the moves under test: X delivers both
// in order, so the moves before it have been taken when it arrives).
bool PumpToWheel(int notches) {
    return PumpUntil([=] { return Mouse.Wheel == notches * 120; }, [](const MSG&) {});
}

TEST_F(WindowTest, WhileTheWindowDoesNotHaveTheInputTheCursorIsTheSystemsAndItsMotionNotTaken) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "the test cannot reach the X server";
    const Window kelvra = std::stoul(KelvraWindowId());
    PumpPending();
    EXPECT_FALSE(PointerFree(display)) << "the program does not hold the cursor";
    EXPECT_FALSE(CursorShown(display)) << "the cursor is not hidden";

    // Another window takes the input: a pixel in the corner, so that the wheel still reaches Kelvra's.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window other = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, CopyFromParent,
                                       InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(display, other);
    XSync(display, False);
    XSetInputFocus(display, other, RevertToParent, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(PumpUntil([&] { return PointerFree(display) && CursorShown(display); }, [](const MSG&) {}))
        << "the cursor was never given back";
    Mouse.SumX = Mouse.SumY = 0;
    ASSERT_EQ(std::system("xdotool mousemove_relative -- 30 4 click 4"), 0);
    ASSERT_TRUE(PumpToWheel(1)) << "the wheel never arrived";
    EXPECT_EQ(Mouse.SumX, 0) << "motion made in another window turned the view";

    // Back: the cursor is held again, the first motion only marks where the motion resumes.
    XSetInputFocus(display, kelvra, RevertToParent, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(PumpUntil([&] { return !PointerFree(display) && !CursorShown(display); }, [](const MSG&) {}))
        << "the cursor was never held again";
    ASSERT_EQ(std::system("xdotool mousemove_relative -- 7 0 mousemove_relative -- 5 2 click 5"), 0);
    ASSERT_TRUE(PumpToWheel(-1)) << "the wheel never arrived";
    PumpPending();
    EXPECT_EQ(Mouse.SumX, 5);
    EXPECT_EQ(Mouse.SumY, 2);
    XDestroyWindow(display, other);
    XCloseDisplay(display);
}

#endif

}  // namespace
