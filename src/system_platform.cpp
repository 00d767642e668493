// system, platform side: the only file of Kelvra that talks to SDL2 (the bitmap fonts' FreeType side
// has a file of its own). In the order the program uses them: the process set-up, the window with its
// GL context, the events and their folding into Windows-style messages, the cursor, and message boxes.
// Three systems stand behind it: Windows, X11 or Wayland, and a browser page, where the canvas is the
// window and the viewport the screen.
#include <SDL.h>
#include <GL/gl.h>
#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#include <emscripten/html5.h>
#include <thread>
#elif !defined(_WIN32)
#include <X11/Xlib.h>
#include <sched.h>
#endif

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "graphics.h"
#include "system.h"

#ifdef __EMSCRIPTEN__
// A page may lock the pointer and fill the screen only in answer to the user, from the handler of what
// the user did: a click on the canvas asks for both. The browser takes the lock back with the first
// Escape, or when the page loses the input, and the next click asks again.
EM_JS(void, HoldPointerOnClick, (), {
    if (Module.kelvraHold) return;
    Module.kelvraHold = () => {
        const lock = Module.canvas.requestPointerLock();
        if (lock) lock.catch(() => {});
        if (!document.fullscreenElement) document.documentElement.requestFullscreen().catch(() => {});
    };
    Module.canvas.addEventListener('mousedown', Module.kelvraHold);
});

// The page's pointer and screen back to the browser, for good.
EM_JS(void, ReleasePointer, (), {
    if (Module.kelvraHold) Module.canvas.removeEventListener('mousedown', Module.kelvraHold);
    Module.kelvraHold = null;
    if (document.pointerLockElement) document.exitPointerLock();
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
});
#endif

namespace {

// Used by the window and the events alike, and defined in the sections below.
void ResetPendingInput();
void HoldCursor();
bool CursorHeld();
void TakeMotion(bool taken);
void FollowCursor(const SDL_Event& event);

}  // namespace

// ==== Process set-up ================================================================================

namespace {

// A write to an X server that has gone away raises SIGPIPE, which would kill the program before Xlib
// could report the lost display and end it with an exit.
void IgnoreBrokenPipes() {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
// SDL ends its wait for events with a message to the window through a second connection to the X
// server, which a busy server may take only after the window is destroyed: its BadWindow error comes
// back when SDL closes that connection, and Xlib's default handler would end the program there. A
// message to a window that is gone has nothing left to wake, so that error alone is dropped.
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
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    if (DefaultXErrorHandler == nullptr) DefaultXErrorHandler = XSetErrorHandler(DropErrorOfMessageToGoneWindow);
#endif
}

// The window systems the program draws in, tried in this order. Naming them keeps SDL from ever
// settling on a driver without a screen, which it otherwise may do when a first try at X fails.
#if defined(_WIN32)
constexpr const char* VideoDrivers = "windows";
#elif defined(__EMSCRIPTEN__)
constexpr const char* VideoDrivers = "emscripten";
#else
constexpr const char* VideoDrivers = "x11,wayland";
#endif

constexpr int DefaultScreenWidth = 1024;
constexpr int DefaultScreenHeight = 768;

}  // namespace

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
#elif defined(__EMSCRIPTEN__)
// The cores the browser reports; a page that cannot start threads finds out when it tries.
int CpuCount() {
    const int count = static_cast<int>(std::thread::hardware_concurrency());
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

namespace {

// In a page the viewport stands for the screen: SDL gives it as the display's usable bounds.
bool DisplaySize(SDL_Rect* size) {
#ifdef __EMSCRIPTEN__
    return SDL_GetDisplayUsableBounds(0, size) == 0;
#else
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
    *size = SDL_Rect{0, 0, mode.w, mode.h};
    return true;
#endif
}

// In a page the program yields to the browser itself, once a frame and while it waits, in a way far
// cheaper than SDL's sleep of 0 (a browser timer, some 4 ms): SDL must not sleep on its own.
void KeepSdlFromSleeping() {
#ifdef __EMSCRIPTEN__
    SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
#endif
}

}  // namespace

void ScreenSize(int* width, int* height) {
    IgnoreBrokenPipes();
    DropErrorsOfMessagesToGoneWindows();
    KeepSdlFromSleeping();
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, VideoDrivers, SDL_HINT_DEFAULT);
    SDL_Rect size{};
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || !DisplaySize(&size)) size = SDL_Rect{};
    *width = size.w > 0 ? size.w : DefaultScreenWidth;
    *height = size.h > 0 ? size.h : DefaultScreenHeight;
}

