// system, platform side: the only file of Kelvra that talks to SDL2 and FreeType. It opens and closes
// the window with its GL context, turns SDL events into the Windows-style messages the window
// procedure reads, warps and hides the cursor, shows message boxes and renders the bitmap fonts from
// the font compiled into the program.
#include <SDL.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <GL/gl.h>
#ifndef _WIN32
#include <X11/Xlib.h>
#include <sched.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "graphics.h"
#include "system.h"

extern const unsigned char FontData[];
extern const long FontDataSize;

namespace {

// The pixel format: 8 bits a colour, no alpha, a depth buffer of at least 16 bits, double-buffered.
constexpr int ColorBits = 8;
constexpr int DepthBits = 16;

constexpr int DefaultScreenWidth = 1024;
constexpr int DefaultScreenHeight = 768;

// Windows' wheel delta of one notch.
constexpr int WheelDelta = 120;
// Activation state words of WM_ACTIVATE.
constexpr int WaInactive = 0;
constexpr int WaActive = 1;

constexpr unsigned MbButtonMask = 0x0F;
constexpr unsigned MbIconMask = 0xF0;

// The fonts hold character codes 32 to 127; one display list each.
constexpr unsigned FirstGlyph = 32;
constexpr int GlyphCount = 96;
constexpr int FontCount = 5;
// FreeType measures advances in 1/64 pixel.
constexpr float FreeTypeUnitsPerPixel = 64.0f;
// Room for the largest glyph bitmap the fonts are built with; a larger one keeps only its advance.
constexpr std::size_t GlyphBufferBytes = 16384;

// The private event that stands for WM_QUIT; registered on first use.
Uint32 QuitEventType = static_cast<Uint32>(-1);

struct KeyPair {
    SDL_Keycode key;
    int vk;
};

// SDL keycodes of the keys that are not in a contiguous run, with their Windows virtual-key codes.
// Alt and F10 are system keys on Windows and never reach the key table, so they are not here.
constexpr std::array<KeyPair, 39> FixedKeys = {{
    {SDLK_BACKSPACE, 8},    {SDLK_TAB, 9},          {SDLK_RETURN, 13},       {SDLK_KP_ENTER, 13},
    {SDLK_LSHIFT, 16},      {SDLK_RSHIFT, 16},      {SDLK_LCTRL, 17},        {SDLK_RCTRL, 17},
    {SDLK_PAUSE, 19},       {SDLK_CAPSLOCK, 20},    {SDLK_ESCAPE, 27},       {SDLK_SPACE, 32},
    {SDLK_PAGEUP, 33},      {SDLK_PAGEDOWN, 34},    {SDLK_END, 35},          {SDLK_HOME, 36},
    {SDLK_LEFT, 37},        {SDLK_UP, 38},          {SDLK_RIGHT, 39},        {SDLK_DOWN, 40},
    {SDLK_INSERT, 45},      {SDLK_DELETE, 46},      {SDLK_KP_0, 96},         {SDLK_KP_MULTIPLY, 106},
    {SDLK_KP_PLUS, 107},    {SDLK_KP_MINUS, 109},   {SDLK_KP_PERIOD, 110},   {SDLK_KP_DIVIDE, 111},
    {SDLK_SEMICOLON, 186},  {SDLK_EQUALS, 187},     {SDLK_COMMA, 188},       {SDLK_MINUS, 189},
    {SDLK_PERIOD, 190},     {SDLK_SLASH, 191},      {SDLK_BACKQUOTE, 192},   {SDLK_LEFTBRACKET, 219},
    {SDLK_BACKSLASH, 220},  {SDLK_RIGHTBRACKET, 221}, {SDLK_QUOTE, 222},
}};

constexpr int VkDigit0 = 48;
constexpr int VkLetterA = 65;
constexpr int VkNumpad1 = 97;
constexpr int VkF1 = 112;

// The Windows virtual-key code of an SDL keycode, or -1 for a key the program has no code for.
int VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return VkLetterA + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return VkDigit0 + (key - SDLK_0);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VkNumpad1 + (key - SDLK_KP_1);
    if (key >= SDLK_F1 && key <= SDLK_F12 && key != SDLK_F10) return VkF1 + (key - SDLK_F1);
    for (const KeyPair& pair : FixedKeys)
        if (pair.key == key) return pair.vk;
    return -1;
}

