// system, platform side: the process and its window. In the order the program uses them: the
// process set-up, the window with its GL context, and message boxes. With system_input.cpp (the events
// and the cursor) the only files of Kelvra that talk to SDL2; the bitmap fonts' FreeType side has a
// file of its own. Three systems stand behind them: Windows, X11 or Wayland, and a browser page, where
// the canvas is the window and the viewport the screen.
#include <SDL.h>
#include <GL/gl.h>
#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#include <thread>
#elif !defined(_WIN32)
#include <X11/Xlib.h>
#include <sched.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "graphics.h"
#include "system.h"
#include "system_platform.h"

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
    StartInput();
    ReSizeGLScene(width, height);
    if (!InitGL()) return CreationFailed("Initialization Failed.");
    return LoadGLTextures() != 0;
}

void KillGLWindow() {
    EndInput();
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