// ==== Window and GL context =========================================================================

namespace {

// The pixel format: 8 bits a colour, no alpha, a depth buffer of at least 16 bits, double-buffered.
constexpr int ColorBits = 8;
constexpr int DepthBits = 16;

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

// SDL's own reason for a failure, on standard error beside the message box: the box's fixed text
// alone does not tell a user what to mend.
void ReportSdlReason() {
    const char* reason = SDL_GetError();
    if (reason != nullptr && reason[0] != '\0') std::fprintf(stderr, "kelvra: %s\n", reason);
}

// Video drivers that open no window anyone can see or type into. Without an X display SDL falls
// back to them, and the program would then wait in its first prompt for ever, so they count as no
// display at all.
bool HeadlessVideo() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

bool NoDisplay() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0)
        SDL_SetError("no display to open a window on (SDL found only its \"%s\" video driver)",
                     SDL_GetCurrentVideoDriver());
    ReportSdlReason();
    SDL_Quit();
    MessageBox("Failed To Register The Window Class.", "ERROR", MB_OK | MB_ICONEXCLAMATION);
    return false;
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

void SetPixelFormatAttributes() {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, DepthBits);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, ColorBits);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, ColorBits);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, ColorBits);
    // A page's GL is WebGL, under emscripten's emulation of the fixed functions, and knows no profile.
#ifndef __EMSCRIPTEN__
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
#endif
}

// A page's canvas follows the viewport, which the browser's window may change: it is resizable, and
// SDL tells each new size as a size message.
#ifdef __EMSCRIPTEN__
constexpr Uint32 WindowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE;
#else
constexpr Uint32 WindowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS;
#endif

// Undoes the creation so far and reports the step that failed.
bool CreationFailed(const char* text) {
    ReportSdlReason();
    KillGLWindow();
    MessageBox(text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void TeardownFailed(const char* text) { MessageBox(text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION); }
}  // namespace

bool CreateGLWindow(const char* title, int width, int height, int, bool fullscreenflag) {
    fullscreen = fullscreenflag;
    KeepHeapBetweenFrames();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0 || HeadlessVideo()) return NoDisplay();
    if (!ResolveFullscreen()) return false;
    ShowMouseCursor();
    SetPixelFormatAttributes();
    hWnd = SDL_CreateWindow(title, 0, 0, width, height, WindowFlags);
    if (hWnd == nullptr) return CreationFailed("Window Creation Error.");
    hRC = SDL_GL_CreateContext(hWnd);
    if (hRC == nullptr) return CreationFailed("Can't Create A GL Rendering Context.");
    if (SDL_GL_MakeCurrent(hWnd, hRC) != 0) return CreationFailed("Can't Activate The GL Rendering Context.");
    // Presenting must never wait for the display: the pacer fits frames between simulation turns.
    SDL_GL_SetSwapInterval(0);
    SDL_ShowWindow(hWnd);
    SDL_RaiseWindow(hWnd);
    ResetPendingInput();
    HoldCursor();
    ReSizeGLScene(width, height);
    if (!InitGL()) return CreationFailed("Initialization Failed.");
    return LoadGLTextures() != 0;
}

void KillGLWindow() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) ShowMouseCursor();
#ifdef __EMSCRIPTEN__
    ReleasePointer();
#endif
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

// The browser's GL emulation draws with texture 0 as with a black texture, where the GL draws
// untextured: there texturing is switched off with texture 0 and on with any other.
void BindTexture(unsigned texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
#ifdef __EMSCRIPTEN__
    if (texture == 0)
        glDisable(GL_TEXTURE_2D);
    else
        glEnable(GL_TEXTURE_2D);
#endif
}

#ifdef __EMSCRIPTEN__
// A page shows a frame only once the program hands control back to the browser. A message to itself
// comes back at once, after the browser has drawn the frame and run the input handlers due.
EM_ASYNC_JS(void, YieldToBrowser, (), {
    await new Promise((resolve) => {
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve();
        channel.port2.postMessage(0);
    });
});
#endif

void SwapBuffers() {
    if (hWnd == nullptr) return;
    SDL_GL_SwapWindow(hWnd);
#ifdef __EMSCRIPTEN__
    YieldToBrowser();
#endif
}

// ==== Events and their folding ======================================================================
// SDL's events become the Windows messages they stand for. As Windows does, the pending mouse motion
// is taken as one move and the auto-repeats of a key already pending are dropped: one by one, they
// would pile up behind a slow turn, and every later key would wait behind them. The motion is the
// system's own relative motion (see Cursor), handed over in the rhythm of a Windows cursor held at the
// centre C, which the window procedure measures against: a move to C + d, then a move back to C.