WPARAM ButtonWord(Uint32 state) {
    WPARAM word = 0;
    if (state & SDL_BUTTON_LMASK) word |= MK_LBUTTON;
    if (state & SDL_BUTTON_RMASK) word |= MK_RBUTTON;
    return word;
}

// A message that comes in now; one that stands for an SDL event takes the event's time (EventTime).
void SetMessage(MSG* msg, UINT message, WPARAM wParam, LPARAM lParam) {
    msg->message = message;
    msg->wParam = wParam;
    msg->lParam = lParam;
    msg->time = Clock();
}

// The clock time of an SDL event. SDL stamps an event with its own ticks as it takes it from the
// window system, and it may wait in the queue long after that, behind other messages or a slow frame.
int EventTime(Uint32 stamp) {
    const Sint32 age = static_cast<Sint32>(SDL_GetTicks() - stamp);
    return Clock() - std::max(age, 0);
}

bool TranslateWindowEvent(const SDL_WindowEvent& window, MSG* msg) {
    switch (window.event) {
    case SDL_WINDOWEVENT_CLOSE:
        SetMessage(msg, WM_CLOSE, 0, 0);
        return true;
    case SDL_WINDOWEVENT_MINIMIZED:
        SetMessage(msg, WM_ACTIVATE, static_cast<WPARAM>(MakeLong(WaInactive, 1)), 0);
        return true;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_MAXIMIZED:
        SetMessage(msg, WM_ACTIVATE, static_cast<WPARAM>(MakeLong(WaActive, 0)), 0);
        return true;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        SetMessage(msg, WM_SIZE, 0, MakeLong(window.data1, window.data2));
        return true;
    default:
        return false;
    }
}

bool TranslateKey(const SDL_KeyboardEvent& key, MSG* msg) {
    const int vk = VirtualKey(key.keysym.sym);
    if (vk < 0) return false;
    SetMessage(msg, key.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk), 0);
    return true;
}

bool TranslateButton(const SDL_MouseButtonEvent& button, MSG* msg) {
    const bool down = button.type == SDL_MOUSEBUTTONDOWN;
    UINT message;
    if (button.button == SDL_BUTTON_LEFT)
        message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    else if (button.button == SDL_BUTTON_RIGHT)
        message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    else
        return false;
    SetMessage(msg, message, ButtonWord(SDL_GetMouseState(nullptr, nullptr)), MakeLong(button.x, button.y));
    return true;
}

// A wheel event carries no position; Windows reports the cursor's, with the notches in the high word.
bool TranslateWheel(const SDL_MouseWheelEvent& wheel, MSG* msg) {
    int x = 0;
    int y = 0;
    const Uint32 state = SDL_GetMouseState(&x, &y);
    const int notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
    const WPARAM word = static_cast<WPARAM>(MakeLong(static_cast<int>(ButtonWord(state)), notches * WheelDelta));
    SetMessage(msg, WM_MOUSEWHEEL, word, MakeLong(x, y));
    return true;
}

// The message an SDL event stands for; false for the events that stand for none. Motion events are
// folded into moves apart from this (PeekMessage).
bool TranslateEvent(const SDL_Event& event, MSG* msg) {
    if (event.type == QuitEventType) {
        SetMessage(msg, WM_QUIT, 0, 0);
        return true;
    }
    switch (event.type) {
    case SDL_QUIT:
        SetMessage(msg, WM_CLOSE, 0, 0);
        return true;
    case SDL_WINDOWEVENT:
        return TranslateWindowEvent(event.window, msg);
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        return TranslateKey(event.key, msg);
    case SDL_MOUSEWHEEL:
        return TranslateWheel(event.wheel, msg);
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        return TranslateButton(event.button, msg);
    default:
        return false;
    }
}

Uint32 MessageBoxIcon(unsigned flags) {
    switch (flags & MbIconMask) {
    case MB_ICONSTOP:
        return SDL_MESSAGEBOX_ERROR;
    case MB_ICONEXCLAMATION:
        return SDL_MESSAGEBOX_WARNING;
    default:
        return SDL_MESSAGEBOX_INFORMATION;
    }
}

void SetPixelFormatAttributes() {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, DepthBits);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, ColorBits);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, ColorBits);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, ColorBits);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

