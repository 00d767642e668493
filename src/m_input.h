// m_input: the one-line text prompt through which the user types the parameters of a run.
#pragma once

// Longest text of the prompt, characters.
constexpr int InMenuMaxText = 50;
// Longest title of the prompt, characters.
constexpr int InMenuMaxTitle = 99;

// The prompt record.
struct strInMenu {
    int Active;    // 1 while the prompt is open
    int MaxLn;     // maximum text length, at most InMenuMaxText
    int Font;      // font index 0 to 4
    int Ln;        // current text length
    int TitleLn;   // length of Title
    int Cur;       // cursor: index of the character the next one replaces, or Ln to append
    int Result;    // Ln when closed with Enter, -1 when closed with Escape
    int Mode;      // entry mode; 0 is plain text
    char Text[InMenuMaxText + 1];
    char Title[InMenuMaxTitle + 1];
};

// The one prompt of the program.
extern strInMenu INmenu;

// Resets the record to a closed, empty prompt.
void InMenuClear();
// Opens the prompt and runs frames until it closes or Quit is set; returns Result.
int InMenuActivate(int font, int maxLn, const char* title, const char* text, int mode);
// Closes the prompt and clears the mouse clicks.
void InMenuDeactivate();
// One pass of key handling: cursor, Enter, Escape, Delete, Backspace and one typed character.
void InMenuKeys();
// Draws the prompt box over the current frame.
void InMenuDraw();
