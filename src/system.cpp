// system: the clock, the GL state of the window, the window procedure and the input records it keeps,
// the frame pacer and the message step it ends with, text output with the bitmap fonts, and the log, in
// the order the program uses them. Everything here works on plain records and GL calls, so that tests
// can feed it synthetic messages without a window; the SDL and FreeType side lives in the platform
// files (system_platform.cpp, system_input.cpp, system_font.cpp).
#include "system.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "galaxy.h"
#include "graphics.h"
#include "m_input.h"

bool ClockManual;
int ClockManualMs;

HWND hWnd;
void* hRC;
bool fullscreen;
int WIN_X, WIN_Y;
int FS_X, FS_Y;
int FS_X0;

unsigned char keys[256];
int keys_t[256];
strMouse Mouse;
bool active = true;

int DrawTime[DrawTimeSlots];
int DTidx;
int LastDraw;

const int FontSize[FontCount] = {8, 12, 16, 24, 32};
int fntBase[FontCount];

int Log;

namespace {

const auto ProgramStart = std::chrono::steady_clock::now();
constexpr double MsPerSecond = 1000.0;

}  // namespace

// ---- Clock ------------------------------------------------------------------------------------------

int Clock() {
    if (ClockManual) return ClockManualMs;
    const auto elapsed = std::chrono::steady_clock::now() - ProgramStart;
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

// ---- Window and GL state ------------------------------------------------------------------------

namespace {

// Clear colour (black; the alpha is never read back) and depth.
constexpr float ClearAlpha = 0.5f;
constexpr double ClearDepth = 1.0;

}  // namespace

int GrInit() {
    Mouse.DX = 0;
    Mouse.DY = 0;
    Mouse.LButton = Mouse.RButton = 0;
    Mouse.Tracking = 0;
    Mouse.OldLButton = Mouse.OldRButton = 0;
    Mouse.LClick = Mouse.RClick = 0;
    DTidx = 0;
    std::fill(std::begin(DrawTime), std::end(DrawTime), 0);
    fullscreen = false;
    return CreateGLWindow("Kelvra", WIN_X, WIN_Y, 32, false) ? 0 : -1;
}

void GrClose() { KillGLWindow(); }

int InitGL() {
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, ClearAlpha);
    glClearDepth(ClearDepth);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_LIGHTING);
    BuildFont();
    return 1;
}