// ---- Pending input, folded as Windows folds it ----------------------------------------------------
// Windows keeps at most one pending mouse move, at the cursor's latest position, and folds the
// auto-repeats of a held key into the key-down already pending. SDL queues every motion event (each
// warp back to the centre adds one more) and every auto-repeat; handed over one a message step, they
// would pile up behind a slow turn for as long as the mouse moves, and every later key would wait
// behind them. So consecutive pending motion events become one move, and pending repeats of a key
// being taken are dropped.
//
// The window procedure counts a move when the next one comes back to the centre, as the warp's own
// event does: a move to C + d followed by one to C adds d. The folded move keeps that rhythm: the
// user's motion is handed over as a move to the centre plus that motion, then a move to the centre.
// The user's motion is measured from the motion events themselves, leaving out the jumps the warps
// make, so that it is the same however many of them pile up.

// Position of the last motion event taken from SDL, window pixels.
int MotionLastX, MotionLastY;
// The user's motion taken from SDL and not yet handed over, pixels.
int MotionX, MotionY;
// Buttons held at the last motion event.
Uint32 MotionButtons;
// The centre the cursor is warped back to, and the position of the last move handed to the window
// procedure.
int CentreX, CentreY;
int HandedX, HandedY;
// Warps asked for whose own motion event has not come yet, and where they go.
int WarpsOutstanding;
int WarpX, WarpY;
// A warp on Windows nudges the cursor a pixel aside and back: those events are the warp's too.
constexpr int WarpJitterPx = 1;
// Mouse positions travel as unsigned 16-bit words; a larger motion is handed over in parts.
constexpr int MaxWord = 0xFFFF;

void ResetPendingInput() {
    CentreX = MotionLastX = HandedX = FS_X / 2;
    CentreY = MotionLastY = HandedY = FS_Y / 2;
    MotionX = MotionY = 0;
    MotionButtons = 0;
    WarpsOutstanding = 0;
}

bool WarpsOwnEvent(const SDL_MouseMotionEvent& motion) {
    return WarpsOutstanding > 0 && std::abs(motion.x - WarpX) <= WarpJitterPx &&
           std::abs(motion.y - WarpY) <= WarpJitterPx;
}

void FoldMotion(const SDL_MouseMotionEvent& motion) {
    MotionButtons = motion.state;
    if (WarpsOwnEvent(motion)) {
        if (motion.x == WarpX && motion.y == WarpY) --WarpsOutstanding;
    } else {
        MotionX += motion.x - MotionLastX;
        MotionY += motion.y - MotionLastY;
    }
    MotionLastX = motion.x;
    MotionLastY = motion.y;
}

bool MovePending() { return MotionX != 0 || MotionY != 0 || HandedX != CentreX || HandedY != CentreY; }

// The next move of the rhythm above; false when the user's motion is all handed over.
bool HandMoveOver(MSG* msg) {
    if (HandedX != CentreX || HandedY != CentreY) {
        HandedX = CentreX;
        HandedY = CentreY;
    } else if (MotionX != 0 || MotionY != 0) {
        const int stepX = std::clamp(MotionX, -CentreX, MaxWord - CentreX);
        const int stepY = std::clamp(MotionY, -CentreY, MaxWord - CentreY);
        MotionX -= stepX;
        MotionY -= stepY;
        HandedX = CentreX + stepX;
        HandedY = CentreY + stepY;
    } else {
        return false;
    }
    SetMessage(msg, WM_MOUSEMOVE, ButtonWord(MotionButtons), MakeLong(HandedX, HandedY));
    return true;
}

struct strRepeatFold {
    SDL_Keycode key;
    bool released;
};

// Drops the auto-repeats of one key queued before its release.
int SDLCALL DropRepeat(void* userdata, SDL_Event* event) {
    strRepeatFold* fold = static_cast<strRepeatFold*>(userdata);
    if (fold->released || (event->type != SDL_KEYDOWN && event->type != SDL_KEYUP)) return 1;
    if (event->key.keysym.sym != fold->key) return 1;
    if (event->type == SDL_KEYUP || event->key.repeat == 0) {
        fold->released = true;
        return 1;
    }
    return 0;
}

