// system: the platform layer and the frame pacer. The window and its GL context, the message pump
// and the window procedure with the input records it keeps, the bitmap fonts and text output, the log
// file, message boxes and the real-time clock. SDL2 and FreeType stay behind this header: nothing of
// theirs is declared here, so the simulation and the prompt can include it and run without a window.
// The platform's side is the last group: what the platform files (system_platform.cpp for the process
// and the window, system_input.cpp for the events and the cursor, system_font.cpp for the fonts)
// supply; everything above it works on plain records and GL calls.
#pragma once

#include <cstdint>

struct SDL_Window;

// ---- Windows-style messages ------------------------------------------------------------------------
// The platform translates its events into these, so that the window procedure reads like a Win32 one
// and can be fed synthetic messages in tests.

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HWND = SDL_Window*;

constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr WPARAM SC_SCREENSAVE = 0xF140;
constexpr WPARAM SC_MONITORPOWER = 0xF170;
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;

// Windows virtual-key codes that the program tests.
constexpr int VK_BACK = 8;
constexpr int VK_RETURN = 13;
constexpr int VK_SHIFT = 16;
constexpr int VK_ESCAPE = 27;
constexpr int VK_SPACE = 32;
constexpr int VK_LEFT = 37;
constexpr int VK_UP = 38;
constexpr int VK_RIGHT = 39;
constexpr int VK_DOWN = 40;
constexpr int VK_DELETE = 46;
constexpr int VK_DECIMAL = 110;
constexpr int VK_OEM_PERIOD = 190;

// One message taken from the queue, with the clock time (Clock) at which its event came in, as
// Windows gives it in its MSG.
struct MSG {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int time;
};

// Packs two 16-bit words as Win32 does in lParam and wParam.
constexpr std::intptr_t MakeLong(int low, int high) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(high & 0xFFFF) << 16) |
                                      static_cast<std::uint32_t>(low & 0xFFFF));
}

// ---- Clock ------------------------------------------------------------------------------------------

// Milliseconds of real time since the program started (steady clock; never processor time).
int Clock();
// Tests drive time by hand: while ClockManual is true, Clock() returns ClockManualMs.
extern bool ClockManual;
extern int ClockManualMs;

// ---- Window and GL context ------------------------------------------------------------------------

extern HWND hWnd;          // the program's window, null while none is open
extern void* hRC;          // the GL context
extern bool fullscreen;    // whether the display mode was switched (never, on this platform)
extern int WIN_X, WIN_Y;   // window size, pixels
extern int FS_X, FS_Y;     // size of the overlay coordinate space (equals the window size)
extern int FS_X0;          // reference width for which the nominal font sizes hold

// The perspective of the star field: vertical field of view in degrees and the clipping planes in
// scene units. The near plane has always been the single-precision 0.1.
constexpr double FieldOfViewDeg = 45.0;
constexpr double NearPlane = static_cast<double>(0.1f);
constexpr double FarPlane = 100.0;

// Resets input and frame bookkeeping and opens the window; 0 when ready, -1 on failure.
int GrInit();
// Closes the window (KillGLWindow).
void GrClose();
// Initial GL state and the fonts; returns 1.
int InitGL();
// Viewport and perspective projection for a window of width x height.
void ReSizeGLScene(int width, int height);

// Message box flags and answers.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// ---- Input records and window messages ------------------------------------------------------------

// Mouse state kept from window messages.
struct strMouse {
    float X, Y;          // cursor of the last mouse message, window pixels
    float OldX, OldY;    // previous cursor; after every handled move, the centre
    float DX, DY;        // delta of the last move: previous minus new
    float SumX, SumY;    // sums of DX, DY since last consumed
    int LButton, RButton;
    int Tracking;        // a first move has been seen
    int OldLButton, OldRButton;
    int LClick, RClick;
    int LDblClick, RDblClick;
    int PosX, PosY;      // cursor in overlay coordinates
    int Wheel;           // wheel delta of the last mouse message
    int LClickTime, RClickTime;
    int DblClickTime;    // double-click interval, ms
};

// Key flags by Windows virtual-key code: 1 from an accepted key-down until released or consumed.
extern unsigned char keys[256];
// Consumes a key: true, with its flag cleared, when it was set.
bool TakeKey(int code);
// Clock time of the last accepted key-down of each key.
extern int keys_t[256];
// Milliseconds key `code` has been held since the previous call for it, by the times its key-downs
// and key-ups came in, however late or close together the message steps took them: the held keys act
// by this. The next call counts from `now`.
int TakeHeldMs(int code, int now);
// Drops the held time no call has taken yet; keys still down count from `now`.
void ForgetHeldKeys(int now);
// The mouse as the window procedure keeps it: position, motion sums, buttons and clicks.
extern strMouse Mouse;
// False while the window is minimised; the engine runs only while it is true.
extern bool active;