void ReSizeGLScene(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FieldOfViewDeg, static_cast<double>(width) / static_cast<double>(height), NearPlane,
                   FarPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// ---- Window messages ----------------------------------------------------------------------------

namespace {

constexpr int KeyCodes = 256;

int LowWord(std::uintptr_t v) { return static_cast<int>(v & 0xFFFF); }
int HighWord(std::uintptr_t v) { return static_cast<int>((v >> 16) & 0xFFFF); }

// Overlay coordinate of window coordinate v, on an axis that is `fs` overlay units and `win`
// pixels long.
int ToOverlay(int v, int fs, int win) {
    const long long scaled = win > 0 ? static_cast<long long>(v) * fs / win : 0;
    return static_cast<int>(std::clamp<long long>(scaled, 0, fs));
}

// Of each key, the held time no key step has taken yet: that of the presses a key-up has ended,
// and the time from which the press still down counts. The times are those at which the key-downs
// and key-ups came in: a key-down and its key-up may be taken in one message step after another, in
// one millisecond, behind a burst of motion or a slow frame, and the time between them must count.
int HeldMs[KeyCodes];
int HeldSince[KeyCodes];

// A key-down counts only when the previous accepted one of that key lies at least KeyDelay ago, so
// that the system's auto-repeat acts at most once every KeyDelay seconds. `time` is when it came in.
void AcceptKeyDown(WPARAM code, int time) {
    if (code >= KeyCodes) return;
    const int now = Clock();
    if ((now - keys_t[code]) / MsPerSecond < S.KeyDelay) return;
    keys_t[code] = now;
    if (keys[code] == 0) HeldSince[code] = time;
    keys[code] = 1;
}

void KeyUp(WPARAM code, int time) {
    if (code >= KeyCodes) return;
    if (keys[code] != 0) HeldMs[code] += std::max(0, time - HeldSince[code]);
    keys[code] = 0;
}

// The cursor is held at the centre, so a movement from the centre to P comes as two messages: the one
// at P, whose previous position is the centre, adds nothing; the one back at the centre adds P minus
// the centre. The sums thus hold the user's displacement.
void TrackMotion(int x, int y) {
    Mouse.OldX = Mouse.X;
    Mouse.OldY = Mouse.Y;
    Mouse.X = static_cast<float>(x);
    Mouse.Y = static_cast<float>(y);
    if (Mouse.Tracking == 0) {
        Mouse.Tracking = 1;
        return;
    }
    const float cx = static_cast<float>(FS_X / 2);
    const float cy = static_cast<float>(FS_Y / 2);
    if (Mouse.OldX == cx && Mouse.OldY == cy) {
        Mouse.DX = 0;
        Mouse.DY = 0;
        return;
    }
    Mouse.DX = Mouse.OldX - Mouse.X;
    Mouse.DY = Mouse.OldY - Mouse.Y;
    Mouse.SumX += Mouse.DX;
    Mouse.SumY += Mouse.DY;
}

void HandleMouseMove(WPARAM wParam, LPARAM lParam) {
    const int x = LowWord(static_cast<std::uintptr_t>(lParam));
    const int y = HighWord(static_cast<std::uintptr_t>(lParam));
    TrackMotion(x, y);
    Mouse.LButton = (wParam & MK_LBUTTON) ? 1 : 0;
    Mouse.RButton = (wParam & MK_RBUTTON) ? 1 : 0;
    Mouse.PosX = ToOverlay(x, FS_X, WIN_X);
    Mouse.PosY = ToOverlay(y, FS_Y, WIN_Y);
    SetMouseClick();
    Mouse.Wheel = static_cast<std::int16_t>(HighWord(wParam));
    Mouse.OldX = static_cast<float>(FS_X / 2);
    Mouse.OldY = static_cast<float>(FS_Y / 2);
}

// One button's press edge: a click, and a double click when it follows the previous press closely.
void ButtonEdge(int button, int oldButton, int* click, int* dblClick, int* clickTime) {
    if (button != 1 || oldButton != 0) return;
    const int now = Clock();
    *click = 1;
    if (now - *clickTime < Mouse.DblClickTime) *dblClick = 1;
    *clickTime = now;
}

bool SystemCommandSwallowed(WPARAM command) {
    return command == SC_SCREENSAVE || command == SC_MONITORPOWER;
}

// The window procedure proper, for a message whose event came in at `time`.
LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int time) {
    switch (message) {
    case WM_ACTIVATE:
        active = HighWord(wParam) == 0;
        return 0;
    case WM_SYSCOMMAND:
        if (SystemCommandSwallowed(wParam)) return 0;
        break;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        AcceptKeyDown(wParam, time);
        return 0;
    case WM_KEYUP:
        KeyUp(wParam, time);
        return 0;
    case WM_SIZE:
        // Without a GL context there is no projection to keep in step.
        if (hRC != nullptr)
            ReSizeGLScene(LowWord(static_cast<std::uintptr_t>(lParam)),
                          HighWord(static_cast<std::uintptr_t>(lParam)));
        return 0;
    case WM_MOUSEMOVE:
    case WM_MOUSEWHEEL:
        HandleMouseMove(wParam, lParam);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        Mouse.LButton = message == WM_LBUTTONDOWN ? 1 : 0;
        SetMouseClick();
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        Mouse.RButton = message == WM_RBUTTONDOWN ? 1 : 0;
        SetMouseClick();
        break;
    default:
        break;
    }
    // Nothing else needs the platform's default handling: the window has no frame, menu or caption.
    return 0;
}

}  // namespace

bool TakeKey(int code) {
    if (keys[code] == 0) return false;
    keys[code] = 0;
    return true;
}

int TakeHeldMs(int code, int now) {
    if (code < 0 || code >= KeyCodes) return 0;
    int ms = HeldMs[code];
    if (keys[code] != 0) ms += std::max(0, now - HeldSince[code]);
    HeldMs[code] = 0;
    HeldSince[code] = now;
    return ms;
}

void ForgetHeldKeys(int now) {
    std::fill(std::begin(HeldMs), std::end(HeldMs), 0);
    std::fill(std::begin(HeldSince), std::end(HeldSince), now);
}

LRESULT WndProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleMessage(message, wParam, lParam, Clock());
}

void SetMouseClick() {
    ButtonEdge(Mouse.LButton, Mouse.OldLButton, &Mouse.LClick, &Mouse.LDblClick, &Mouse.LClickTime);
    ButtonEdge(Mouse.RButton, Mouse.OldRButton, &Mouse.RClick, &Mouse.RDblClick, &Mouse.RClickTime);
    if (Mouse.LButton == 0) Mouse.LClick = 0;
    if (Mouse.RButton == 0) Mouse.RClick = 0;
    Mouse.OldLButton = Mouse.LButton;
    Mouse.OldRButton = Mouse.RButton;
}

void DispatchMessage(const MSG* msg) { HandleMessage(msg->message, msg->wParam, msg->lParam, msg->time); }

// ---- Frame pacing -----------------------------------------------------------------------------------

namespace {

// Frames a second at most and at least.
constexpr int MaxRefreshRate = 50;
constexpr int MinRefreshRate = 1;

int FrameIntervalMs() { return 1000 / std::max(S.RefreshRate, MinRefreshRate); }

bool FrameDue(int now) { return now < 0 || now - LastDraw >= FrameIntervalMs(); }

void ClearFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    BindTexture(0);
}