void FoldRepeats(SDL_Keycode key) {
    strRepeatFold fold = {key, false};
    SDL_FilterEvents(DropRepeat, &fold);
}

// There are no display modes to switch to here: a request for one is answered as Windows answers a
// mode it cannot set, and the user may go on in the window instead.
bool ResolveFullscreen() {
    if (!fullscreen) return true;
    const int answer = MessageBox("Fullscreen Mode Is Not Supported. Use Windowed Mode Instead?", "Fullscreen",
                                  MB_YESNO | MB_ICONEXCLAMATION);
    if (answer == IDYES) {
        fullscreen = false;
        return true;
    }
    MessageBox("Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP);
    return false;
}

// Undoes the creation so far and reports the step that failed.
// SDL's own reason for a failure, on standard error beside the message box: the box's fixed text
// alone does not tell a user what to mend.
void ReportSdlReason() {
    const char* reason = SDL_GetError();
    if (reason != nullptr && reason[0] != '\0') std::fprintf(stderr, "kelvra: %s\n", reason);
}

bool CreationFailed(const char* text) {
    ReportSdlReason();
    KillGLWindow();
    MessageBox(text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
    return false;
}

// Video drivers that open no window anyone can see or type into. Without an X display SDL falls
// back to them, and the program would then wait in its first prompt for ever, so they count as no
// display at all.
bool HeadlessVideo() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

void TeardownFailed(const char* text) { MessageBox(text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION); }

std::array<unsigned char, GlyphBufferBytes> GlyphBits;

// Compiles the current glyph of `face` into the display list being built: FreeType's rows run top
// down, glBitmap's bottom up.
void EmitGlyph(FT_GlyphSlot glyph) {
    const FT_Bitmap& bitmap = glyph->bitmap;
    const float advance = glyph->advance.x / FreeTypeUnitsPerPixel;
    const std::size_t rowBytes = (bitmap.width + 7) / 8;
    const std::size_t rows = bitmap.rows;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO || rows * rowBytes == 0 || rows * rowBytes > GlyphBits.size()) {
        glBitmap(0, 0, 0, 0, advance, 0, nullptr);
        return;
    }
    for (std::size_t r = 0; r < rows; ++r) {
        const unsigned char* src = bitmap.buffer + (rows - 1 - r) * static_cast<std::size_t>(bitmap.pitch);
        std::copy(src, src + rowBytes, GlyphBits.begin() + static_cast<std::ptrdiff_t>(r * rowBytes));
    }
    glBitmap(static_cast<GLsizei>(bitmap.width), static_cast<GLsizei>(rows), static_cast<float>(-glyph->bitmap_left),
             static_cast<float>(static_cast<int>(rows) - glyph->bitmap_top), advance, 0, GlyphBits.data());
}

// One font: a display list per character code, each drawing the glyph and advancing by its width.
void BuildOneFont(FT_Face face, int font) {
    fntBase[font] = static_cast<int>(glGenLists(GlyphCount));
    const int height = FontPixelHeight(font);
    const bool sized = face != nullptr && height > 0 && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(height)) == 0;
    for (int i = 0; i < GlyphCount; ++i) {
        glNewList(static_cast<GLuint>(fntBase[font] + i), GL_COMPILE);
        const FT_ULong code = FirstGlyph + static_cast<FT_ULong>(i);
        if (sized && FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0)
            EmitGlyph(face->glyph);
        glEndList();
    }
}

// Mesa's llvmpipe takes several megabytes from the heap for every frame it draws and gives them back
// when the frame is done. glibc's malloc would return the freed top of the heap to the system each
// time and grow it again for the next frame, and every page of it would be faulted in and zeroed
// anew, frame after frame: about a fifth of the time of a turn with its frame at 10,000 stars.
// Fixed thresholds keep those blocks in the heap and the heap at its size once it has grown.
void KeepHeapBetweenFrames() {
#ifdef __GLIBC__
    constexpr int HeapBlocksUpToBytes = 32 * 1024 * 1024;
    constexpr int HeapKeptUpToBytes = 256 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, HeapBlocksUpToBytes);
    mallopt(M_TRIM_THRESHOLD, HeapKeptUpToBytes);
#endif
}

