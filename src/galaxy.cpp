// The application core: the shared records, the entry point and main loop, start-up, the initial
// parameters, the engine's setup and evolution states and the quit request.
#include "galaxy.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "graphics.h"
#include "m_input.h"
#include "system.h"

strStar Star[MaxStars];
strStarIdx StarIdx[MaxStars];
int AppState;
int Quit;
strSystem S;
strGlobal G;

namespace {

// A lower clamp of the radius and time-step prompts: 0.01 as a single-precision value.
constexpr double PromptLowerBound = static_cast<double>(0.01f);
constexpr double PromptUpperBound = 1e9;

constexpr int DefaultStars = 1500;
constexpr double DefaultRadiusLy = 40.0;
constexpr double DefaultDeltaT = 20000.0;

// The prompts run in font 3, in plain text mode.
constexpr int PromptFont = 3;

// Double-click interval of the mouse, ms.
constexpr int DoubleClickMs = 250;

}  // namespace

int WinMain() {
    Quit = 0;
    if (AmbrelInit() < 0) return 0;
    if (GrInit() < 0) return 0;
    KernelStartThreads();
    while (Quit == 0) MainLoopStep();
    GrClose();
    KernelStopThreads();
    return 0;
}

namespace {

// Centres the mouse record; the first press is never a double click.
void CentreMouse(int now) {
    const int cx = WIN_X / 2;
    const int cy = WIN_Y / 2;
    Mouse.X = Mouse.OldX = static_cast<float>(cx);
    Mouse.Y = Mouse.OldY = static_cast<float>(cy);
    Mouse.SumX = Mouse.SumY = 0;
    Mouse.PosX = FS_X / 2;
    Mouse.PosY = FS_Y / 2;
    Mouse.LClick = Mouse.RClick = Mouse.LDblClick = Mouse.RDblClick = 0;
    Mouse.DblClickTime = DoubleClickMs;
    Mouse.LClickTime = Mouse.RClickTime = now - (DoubleClickMs + 1);
}

}  // namespace

int AmbrelInit() {
    std::remove(LogFileName);
    Randomize();
    AppState = StateSetup;
    INmenu.Active = 0;
    S.KeyDelay = 0.05f;
    S.RefreshRate = 50;

    const int now = Clock();
    for (int& t : keys_t) t = now;
    ForgetHeldKeys(now);
    // A turn of a full cloud takes its time on a slow machine; the cursor must stay within reach of the
    // mouse meanwhile.
    KernelSetPoll(KeepCursorInReach);
    LastPhysic = now;
    LastPlayer = now;

    ScreenSize(&WIN_X, &WIN_Y);
    FS_X = FS_X0 = WIN_X;
    FS_Y = WIN_Y;
    CentreMouse(now);
    InitParameters();
    return 0;
}

void InitParameters() {
    G.NumStars = 0;
    G.Turn = 0;
    G.Pause = 0;
    G.GravConst = 6.674 * std::pow(10.0, -11);
    G.SolarMass = 1.9891e30;
    G.LightYear = 9.4605284e15;
    G.DeltaT = 1.0;
    G.Radius = 4.7302642e17;

    G.ShipPos = {0, 0, 3};
    G.ShipVel = {0, 0, 0};
    G.ShipSpeed = 0;
    G.MouseYawFactor = -1.0;
    G.PitchFactor = -1.0;
    G.SpeedStep = static_cast<double>(2e-6f);
    G.SpeedThreshold = G.SpeedStep * 10;
    G.TurnRate = 0.5;
    G.ShipRight = {1, 0, 0};
    G.ShipUp = {0, 1, 0};
    G.ShipBack = {0, 0, 1};
    for (int i = 0; i < 16; ++i) G.ViewMatrix[i] = G.ViewMatrixInv[i] = 0;
}

void MainLoopStep() {
    if (SystemMessages() == 1) return;
    if (active) GameEngine();
}

namespace {

// The leading integer of a text, as atoi reads it, but saturated at the int range instead of
// overflowing: a typed "99999999999" must not be undefined behaviour.
int ParseInt(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// The leading number of a text, as atof reads it; "nan" counts as no number (0), so that it is
// clamped like any other unusable text instead of slipping through the bounds.
double ParseDouble(const char* text) {
    const double v = std::atof(text);
    return std::isnan(v) ? 0.0 : v;
}

double Clamp(double v, double lo, double hi) {
    if (v < lo) return lo;
    if (v > hi) return hi;
    return v;
}

}  // namespace

void ApplyPromptAnswer(int prompt, int result, const char* text) {
    const bool answered = result >= 0 && text[0] != '\0';
    switch (prompt) {
    case 0:
        G.NumStars = DefaultStars;
        if (answered) {
            const int n = ParseInt(text);
            G.NumStars = n <= 0 ? 1 : (n > MaxStars ? MaxStars : n);
        }
        break;
    case 1:
        G.Radius = DefaultRadiusLy * G.LightYear;
        if (answered)
            G.Radius = Clamp(ParseDouble(text) * G.LightYear, PromptLowerBound * G.LightYear,
                             PromptUpperBound * G.LightYear);
        break;
    case 2:
        G.DeltaT = DefaultDeltaT;
        if (answered) G.DeltaT = Clamp(ParseDouble(text), PromptLowerBound, PromptUpperBound);
        break;
    case 3:
        if (answered) {
            G.Seed = ParseInt(text);
            RandSeed(static_cast<unsigned int>(G.Seed));
        }
        break;
    }
}

void StartEvolution() {
    GenerateGalaxy();
    AppState = StateEvolution;
    GraphicsDrawEvol();
    // Mouse movement made and keys held during the prompts must not turn the camera.
    Mouse.SumX = 0;
    Mouse.SumY = 0;
    ForgetHeldKeys(Clock());
}

namespace {

// Runs one setup prompt and takes its answer into G.
void AskParameter(int prompt, int maxLn, const char* title, const char* initial) {
    InMenuClear();
    const int result = InMenuActivate(PromptFont, maxLn, title, initial, 0);
    ApplyPromptAnswer(prompt, result, INmenu.Text);
}

// The whole setup state: four prompts, the cloud, and the switch to evolution.
void RunSetup() {
    char title[32];
    char initial[16];
    std::snprintf(title, sizeof title, "Stars (1-%i):", MaxStars);
    std::snprintf(initial, sizeof initial, "%i", DefaultStars);
    AskParameter(0, 10, title, initial);
    std::snprintf(initial, sizeof initial, "%g", DefaultRadiusLy);
    AskParameter(1, 15, "Size (radius) in ly:", initial);
    std::snprintf(initial, sizeof initial, "%g", DefaultDeltaT);
    AskParameter(2, 10, "Delta T in years:", initial);
    AskParameter(3, 20, "Seed (empty for random):", "");
    StartEvolution();
}

// One engine step of the evolution state: a turn, the camera, and a frame when one is due.
void RunEvolution() {
    if (G.Pause == 0) {
        ++G.Turn;
        EvolRecalc();
    }
    ShipRecalc();
    AmbrelDoevents();
}

}  // namespace

void GameEngine() {
    if (AppState == StateSetup)
        RunSetup();
    else if (AppState == StateEvolution)
        RunEvolution();
}

void AmbrelQuit() {
    AppState = StateQuitting;
    Quit = 1;
}

void AmbrelForcedExit() {
    GrClose();
    std::exit(0);
}