// While drawing is slow the pacer takes half the frames a second the average draw time allows, but
// no more than HalfRateCapFps; once a fifth of them is more, it takes a fifth. Never more than
// MaxRefreshRate and, so that the frame interval stays defined, never less than MinRefreshRate.
constexpr int HalfRateCapFps = 25;
constexpr double SlowRateShare = 0.5;
constexpr double FastRateShare = 0.2;

int RateForAverage(double averageMs) {
    const double fps = 1.0 / (averageMs / MsPerSecond);
    const int half = std::min(static_cast<int>(fps * SlowRateShare), HalfRateCapFps);
    const int fifth = static_cast<int>(static_cast<float>(fps * FastRateShare));
    const int rate = fifth >= half ? fifth : half;
    return std::clamp(rate, MinRefreshRate, MaxRefreshRate);
}

}  // namespace

int AmbrelDoevents() {
    const int now = Clock();
    if (FrameDue(now)) {
        ClearFrame();
        DrawScene();
        SwapBuffers();
        LastDraw = now;
    }
    return SystemMessages();
}

void DrawScene() {
    const int t0 = Clock();
    if (AppState == StateSetup) GraphicsDrawMM();
    if (AppState == StateEvolution) GraphicsDrawEvol();
    if (INmenu.Active == 1) InMenuDraw();
    RecomputeRR(Clock() - t0);
}

void RecomputeRR(int ms) {
    DrawTime[DTidx] = ms == 0 ? 1 : ms;
    DTidx = (DTidx + 1) % DrawTimeSlots;
    long long sum = 0;
    int count = 0;
    for (const int t : DrawTime) {
        if (t <= 0) continue;
        sum += t;
        ++count;
    }
    if (count == 0) return;
    S.RefreshRate = RateForAverage(static_cast<double>(sum) / count);
}

// ---- The message step -------------------------------------------------------------------------------

namespace {

// No turn is due while a prompt is open, the simulation is paused or the window is not active: then
// nothing changes on the screen but through a message or the next frame, and polling for them would
// keep a whole core busy.
bool NoTurnDue() { return !active || INmenu.Active == 1 || (AppState == StateEvolution && G.Pause == 1); }

// Waits for the next message, but never past the moment the next frame is due.
void WaitForMessageOrFrame() {
    if (!active) {
        WaitMessage(WaitForMessages);
        return;
    }
    const int now = Clock();
    if (FrameDue(now)) return;
    WaitMessage(FrameIntervalMs() - (now - LastDraw));
}

}  // namespace

int SystemMessages() {
    MSG msg;
    if (PeekMessage(&msg)) {
        if (msg.message == WM_QUIT) {
            AmbrelQuit();
            return 1;
        }
        DispatchMessage(&msg);
    } else if (NoTurnDue()) {
        WaitForMessageOrFrame();
    }
    HandleKeys();
    return 0;
}

void HandleKeys() {
    if (INmenu.Active == 1)
        InMenuKeys();
    else if (AppState == StateEvolution)
        EvolutionKeys();
}

// ---- Offered, not called by the program -----------------------------------------------------------

void AmbrelDraw() {
    ClearFrame();
    DrawScene();
    SwapBuffers();
}

void Sleep(float seconds) {
    const int start = Clock();
    while (seconds > (Clock() - start) / 1000.0f) AmbrelDoevents();
}

// ---- Fonts and text ---------------------------------------------------------------------------------

namespace {

// Text is formatted into one buffer of this many bytes.
constexpr int TextBufferBytes = 256;

// Drops the codes the fonts hold no glyph for: their list names would fall into another font's
// lists. Returns the length that remains.
int KeepPrintable(char* text) {
    int kept = 0;
    for (int i = 0; text[i] != '\0'; ++i) {
        const int code = static_cast<unsigned char>(text[i]);
        if (code >= FirstGlyph && code <= LastGlyph) text[kept++] = text[i];
    }
    text[kept] = '\0';
    return kept;
}

}  // namespace

int FontPixelHeight(int font) {
    const double scale = FS_X0 > 0 ? WIN_X / static_cast<double>(FS_X0) : 1.0;
    return static_cast<int>(FontSize[font] * scale);
}

void glPrint(int font, const char* fmt, ...) {
    if (fmt == nullptr || font < 0 || font >= FontCount) return;
    char text[TextBufferBytes];
    std::va_list args;
    va_start(args, fmt);
    const int written = std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    if (written < 0) return;
    DrawText(font, text, KeepPrintable(text));
}

// ---- Log --------------------------------------------------------------------------------------------

void LogMsg(const char* text, int force) {
    if ((Log != 1 && force != 1) || text == nullptr) return;
    std::FILE* file = std::fopen(LogFileName, "a");
    if (file == nullptr) return;
    std::fprintf(file, "%s\n", text);
    std::fclose(file);
}
