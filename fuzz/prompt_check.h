// The prompt under arbitrary typing, and the parameter parsing of its answer. Opens the prompt with an
// arbitrary title, initial text and maximum length (with the quit flag set, InMenuActivate performs its
// set-up and returns before its frame loop), presses arbitrary sets of keys pass after pass, and checks
// the record after every pass; then takes the final text as the answer to each setup prompt and checks
// that the parameters stay within their bounds.
#pragma once

#include <cmath>
#include <cstring>

#include "fuzz_input.h"
#include "galaxy.h"
#include "m_input.h"
#include "system.h"

// Longest title and initial text the stream can ask for: beyond the record's buffers, so that the
// cutting is exercised.
constexpr int FuzzTitleBytes = 127;
constexpr int FuzzTextBytes = 63;
// Passes of key handling per input; enough to fill, edit and empty any text several times.
constexpr int FuzzMaxPasses = 2048;

// The first broken invariant of the open or just closed prompt, or null.
inline const char* PromptRecordFault(int initialLn) {
    const int maxLn = INmenu.MaxLn > 0 ? INmenu.MaxLn : 0;
    const int longest = initialLn > maxLn ? initialLn : maxLn;
    if (INmenu.Ln < 0 || INmenu.Ln > longest) return "Ln outside 0..MaxLn (or the initial length)";
    if (INmenu.Ln > InMenuMaxText) return "Ln beyond the text buffer";
    if (INmenu.Cur < 0 || INmenu.Cur > INmenu.Ln) return "Cur outside 0..Ln";
    for (int i = INmenu.Ln; i <= InMenuMaxText; ++i)
        if (INmenu.Text[i] != '\0') return "a byte after the text is not zero";
    if (INmenu.Active == 1 && static_cast<int>(std::strlen(INmenu.Text)) != INmenu.Ln)
        return "the open text is not Ln characters long";
    if (INmenu.Title[InMenuMaxTitle] != '\0') return "Title not zero-terminated";
    if (INmenu.TitleLn != static_cast<int>(std::strlen(INmenu.Title))) return "TitleLn is not the title's length";
    return nullptr;
}

// The first parameter outside its bounds after the answers were taken, or null.
inline const char* ParameterFault() {
    if (G.NumStars < 1 || G.NumStars > MaxStars) return "NumStars outside 1..10000";
    const double low = static_cast<double>(0.01f);
    if (std::isnan(G.Radius) || G.Radius < low * G.LightYear || G.Radius > 1e9 * G.LightYear)
        return "Radius outside 0.01..1e9 light years";
    if (std::isnan(G.DeltaT) || G.DeltaT < low || G.DeltaT > 1e9) return "DeltaT outside 0.01..1e9 years";
    return nullptr;
}

// Opens the prompt as the stream says; returns the length of the initial text as it was taken.
inline int FuzzOpenPrompt(FuzzBytes* in) {
    const int font = FuzzTake(in) % 5;
    const int maxLn = static_cast<signed char>(FuzzTake(in));
    char title[FuzzTitleBytes + 1] = {};
    char text[FuzzTextBytes + 1] = {};
    const int titleLn = FuzzTake(in) % (FuzzTitleBytes + 1);
    for (int i = 0; i < titleLn; ++i) title[i] = static_cast<char>(FuzzTake(in));
    const int textLn = FuzzTake(in) % (FuzzTextBytes + 1);
    for (int i = 0; i < textLn; ++i) text[i] = static_cast<char>(FuzzTake(in));

    std::memset(keys, 0, sizeof keys);
    InMenuClear();
    Quit = 1;
    InMenuActivate(font, maxLn, title, text, 0);
    Quit = 0;
    const int taken = static_cast<int>(std::strlen(text));
    return taken < InMenuMaxText ? taken : InMenuMaxText;
}

// The first fault of one run, or null.
inline const char* FuzzPrompt(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in{data, size};
    const int initialLn = FuzzOpenPrompt(&in);
    if (INmenu.Active != 1) return "the prompt is not open after its set-up";
    if (INmenu.Ln != initialLn || INmenu.Cur != initialLn) return "Ln and Cur do not start after the initial text";
    if (const char* fault = PromptRecordFault(initialLn)) return fault;

    // Each pass: a header byte (bit 7 releases every key first, the low two bits plus one is the
    // number of key codes that follow), then the codes whose flags go up.
    for (int pass = 0; pass < FuzzMaxPasses && in.size > 0 && INmenu.Active == 1; ++pass) {
        const std::uint8_t header = FuzzTake(&in);
        if (header & 0x80) std::memset(keys, 0, sizeof keys);
        for (int k = 0; k <= (header & 3); ++k) keys[FuzzTake(&in)] = 1;
        InMenuKeys();
        if (const char* fault = PromptRecordFault(initialLn)) return fault;
    }

    const int result = INmenu.Active == 1 ? 0 : INmenu.Result;
    InitParameters();
    for (int prompt = 0; prompt < 4; ++prompt) ApplyPromptAnswer(prompt, result, INmenu.Text);
    return ParameterFault();
}
