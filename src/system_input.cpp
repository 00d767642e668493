// system, platform side: the input. SDL's events become the Windows-style messages the window
// procedure reads, the mouse's relative motion folded into the moves of a cursor held at the centre;
// the cursor is hidden and held in the window from its creation to its teardown. With
// system_platform.cpp (the process, the window, message boxes) and system_font.cpp (the fonts), the
// only files of Kelvra that talk to SDL.
#include <SDL.h>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#include <emscripten/html5.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>

#include "system.h"
#include "system_platform.h"

namespace {

// The events use these, and the cursor's section below defines them.
bool CursorHeld();
void FollowCursor(const SDL_Event& event);

}  // namespace

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
// to the centre: on Windows SDL drops every mouse move stamped up to a warp's tick, and a fast hand
// lost part of its turn. The system gets its cursor back while the
// window does not have the input (and, through SDL, while a message box stands).

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

void StartInput() {
    ResetPendingInput();
    HoldCursor();
}

void EndInput() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) ShowMouseCursor();
#ifdef __EMSCRIPTEN__
    ReleasePointer();
#endif
}
