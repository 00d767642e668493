// The one-line text prompt: a titled box in the middle of the window in which the user types one
// value, confirmed with Enter or cancelled with Escape. Typing overwrites under the cursor.
#include "m_input.h"

#include <GL/gl.h>

#include <cstring>

#include "galaxy.h"
#include "graphics.h"
#include "system.h"

strInMenu INmenu;

namespace {

constexpr int DefaultFont = 2;
constexpr int LastFont = 4;
constexpr int FirstCharCode = 32;
constexpr int LastCharCode = 126;
constexpr int NumPadFirstDigit = 96;  // numeric pad 0; 97 to 105 are 1 to 9
constexpr int NumPadLastDigit = 105;
constexpr int NumPadMultiply = 106;
constexpr int NumPadAdd = 107;
constexpr int NumPadSubtract = 109;
constexpr int NumPadDivide = 111;
constexpr int MinusKey = 189;  // the main keyboard's minus, outside the range of typed codes
constexpr int CapitalA = 'A';
constexpr int CapitalZ = 'Z';
constexpr int ToSmallLetter = 'a' - 'A';

constexpr float OutlineWidthPx = 3.0f;
constexpr int BaselineDropPx = 5;

// Removes the character at Cur; the text closes up behind it.
void DeleteAtCursor() {
    if (INmenu.Cur >= INmenu.Ln || INmenu.Ln <= 0) return;
    std::memmove(INmenu.Text + INmenu.Cur, INmenu.Text + INmenu.Cur + 1,
                 static_cast<std::size_t>(INmenu.Ln - INmenu.Cur - 1));
    --INmenu.Ln;
    INmenu.Text[INmenu.Ln] = '\0';
}

// A cancelled prompt holds no text at all, so nothing later in the same pass can bring any back.
void Cancel() {
    std::memset(INmenu.Text, 0, sizeof INmenu.Text);
    INmenu.Ln = 0;
    INmenu.Cur = 0;
    INmenu.Result = -1;
    InMenuDeactivate();
}

// The character a key types: its own code, except that the numeric pad types what its keys show,
// so that 1500 or -5 typed there arrive as such and not as letters.
char CharOfKey(int code) {
    if (code >= NumPadFirstDigit && code <= NumPadLastDigit) return static_cast<char>('0' + code - NumPadFirstDigit);
    switch (code) {
    case NumPadMultiply: return '*';
    case NumPadAdd: return '+';
    case NumPadSubtract: return '-';
    case NumPadDivide: return '/';
    default: return static_cast<char>(code);
    }
}

// The key of the character typed in this pass, or -1: the highest character code held wins over the
// full stop and minus keys, which lie outside that range and give *punctuation instead; the other
// keys wait for later passes.
int CandidateKey(char* punctuation) {
    *punctuation = '\0';
    if (TakeKey(VK_DECIMAL)) *punctuation = '.';
    if (TakeKey(VK_OEM_PERIOD)) *punctuation = '.';
    if (TakeKey(MinusKey)) *punctuation = '-';
    for (int code = LastCharCode; code >= FirstCharCode; --code)
        if (keys[code] != 0) return code;
    return -1;
}

// Overwrites the character under the cursor, or appends while there is room; else drops c.
void EnterChar(char c) {
    if (c >= CapitalA && c <= CapitalZ && keys[VK_SHIFT] == 0) c = static_cast<char>(c + ToSmallLetter);
    if (INmenu.Cur < INmenu.Ln) {
        INmenu.Text[INmenu.Cur] = c;
        ++INmenu.Cur;
    } else if (INmenu.Ln < INmenu.MaxLn) {
        INmenu.Text[INmenu.Ln] = c;
        ++INmenu.Ln;
        INmenu.Cur = INmenu.Ln;
    }
}

// Pixel frame of the box: orthographic over the window with y downward, untextured, blended.
void SetPromptState() {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, FS_X, FS_Y, 0, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    BindTexture(0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
}

void PrintAt(float x, float y, const char* text) {
    glRasterPos2f(x, y);
    glPrint(INmenu.Font, "%s", text);
}

}  // namespace

void InMenuClear() {
    INmenu.Active = 0;
    INmenu.MaxLn = InMenuMaxText;
    INmenu.Font = DefaultFont;
    INmenu.Ln = 0;
    INmenu.Cur = 0;
    INmenu.Result = 0;
    INmenu.Text[0] = '\0';
    INmenu.Title[0] = '\0';
}

int InMenuActivate(int font, int maxLn, const char* title, const char* text, int mode) {
    INmenu.Font = font < 0 ? 0 : (font > LastFont ? LastFont : font);
    INmenu.MaxLn = maxLn > InMenuMaxText ? InMenuMaxText : (maxLn < 0 ? 0 : maxLn);
    std::strncpy(INmenu.Title, title ? title : "", InMenuMaxTitle + 1);
    INmenu.Title[InMenuMaxTitle] = '\0';
    INmenu.TitleLn = static_cast<int>(std::strlen(INmenu.Title));
    std::strncpy(INmenu.Text, text ? text : "", InMenuMaxText);
    INmenu.Text[InMenuMaxText] = '\0';
    INmenu.Ln = INmenu.Cur = static_cast<int>(std::strlen(INmenu.Text));
    INmenu.Mode = mode;
    INmenu.Active = 1;
    // The prompt keeps the window alive itself: frames, messages and keys all go through the pacer.
    while (Quit == 0) {
        AmbrelDoevents();
        if (INmenu.Active != 1) break;
    }
    return INmenu.Result;
}

void InMenuDeactivate() {
    INmenu.Active = 0;
    Mouse.LClick = Mouse.RClick = 0;
    Mouse.LDblClick = Mouse.RDblClick = 0;
    Mouse.Wheel = 0;
}

void InMenuKeys() {
    if (TakeKey(VK_LEFT) && INmenu.Cur > 0) --INmenu.Cur;
    if (TakeKey(VK_RIGHT) && INmenu.Cur < INmenu.Ln && INmenu.Cur < INmenu.MaxLn) ++INmenu.Cur;
    const bool cancelled = TakeKey(VK_ESCAPE);
    if (cancelled) Cancel();
    if (TakeKey(VK_RETURN)) {
        INmenu.Result = INmenu.Ln;
        InMenuDeactivate();
    }
    const bool deleted = TakeKey(VK_DELETE);
    if (deleted) DeleteAtCursor();
    const bool backspaced = TakeKey(VK_BACK);
    if (backspaced && INmenu.Cur > 0 && INmenu.Ln > 0) {
        --INmenu.Cur;
        DeleteAtCursor();
    }
    TakeKey(VK_UP);
    TakeKey(VK_DOWN);
    if (deleted || backspaced) return;

    char punctuation = '\0';
    const int key = CandidateKey(&punctuation);
    if (key < 0 && punctuation == '\0') return;
    if (key >= 0) keys[key] = 0;
    if (!cancelled) EnterChar(key >= 0 ? CharOfKey(key) : punctuation);
}

void InMenuDraw() {
    const float s = static_cast<float>(FontSize[INmenu.Font]);
    const float w = CharWidthPerSize * s;
    const int n = INmenu.TitleLn + INmenu.MaxLn + 3;
    const int cx = FS_X / 2;
    const int cy = FS_Y / 2;
    SetPromptState();

    // As wide as the title, the longest text and three characters more, whatever is typed.
    const float left = cx - n * w / 2 - 0.2f * s;
    const float right = cx + n * w / 2 - 0.2f * s;
    const float top = cy - 0.5f * s - s;
    const float bottom = cy + 0.5f * s - 0.2f * s;
    glColor4f(0, 0, 0, 1);
    GLQuad(left, top, right, bottom);
    glColor4f(0.8f, 0.8f, 0, 1);
    GLRect(left, top, right, bottom, OutlineWidthPx);

    const int by = cy - static_cast<int>(0.5f * s) + BaselineDropPx;
    glColor3f(0.8f, 0.8f, 0.8f);
    PrintAt(static_cast<float>(static_cast<int>(left + w)), static_cast<float>(by), INmenu.Title);
    const int vx = static_cast<int>(left + w + (INmenu.TitleLn + 1) * w);
    glColor3f(0.2f, 1.0f, 0.2f);
    PrintAt(static_cast<float>(vx), static_cast<float>(by), INmenu.Text);

    const int x0 = vx + static_cast<int>(INmenu.Cur * w);
    glColor4f(1, 0, 0, 0.3f);
    GLQuad(static_cast<float>(x0), by - s + 0.2f * s, x0 + w, by + 0.2f * s);
}