namespace {

// Windows' wheel delta of one notch.
constexpr int WheelDelta = 120;
// Activation state words of WM_ACTIVATE.
constexpr int WaInactive = 0;
constexpr int WaActive = 1;
// Mouse positions travel as unsigned 16-bit words; a larger motion is handed over in parts.
constexpr int MaxWord = 0xFFFF;

// The private event that stands for WM_QUIT; registered on first use.
Uint32 QuitEventType = static_cast<Uint32>(-1);

struct KeyPair { SDL_Keycode key; int vk; };

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

// A button message's position is set where it is taken (PeekMessage).
bool TranslateButton(const SDL_MouseButtonEvent& button, MSG* msg) {
    const bool down = button.type == SDL_MOUSEBUTTONDOWN;
    UINT message;
    if (button.button == SDL_BUTTON_LEFT)
        message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    else if (button.button == SDL_BUTTON_RIGHT)
        message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    else
        return false;
    SetMessage(msg, message, ButtonWord(SDL_GetMouseState(nullptr, nullptr)), 0);
    return true;
}

// A wheel message carries the buttons and the notches in the high word; its position, as a button
// message's, is set where it is taken.
bool TranslateWheel(const SDL_MouseWheelEvent& wheel, MSG* msg) {
    const Uint32 state = SDL_GetMouseState(nullptr, nullptr);
    const int notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
    const WPARAM word = static_cast<WPARAM>(MakeLong(static_cast<int>(ButtonWord(state)), notches * WheelDelta));
    SetMessage(msg, WM_MOUSEWHEEL, word, 0);
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

// The centre, and the position of the last move handed to the window procedure.
int CentreX, CentreY;
int HandedX, HandedY;
// The user's motion taken from SDL and not yet handed over, pixels.
int MotionX, MotionY;
// Buttons held at the last motion event.
Uint32 MotionButtons;
// Whether the window has the input, which the system's relative motion is taken for: raw motion keeps
// coming while the user works in another window.
bool MotionTaken;
// The next motion event only marks where the motion resumes: the first after the window comes back may
// carry what the system did with the cursor meanwhile.
bool MotionResumes;

// The window has the input again, or lost it.
void TakeMotion(bool taken) {
    if (taken && !MotionTaken) MotionResumes = true;
    MotionTaken = taken;
}

void ResetPendingInput() {
    CentreX = HandedX = FS_X / 2;
    CentreY = HandedY = FS_Y / 2;
    MotionX = MotionY = 0;
    MotionButtons = 0;
    MotionTaken = true;
    MotionResumes = false;
}

void FoldMotion(const SDL_MouseMotionEvent& motion) {
    MotionButtons = motion.state;
    if (!MotionTaken || !CursorHeld() || (motion.xrel == 0 && motion.yrel == 0)) return;
    if (MotionResumes) {
        MotionResumes = false;
        return;
    }
    MotionX += motion.xrel;
    MotionY += motion.yrel;
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

struct strRepeatFold { SDL_Keycode key; bool released; };

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

// The button and wheel messages, which Windows sends with the cursor's position.
bool PositionedMessage(UINT message) { return message > WM_MOUSEMOVE && message <= WM_MOUSEWHEEL; }

}  // namespace

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
        FollowCursor(event);
        if (!message) continue;
        *msg = translated;
        msg->time = EventTime(event.common.timestamp);
        if (event.type == SDL_KEYDOWN) FoldRepeats(event.key.keysym.sym);
        // The cursor is where the window procedure last saw it: the motion goes by the moves.
        if (PositionedMessage(msg->message)) msg->lParam = MakeLong(HandedX, HandedY);
        return true;
    }
    return HandMoveOver(msg);
}

#ifdef __EMSCRIPTEN__
// The page's wait: control goes back to the browser until one of the page's input or window events,
// or the time is up; negative waits for an event alone. The wait ends by a message to itself, so
// that SDL's own handlers of the event have run by then.
EM_ASYNC_JS(void, WaitForPageEvent, (int timeoutMs), {
    await new Promise((resolve) => {
        const kinds = ['keydown', 'keyup', 'mousedown', 'mouseup', 'mousemove', 'wheel', 'resize', 'focus',
                       'blur', 'visibilitychange', 'pointerlockchange', 'fullscreenchange'];
        let timer = 0;
        const end = () => {
            clearTimeout(timer);
            for (const kind of kinds) window.removeEventListener(kind, end);
            const channel = new MessageChannel();
            channel.port1.onmessage = () => resolve();
            channel.port2.postMessage(0);
        };
        for (const kind of kinds) window.addEventListener(kind, end);
        if (timeoutMs >= 0) timer = setTimeout(end, timeoutMs);
    });
});
#endif

