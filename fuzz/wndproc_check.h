// The window procedure under arbitrary message streams, without a window: any message code, any
// wParam and lParam (key codes far outside the key table included), and the clock advanced by hand
// between messages. After every message the input records must be consistent.
#pragma once

#include <cmath>
#include <cstring>

#include "fuzz_input.h"
#include "galaxy.h"
#include "system.h"

// The messages the procedure handles; a selector beyond them sends its own raw code.
constexpr UINT FuzzMessages[] = {WM_SIZE,      WM_ACTIVATE,   WM_CLOSE,       WM_KEYDOWN,
                                 WM_KEYUP,     WM_SYSCOMMAND, WM_MOUSEMOVE,   WM_LBUTTONDOWN,
                                 WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL};
constexpr int FuzzMessageKinds = sizeof FuzzMessages / sizeof FuzzMessages[0];
constexpr int FuzzMaxMessages = 4096;
constexpr int FuzzScreenX = 1024;
constexpr int FuzzScreenY = 768;

// The records as the start-up leaves them, with the clock in the test's hands.
inline void FuzzResetInput() {
    ClockManual = true;
    ClockManualMs = 0;
    WIN_X = FS_X = FS_X0 = FuzzScreenX;
    WIN_Y = FS_Y = FuzzScreenY;
    S.KeyDelay = 0.05f;
    std::memset(keys, 0, sizeof keys);
    for (int& t : keys_t) t = 0;
    ForgetHeldKeys(0);
    Mouse = strMouse{};
    Mouse.X = Mouse.OldX = FuzzScreenX / 2;
    Mouse.Y = Mouse.OldY = FuzzScreenY / 2;
    Mouse.PosX = FuzzScreenX / 2;
    Mouse.PosY = FuzzScreenY / 2;
    Mouse.DblClickTime = 250;
    Mouse.LClickTime = Mouse.RClickTime = -251;
    active = true;
}

// A wParam: a byte, a 16-bit value, or a full-width value, as the stream chooses.
inline WPARAM FuzzWParam(FuzzBytes* in) {
    const std::uint8_t width = FuzzTake(in);
    if (width < 160) return FuzzTake(in);
    if (width < 224) return FuzzTake32(in) & 0xFFFF;
    const WPARAM low = FuzzTake32(in);
    const WPARAM high = FuzzTake32(in);
    return (high << 32) | low;
}

// The first inconsistency after a message, or null. `before` is the key's time stamp before a key-down.
inline const char* InputRecordFault(UINT message, WPARAM wParam, int before) {
    for (unsigned char k : keys)
        if (k > 1) return "a key flag other than 0 or 1";
    if (wParam < 256 && message == WM_KEYUP && keys[wParam] != 0) return "key-up left the flag set";
    if (wParam < 256 && message == WM_KEYDOWN && (ClockManualMs - before) / 1000.0 >= S.KeyDelay &&
        (keys[wParam] != 1 || keys_t[wParam] != ClockManualMs))
        return "a key-down after the key delay was not accepted";
    if (Mouse.PosX < 0 || Mouse.PosX > FS_X || Mouse.PosY < 0 || Mouse.PosY > FS_Y)
        return "overlay cursor outside the overlay";
    if ((Mouse.LButton | Mouse.RButton) & ~1) return "button state other than 0 or 1";
    if ((Mouse.LClick && !Mouse.LButton) || (Mouse.RClick && !Mouse.RButton)) return "click without a held button";
    if (Mouse.Wheel < -32768 || Mouse.Wheel > 32767) return "wheel delta beyond 16 bits";
    if (!std::isfinite(Mouse.SumX) || !std::isfinite(Mouse.SumY) || !std::isfinite(Mouse.X) ||
        !std::isfinite(Mouse.Y))
        return "mouse record not finite";
    if (message == WM_ACTIVATE && active != (((wParam >> 16) & 0xFFFF) == 0))
        return "active does not follow the minimised word";
    return nullptr;
}

// A close request must reach the pump as the quit message; draining the queue also keeps it from
// filling up over a long stream.
inline const char* CloseFault() {
    bool quit = false;
    MSG msg{};
    while (PeekMessage(&msg))
        if (msg.message == WM_QUIT) quit = true;
    return quit ? nullptr : "a close request gave no quit message";
}

// The first fault of one stream, or null.
inline const char* FuzzWndProc(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in{data, size};
    FuzzResetInput();
    static unsigned char keysBefore[sizeof keys];
    static int stampsBefore[sizeof keys_t / sizeof keys_t[0]];
    const char* fault = nullptr;
    for (int n = 0; n < FuzzMaxMessages && in.size > 0 && fault == nullptr; ++n) {
        const std::uint8_t selector = FuzzTake(&in);
        const UINT message = selector < 240 ? FuzzMessages[selector % FuzzMessageKinds] : FuzzTake32(&in);
        const WPARAM wParam = FuzzWParam(&in);
        const LPARAM lParam = static_cast<LPARAM>(static_cast<std::int32_t>(FuzzTake32(&in)));
        ClockManualMs += FuzzTake(&in);
        const int before = wParam < 256 ? keys_t[wParam] : 0;
        // A key code outside the table must leave the whole table alone, flags and stamps alike.
        const bool outside = wParam >= 256 && (message == WM_KEYDOWN || message == WM_KEYUP);
        if (outside) {
            std::memcpy(keysBefore, keys, sizeof keys);
            std::memcpy(stampsBefore, keys_t, sizeof keys_t);
        }
        WndProc(nullptr, message, wParam, lParam);
        fault = InputRecordFault(message, wParam, before);
        if (fault == nullptr && outside &&
            (std::memcmp(keysBefore, keys, sizeof keys) != 0 || std::memcmp(stampsBefore, keys_t, sizeof keys_t) != 0))
            fault = "a key code outside the key table changed the table";
        if (fault == nullptr && message == WM_CLOSE) fault = CloseFault();
    }
    ClockManual = false;
    return fault;
}