// A write to an X server that has gone away raises SIGPIPE, which would kill the program before Xlib
// could report the lost display and end it with an exit.
void IgnoreBrokenPipes() {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

#ifndef _WIN32
// SDL ends its wait for events with a message to the program's window, sent through a second
// connection to the X server. The server serves its connections in an order of its own: on a busy
// machine it may take that message only after the first connection has destroyed the window, and
// answer BadWindow, which comes back when SDL closes the second connection; Xlib's default handler
// would end the program there. A message to a window that is gone has nothing left to wake, so that
// error is dropped; every other X error still goes to the default handler.
constexpr unsigned char XSendEventRequest = 25;  // X_SendEvent of <X11/Xproto.h>
XErrorHandler DefaultXErrorHandler = nullptr;

int DropErrorOfMessageToGoneWindow(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow && error->request_code == XSendEventRequest) return 0;
    return DefaultXErrorHandler(display, error);
}
#endif

// SDL keeps the X error handler it finds when it opens the display and puts it back before it closes
// the display, so this one must be in place before SDL starts.
void DropErrorsOfMessagesToGoneWindows() {
#ifndef _WIN32
    if (DefaultXErrorHandler == nullptr) DefaultXErrorHandler = XSetErrorHandler(DropErrorOfMessageToGoneWindow);
#endif
}

}  // namespace

// The window systems the program draws in, tried in this order. Naming them keeps SDL from ever
// settling on a driver without a screen, which it otherwise may do when a first try at X fails.
#ifdef _WIN32
constexpr const char* VideoDrivers = "windows";
#else
constexpr const char* VideoDrivers = "x11,wayland";
#endif

#ifdef _WIN32
// The two calls of the Windows API the count needs, declared here: <windows.h> would clash with the
// program's own Win32-style names.
extern "C" __declspec(dllimport) void* __stdcall GetCurrentProcess();
extern "C" __declspec(dllimport) int __stdcall GetProcessAffinityMask(void* process, unsigned long long* mask,
                                                                      unsigned long long* systemMask);

int CpuCount() {
    unsigned long long mask = 0, systemMask = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &mask, &systemMask) == 0) return 1;
    const int count = __builtin_popcountll(mask);
    return count > 0 ? count : 1;
}
#else
int CpuCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? count : 1;
}
#endif

void ScreenSize(int* width, int* height) {
    IgnoreBrokenPipes();
    DropErrorsOfMessagesToGoneWindows();
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, VideoDrivers, SDL_HINT_DEFAULT);
    SDL_DisplayMode mode{};
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || SDL_GetDesktopDisplayMode(0, &mode) != 0) mode = SDL_DisplayMode{};
    *width = mode.w > 0 ? mode.w : DefaultScreenWidth;
    *height = mode.h > 0 ? mode.h : DefaultScreenHeight;
}

bool CreateGLWindow(const char* title, int width, int height, int, bool fullscreenflag) {
    fullscreen = fullscreenflag;
    KeepHeapBetweenFrames();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0 || HeadlessVideo()) {
        if (SDL_WasInit(SDL_INIT_VIDEO) != 0)
            SDL_SetError("no display to open a window on (SDL found only its \"%s\" video driver)",
                         SDL_GetCurrentVideoDriver());
        ReportSdlReason();
        SDL_Quit();
        MessageBox("Failed To Register The Window Class.", "ERROR", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!ResolveFullscreen()) return false;
    ShowMouseCursor();
    SetPixelFormatAttributes();
    hWnd = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS);
    if (hWnd == nullptr) return CreationFailed("Window Creation Error.");
    hRC = SDL_GL_CreateContext(hWnd);
    if (hRC == nullptr) return CreationFailed("Can't Create A GL Rendering Context.");
    if (SDL_GL_MakeCurrent(hWnd, hRC) != 0) return CreationFailed("Can't Activate The GL Rendering Context.");
    // Presenting must never wait for the display: the pacer fits frames between simulation turns.
    SDL_GL_SetSwapInterval(0);
    ResetPendingInput();
    SDL_ShowWindow(hWnd);
    SDL_RaiseWindow(hWnd);
    ReSizeGLScene(width, height);
    if (!InitGL()) return CreationFailed("Initialization Failed.");
    return LoadGLTextures() != 0;
}