// The window procedure: turns one message into input state, as one that comes in now.
LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Button edge and double-click check on Mouse.
void SetMouseClick();
// Hands a taken message to the window procedure, with the time its event came in.
void DispatchMessage(const MSG* msg);
// WaitMessage's timeout that waits for messages alone.
constexpr int WaitForMessages = -1;

// One message step and the key handler of the current mode; 1 when the quit message was taken.
// When no message is pending and no turn is due, it first waits for one, at most until the next
// frame is due (for messages alone while the window is not active).
int SystemMessages();
// The key handler of the current mode alone.
void HandleKeys();

// ---- Frame pacing -----------------------------------------------------------------------------------

// Draw times the pacer's rate is taken from: the last ten frames'.
constexpr int DrawTimeSlots = 10;
// Ring of the last draw times, ms (0: slot unused).
extern int DrawTime[DrawTimeSlots];
// Slot the next measurement overwrites.
extern int DTidx;
// Clock value at the start of the pacer call that drew the last frame.
extern int LastDraw;

// Draws a frame when one is due, then one message step and the key handler; 1 on the quit message.
int AmbrelDoevents();
// Draws the scene of the current state and measures it, without clearing or presenting.
void DrawScene();
// Records one draw time (0 counts as 1) and recomputes S.RefreshRate, never below 1.
void RecomputeRR(int ms);

// ---- Fonts and text ---------------------------------------------------------------------------------

// Fonts 0 to 4, and the character codes each holds, 32 to 127.
constexpr int FontCount = 5;
constexpr int FirstGlyph = 32;
constexpr int LastGlyph = 127;
// Nominal character heights of fonts 0 to 4, pixels.
extern const int FontSize[FontCount];
// A character's advance in units of its font's nominal height: the fonts are fixed-pitch.
constexpr float CharWidthPerSize = 0.588f;
// First of the 96 display lists (codes 32 to 127) of each font.
extern int fntBase[FontCount];
// Pixel height of font 0 to 4: its nominal size scaled by the window's width against FS_X0.
int FontPixelHeight(int font);
// Formats and draws text at the current raster position; cut at 255 characters; null draws nothing.
void glPrint(int font, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// ---- Log --------------------------------------------------------------------------------------------

// Name of the log file in the working directory.
constexpr const char* LogFileName = "kelvra.log";
// The log switch; nothing turns it on.
extern int Log;
// Appends text as one line to the log when Log is 1 or force is 1.
void LogMsg(const char* text, int force);

// ---- Offered, not called by the program -----------------------------------------------------------

// Draws and presents one frame unconditionally, measuring it.
void AmbrelDraw();
// Runs AmbrelDoevents until `seconds` have passed.
void Sleep(float seconds);
// Deletes the fonts' display lists (they go with the GL context anyway).
void KillFont();

// ---- The platform's side ------------------------------------------------------------------------------
// Supplied by the platform files, the one place where SDL and FreeType are called.

// CPUs this process may run on (its affinity mask, which taskset and containers narrow), at least 1.
int CpuCount();
// Screen size from the platform, each dimension 1024 x 768 where it is not positive.
void ScreenSize(int* width, int* height);
// Creates the window, GL context, GL state, fonts and star texture, and holds the cursor; false on
// failure (already reported).
bool CreateGLWindow(const char* title, int width, int height, int bits, bool fullscreenflag);
// Tears down whatever CreateGLWindow built, reporting failures.
void KillGLWindow();
// Presents the back buffer (in a page, hands control to the browser once, so that it shows it).
void SwapBuffers();
// Binds a 2D texture, 0 for none (drawing untextured).
void BindTexture(unsigned texture);
// Takes at most one pending message without waiting; false when there is none. Mouse motion comes
// as the system's relative motion, handed over as a move to the centre plus the motion and a move
// back to the centre, the pair of moves a Windows cursor held at the centre makes.
bool PeekMessage(MSG* msg);
// Waits until a message is pending or timeoutMs have passed; a negative timeout waits for messages
// alone. Returns at once without a window.
void WaitMessage(int timeoutMs);
// Posts the quit message; the pump's next take turns it into WM_QUIT.
void PostQuitMessage(int exitCode);
// Hides the system cursor; from the window's creation to its teardown it is also held in the window.
void ShowMouseCursor();
// For the pieces of a long turn, in which no message is taken: where the cursor is held by SDL's warps
// back to the centre (SDL before 2.28 on X11), takes in the window system's events at most every 10 ms,
// so that a fast hand cannot run the cursor into the screen's edge meanwhile. Elsewhere nothing.
void KeepCursorInReach();
// A modal message box, with the cursor the system's while it stands; without a display the text goes
// to standard error and a question answers No.
int MessageBox(const char* text, const char* caption, unsigned flags);
// Builds the five bitmap fonts into the current GL context.
void BuildFont();
// Draws `length` characters of text (codes FirstGlyph to LastGlyph) in a font at the raster
// position, which each glyph's advance moves on.
void DrawText(int font, const char* text, int length);
