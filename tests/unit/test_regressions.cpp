// Inputs that once broke the prompt, the image decoder or the window procedure, replayed through the
// same checks the fuzz targets apply; and every file of the fuzz corpora, so that the normal and the
// sanitizer build both go over them on every test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/prompt_check.h"
#include "../../fuzz/starsort_check.h"
#include "../../fuzz/tga_check.h"
#include "../../fuzz/wndproc_check.h"

// This test program has no GL context; on Linux it takes the place of the GL's glCallLists, the one
// call that draws a printed text, to see what the program would draw. Windows links the GL through
// opengl32's import table, which a program cannot stand in for.
#ifndef _WIN32
#include <GL/gl.h>
#define KELVRA_SEES_PRINTED_TEXT 1
namespace {
std::string Printed;
int PrintedCount = -1;
}  // namespace

extern "C" void glCallLists(GLsizei n, GLenum type, const GLvoid* lists) {
    PrintedCount = n;
    Printed.assign(type == GL_UNSIGNED_BYTE ? static_cast<const char*>(lists) : "", type == GL_UNSIGNED_BYTE ? n : 0);
}
#endif

namespace {

using Checker = const char* (*)(const std::uint8_t*, std::size_t);

std::filesystem::path CorpusDir(const char* target) {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "corpus" / target;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs every corpus file of a target through its check; returns how many there were.
int ReplayCorpus(const char* target, Checker check) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDir(target))) {
        if (!entry.is_regular_file()) continue;
        const std::vector<std::uint8_t> bytes = ReadFile(entry.path());
        const char* fault = check(bytes.data(), bytes.size());
        EXPECT_EQ(fault, nullptr) << entry.path().filename() << ": " << fault;
        ++files;
    }
    return files;
}

const char* Check(Checker check, const std::vector<std::uint8_t>& bytes) {
    return check(bytes.data(), bytes.size());
}

}  // namespace

TEST(Regressions, CorporaReplayCleanly) {
    EXPECT_GT(ReplayCorpus("prompt", FuzzPrompt), 0);
    EXPECT_GT(ReplayCorpus("tga", FuzzTga), 0);
    EXPECT_GT(ReplayCorpus("wndproc", FuzzWndProc), 0);
    EXPECT_GT(ReplayCorpus("starsort", FuzzStarSort), 0);
}

// The checks themselves must see the faults they are there for, or a clean replay proves nothing.
TEST(Regressions, ChecksNoticeBrokenRecords) {
    InMenuClear();
    INmenu.Active = 1;
    INmenu.TitleLn = 0;  // the clearing keeps the length of an earlier title
    INmenu.MaxLn = 10;
    INmenu.Ln = 3;
    INmenu.Cur = 4;
    std::strcpy(INmenu.Text, "abc");
    EXPECT_NE(PromptRecordFault(3), nullptr);
    INmenu.Cur = 3;
    EXPECT_EQ(PromptRecordFault(3), nullptr);
    INmenu.Text[7] = 'x';
    EXPECT_NE(PromptRecordFault(3), nullptr);
    InMenuClear();

    InitParameters();
    G.NumStars = 1;
    G.Radius = 40 * G.LightYear;
    G.DeltaT = 20000;
    EXPECT_EQ(ParameterFault(), nullptr);
    G.DeltaT = std::nan("");
    EXPECT_NE(ParameterFault(), nullptr);
    InitParameters();

    G.NumStars = 3;
    G.ShipPos = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        Star[i].Alive = 1;
        Star[i].Pos = {static_cast<double>(i + 1), 0, 0};
    }
    G.NumVisible = 3;
    StarIdx[0] = {2, 3.0};
    StarIdx[1] = {1, 2.0};
    StarIdx[2] = {0, 1.0};
    EXPECT_EQ(SortedTableFault(), nullptr);
    StarIdx[2] = {1, 2.0};
    EXPECT_NE(SortedTableFault(), nullptr);
    StarIdx[2] = {0, 1.0};
    std::swap(StarIdx[0], StarIdx[1]);
    EXPECT_NE(SortedTableFault(), nullptr);
    G.NumStars = 0;
    G.NumVisible = 0;
}

// A TGA header of 255 x 255 pixels at 32 bits that is followed by only a few bytes of data: the
// decoder must refuse it rather than copy 260 kB from past the end of the file.
TEST(Regressions, TruncatedImageIsRefused) {
    std::vector<std::uint8_t> file = {3, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 32, 0x20, 1, 2, 3, 4};
    EXPECT_EQ(Check(FuzzTga, file), nullptr);
    TextureImage image{};
    EXPECT_FALSE(EmbDecodeTGA(&image, file.data() + 1, static_cast<long>(file.size() - 1), 3));
    FreeTGA(&image);
}

// Key codes beyond the key table, as a synthetic message or a foreign event source can send them.
TEST(Regressions, KeyCodesBeyondTheTableAreIgnored) {
    // Message: WM_KEYDOWN (selector 3), a full-width wParam of 2^32 + 65, lParam 0, 100 ms later;
    // then WM_KEYUP (4) with the 16-bit code 0x1041.
    std::vector<std::uint8_t> stream = {3, 230, 65, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 100,
                                        4, 200, 0x41, 0x10, 0, 0, 0, 0, 0, 0, 100};
    EXPECT_EQ(Check(FuzzWndProc, stream), nullptr);
    EXPECT_EQ(keys[65], 0);
    // The key-down alone, with no key-up of the same low byte behind it to hide a wrapped code.
    EXPECT_EQ(Check(FuzzWndProc, std::vector<std::uint8_t>(stream.begin(), stream.begin() + 15)), nullptr);
    EXPECT_EQ(keys[65], 0);
    EXPECT_EQ(keys_t[65], 0);
}

// Text far longer than the print buffer, typed or formatted, is cut to the buffer's 255 characters
// (and its terminator) and never written past it; text that is data is never taken as a format; a
// null format or a font out of range draws nothing. Without a GL context, what glPrint hands to the
// GL is caught on its way there (below), and the sanitizer build watches the buffer.
TEST(Regressions, OverlongTextIsCutInThePrintBuffer) {
    const std::string longText(4000, 'x');
    glPrint(3, "%s", longText.c_str());
#ifdef KELVRA_SEES_PRINTED_TEXT
    EXPECT_EQ(PrintedCount, 255);
    EXPECT_EQ(Printed, std::string(255, 'x'));
    PrintedCount = -1;
#endif
    glPrint(3, "%s%s%s", "%n%s", longText.c_str(), longText.c_str());
#ifdef KELVRA_SEES_PRINTED_TEXT
    EXPECT_EQ(PrintedCount, 255);
    EXPECT_EQ(Printed, "%n%s" + std::string(251, 'x'));
    PrintedCount = -1;
#endif
    glPrint(0, nullptr);
    glPrint(7, "%s", "font out of range");
    glPrint(-1, "%s", "font out of range");
#ifdef KELVRA_SEES_PRINTED_TEXT
    EXPECT_EQ(PrintedCount, -1) << "drawn: " << Printed;
#endif
}