void KillGLWindow() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) ShowMouseCursor();
    if (hRC != nullptr) {
        if (SDL_GL_MakeCurrent(hWnd, nullptr) != 0) TeardownFailed("Release Of DC And RC Failed.");
        SDL_GL_DeleteContext(hRC);
        hRC = nullptr;
    }
    if (hWnd != nullptr) {
        SDL_DestroyWindow(hWnd);
        hWnd = nullptr;
    }
    SDL_Quit();
}

int MessageBox(const char* text, const char* caption, unsigned flags) {
    const bool question = (flags & MbButtonMask) == MB_YESNO;
    const SDL_MessageBoxButtonData yesNo[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    const SDL_MessageBoxButtonData ok[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"},
    };
    const SDL_MessageBoxData box = {MessageBoxIcon(flags), nullptr, caption, text, question ? 2 : 1,
                                    question ? yesNo : ok, nullptr};
    int answer = 0;
    if (SDL_ShowMessageBox(&box, &answer) == 0) return answer;
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return question ? IDNO : IDOK;
}

// A warp to where the cursor already is would move nothing; on Windows, SDL's warp nudges the cursor
// a pixel aside and back, and those moves would ask for a warp again, turn after turn, while the
// user's own moves get lost between them.
void MouseMove(int x, int y) {
    if (hWnd == nullptr) return;
    int cursorX = 0, cursorY = 0;
    SDL_GetMouseState(&cursorX, &cursorY);
    if (cursorX == x && cursorY == y) return;
    SDL_WarpMouseInWindow(hWnd, x, y);
    ++WarpsOutstanding;
    WarpX = x;
    WarpY = y;
}

// Taking in the window system's events costs some microseconds, as much as a piece of a small
// cloud's turn: between the pieces it is done at most this often, real time, which a hand on the
// mouse cannot outrun to the screen's edge.
namespace {
constexpr auto KeepCentredEvery = std::chrono::milliseconds(10);
std::chrono::steady_clock::time_point LastKeptCentred;
}  // namespace

void KeepCursorCentred() {
    if (hWnd == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - LastKeptCentred < KeepCentredEvery) return;
    LastKeptCentred = now;
    SDL_PumpEvents();
    MouseMove(CentreX, CentreY);
}

void ShowMouseCursor() { SDL_ShowCursor(SDL_DISABLE); }

void PostQuitMessage(int) {
    if (QuitEventType == static_cast<Uint32>(-1)) QuitEventType = SDL_RegisterEvents(1);
    // The queue exists without a window too, so that a close request always ends in the quit message.
    if (SDL_WasInit(SDL_INIT_EVENTS) == 0) SDL_InitSubSystem(SDL_INIT_EVENTS);
    SDL_Event event{};
    event.type = QuitEventType;
    SDL_PushEvent(&event);
}

bool PeekMessage(MSG* msg) {
    SDL_PumpEvents();
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
        MSG translated;
        const bool motion = event.type == SDL_MOUSEMOTION;
        const bool message = !motion && TranslateEvent(event, &translated);
        // The folded move came before this message: it goes first.
        if (message && MovePending()) break;
        SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (motion) FoldMotion(event.motion);
        if (!message) continue;
        *msg = translated;
        msg->time = EventTime(event.common.timestamp);
        if (event.type == SDL_KEYDOWN) FoldRepeats(event.key.keysym.sym);
        // The wheel's cursor is the one the window procedure last saw: the motion goes by the moves.
        if (msg->message == WM_MOUSEWHEEL) msg->lParam = MakeLong(HandedX, HandedY);
        return true;
    }
    return HandMoveOver(msg);
}

// SDL waits on the display connection itself, so the wait costs nothing until a message comes.
void WaitMessage(int timeoutMs) {
    if (hWnd == nullptr) return;
    if (timeoutMs < 0)
        SDL_WaitEvent(nullptr);
    else if (timeoutMs > 0)
        SDL_WaitEventTimeout(nullptr, timeoutMs);
}

void SwapBuffers() {
    if (hWnd != nullptr) SDL_GL_SwapWindow(hWnd);
}

void BuildFont() {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0 &&
        FT_New_Memory_Face(library, FontData, static_cast<FT_Long>(FontDataSize), 0, &face) != 0)
        face = nullptr;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (int font = 0; font < FontCount; ++font) BuildOneFont(face, font);
    glPopClientAttrib();
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
}