// SDL waits on the display connection itself, so the wait costs nothing until a message comes.
void WaitMessage(int timeoutMs) {
    if (hWnd == nullptr || timeoutMs == 0) return;
#ifdef __EMSCRIPTEN__
    WaitForPageEvent(timeoutMs);
#else
    if (timeoutMs < 0)
        SDL_WaitEvent(nullptr);
    else
        SDL_WaitEventTimeout(nullptr, timeoutMs);
#endif
}

// ==== Cursor ========================================================================================
// The cursor is hidden and held from the window's creation to its teardown, in every state, by SDL's
// relative mouse mode: raw input on Windows, XInput2's raw motion on X11, a locked pointer on Wayland;
// in a page, the pointer the browser locks from the first click on. Never the program's own warps back
// to the centre: on Windows SDL drops every mouse move stamped up
// to a warp's tick, and a fast hand lost part of its turn. The system gets its cursor back while the
// window does not have the input (and, through SDL, while a message box stands).

namespace {

// SDL before 2.28 drops an XInput2 raw motion event that repeats the one before it within a
// millisecond of the X server's clock, as a steady hand's do whenever the server is busy. There
// relative mode runs on SDL's own warps back to the centre (KeepCursorInReach does the rest), and the
// first warp's own motion gives SDL the cursor's place, which the user's first motion would otherwise.
bool CursorWarped;

void HoldCursor() {
    if (hWnd == nullptr) return;
    SDL_version linked;
    SDL_GetVersion(&linked);
    const char* driver = SDL_GetCurrentVideoDriver();
    CursorWarped = driver != nullptr && std::strcmp(driver, "x11") == 0 &&
                   SDL_VERSIONNUM(linked.major, linked.minor, linked.patch) < SDL_VERSIONNUM(2, 28, 0);
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP, CursorWarped ? "1" : "0");
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_WARP_MOTION, CursorWarped ? "1" : "0");
#ifdef __EMSCRIPTEN__
    HoldPointerOnClick();
#else
    SDL_SetRelativeMouseMode(SDL_TRUE);
#endif
    ShowMouseCursor();
}

void ReleaseCursor() {
    SDL_SetRelativeMouseMode(SDL_FALSE);
    SDL_ShowCursor(SDL_ENABLE);
}

#ifdef __EMSCRIPTEN__
// Only the locked pointer's motion turns the view: before the first click, the mouse on its way to
// the page is no motion of the program's.
bool CursorHeld() {
    EmscriptenPointerlockChangeEvent lock{};
    return emscripten_get_pointerlock_status(&lock) == EMSCRIPTEN_RESULT_SUCCESS && lock.isActive;
}
#else
bool CursorHeld() { return true; }
#endif

// While the window does not have the input the system has its cursor, and the motion made
// meanwhile is not the program's.
void FollowCursor(const SDL_Event& event) {
    if (event.type != SDL_WINDOWEVENT) return;
    if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        TakeMotion(false);
        ReleaseCursor();
    } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
        TakeMotion(true);
        HoldCursor();
    }
}

}  // namespace

void ShowMouseCursor() { SDL_ShowCursor(SDL_DISABLE); }

// Taking in the window system's events costs as much as a piece of a small cloud's turn: it is done
// at most every 10 ms, which a hand on the mouse cannot outrun to the screen's edge.
void KeepCursorInReach() {
    constexpr Uint32 EveryMs = 10;
    static Uint32 last;
    if (!CursorWarped || hWnd == nullptr || SDL_GetTicks() - last < EveryMs) return;
    last = SDL_GetTicks();
    SDL_PumpEvents();
}

// ==== Message boxes =================================================================================

namespace {

constexpr unsigned MbButtonMask = 0x0F;
constexpr unsigned MbIconMask = 0xF0;

Uint32 MessageBoxIcon(unsigned flags) {
    const unsigned icon = flags & MbIconMask;
    if (icon == MB_ICONSTOP) return SDL_MESSAGEBOX_ERROR;
    return icon == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
}

}  // namespace

// While the box stands SDL gives the system its cursor back (it leaves relative mode and shows the
// cursor), so that the box can be clicked, and holds it again afterwards.
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
