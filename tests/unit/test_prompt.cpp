// The prompt's record and its key handling, pass by pass, without a window: keys are set in the key
// table as the window procedure would set them, and one InMenuKeys call is one pump step.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "galaxy.h"
#include "m_input.h"
#include "system.h"

namespace {

class Prompt : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(keys, 0, sizeof keys);
        Quit = 0;
        InMenuClear();
    }
    void TearDown() override {
        std::memset(keys, 0, sizeof keys);
        Quit = 0;
        InMenuClear();
    }

    // Opens the prompt without running its frame loop: with the quit flag set InMenuActivate only
    // fills the record and returns.
    static int Open(const char* text, int maxLn, const char* title = "Value:") {
        Quit = 1;
        const int r = InMenuActivate(3, maxLn, title, text, 0);
        Quit = 0;
        return r;
    }

    // Sets the given keys and runs one pass.
    static void Pass(std::initializer_list<int> codes) {
        for (int c : codes) keys[c] = 1;
        InMenuKeys();
    }

    static std::string Text() { return INmenu.Text; }

    // Everything after the text is zero, as long as the prompt is open.
    static bool TailIsClear() {
        for (int i = INmenu.Ln; i <= InMenuMaxText; ++i)
            if (INmenu.Text[i] != '\0') return false;
        return true;
    }
};

TEST_F(Prompt, ClearResetsTheRecord) {
    Open("1500", 10, "Stars:");
    INmenu.Result = 9;
    InMenuClear();
    EXPECT_EQ(INmenu.Active, 0);
    EXPECT_EQ(INmenu.MaxLn, 50);
    EXPECT_EQ(INmenu.Font, 2);
    EXPECT_EQ(INmenu.Ln, 0);
    EXPECT_EQ(INmenu.Cur, 0);
    EXPECT_EQ(INmenu.Result, 0);
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(INmenu.Title[0], '\0');
    EXPECT_EQ(INmenu.TitleLn, 6) << "the title's length is left as it was";
}

TEST_F(Prompt, ActivateFillsTheRecordAndReturnsAtOnceWhenQuitting) {
    EXPECT_EQ(Open("1500", 10, "Stars (1-10000):"), 0);
    EXPECT_EQ(INmenu.Active, 1) << "a quit request leaves the prompt open";
    EXPECT_EQ(INmenu.Font, 3);
    EXPECT_EQ(INmenu.MaxLn, 10);
    EXPECT_EQ(std::string(INmenu.Title), "Stars (1-10000):");
    EXPECT_EQ(INmenu.TitleLn, 16);
    EXPECT_EQ(Text(), "1500");
    EXPECT_EQ(INmenu.Ln, 4);
    EXPECT_EQ(INmenu.Cur, 4) << "the cursor starts after the initial text";
    EXPECT_EQ(INmenu.Mode, 0);
    EXPECT_TRUE(TailIsClear());
}

TEST_F(Prompt, ActivateCutsLengthsTitleAndText) {
    const std::string longTitle(150, 'T');
    const std::string longText(80, '7');
    Open(longText.c_str(), 70, longTitle.c_str());
    EXPECT_EQ(INmenu.MaxLn, 50);
    EXPECT_EQ(INmenu.TitleLn, 99);
    EXPECT_EQ(std::string(INmenu.Title), std::string(99, 'T'));
    EXPECT_EQ(INmenu.Ln, 50);
    EXPECT_EQ(Text(), std::string(50, '7'));
    Open(nullptr, 10, nullptr);
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(INmenu.TitleLn, 0);
}

TEST_F(Prompt, EnterConfirmsWithTheLength) {
    Open("", 10);
    Pass({VK_RETURN});
    EXPECT_EQ(INmenu.Result, 0);
    EXPECT_EQ(INmenu.Active, 0);
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(keys[VK_RETURN], 0);

    Open("40", 15);
    Pass({'5'});
    Pass({VK_RETURN});
    EXPECT_EQ(INmenu.Result, 3);
    EXPECT_EQ(Text(), "405");
}

TEST_F(Prompt, EscapeCancelsAndEmptiesTheText) {
    Open("1500", 10);
    Pass({'9'});
    Pass({VK_ESCAPE});
    EXPECT_EQ(INmenu.Result, -1);
    EXPECT_EQ(INmenu.Active, 0);
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(INmenu.Ln, 0);
    for (int i = 0; i <= InMenuMaxText; ++i) EXPECT_EQ(INmenu.Text[i], '\0') << i;
}

TEST_F(Prompt, NothingTypedInTheEscapePassComesBack) {
    // Cursor at the start: an overwrite in the same pass must not resurrect the old text.
    Open("1500", 10);
    for (int i = 0; i < 4; ++i) Pass({VK_LEFT});
    Pass({VK_ESCAPE, '7'});
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(INmenu.Result, -1);
    EXPECT_EQ(keys['7'], 0) << "the character is dropped, its key consumed";
    Open("1500", 10);
    Pass({VK_LEFT});
    Pass({VK_ESCAPE, VK_DELETE});
    EXPECT_EQ(Text(), "");
}

TEST_F(Prompt, EnterDoesNotEndThePass) {
    Open("12", 10);
    Pass({VK_RETURN, '3'});
    EXPECT_EQ(INmenu.Result, 2) << "Result is taken before the character";
    EXPECT_EQ(Text(), "123");
    EXPECT_EQ(INmenu.Active, 0);
}

TEST_F(Prompt, CursorStopsAtBothEnds) {
    Open("ab", 10);
    Pass({VK_RIGHT});
    EXPECT_EQ(INmenu.Cur, 2);
    Pass({VK_LEFT});
    Pass({VK_LEFT});
    EXPECT_EQ(INmenu.Cur, 0);
    Pass({VK_LEFT});
    EXPECT_EQ(INmenu.Cur, 0);
    EXPECT_EQ(keys[VK_LEFT], 0);
    Pass({VK_RIGHT});
    EXPECT_EQ(INmenu.Cur, 1);
    EXPECT_EQ(keys[VK_RIGHT], 0);
}

TEST_F(Prompt, RightArrowAlsoStopsAtTheMaximumLength) {
    Open("123456", 4);  // an initial text longer than the maximum stays whole
    EXPECT_EQ(Text(), "123456");
    for (int i = 0; i < 6; ++i) Pass({VK_LEFT});
    for (int i = 0; i < 6; ++i) Pass({VK_RIGHT});
    EXPECT_EQ(INmenu.Cur, 4);
}

TEST_F(Prompt, TypingOverwritesUnderTheCursor) {
    Open("1500", 10);
    Pass({VK_LEFT});
    Pass({VK_LEFT});
    Pass({'7'});
    EXPECT_EQ(Text(), "1570");
    EXPECT_EQ(INmenu.Cur, 3);
    EXPECT_EQ(INmenu.Ln, 4);
    Pass({'8'});
    Pass({'9'});
    EXPECT_EQ(Text(), "15789") << "at the end it appends again";
    EXPECT_EQ(INmenu.Cur, 5);
    EXPECT_TRUE(TailIsClear());
}

TEST_F(Prompt, FullTextDropsTheCharacterButConsumesTheKey) {
    Open("123", 3);
    Pass({'4'});
    EXPECT_EQ(Text(), "123");
    EXPECT_EQ(INmenu.Ln, 3);
    EXPECT_EQ(keys['4'], 0);
}

TEST_F(Prompt, OverlongInitialTextCanOnlyBeOverwrittenUntilShorter) {
    Open("123456", 4);
    Pass({'9'});
    EXPECT_EQ(Text(), "123456");
    Pass({VK_LEFT});
    Pass({'9'});
    EXPECT_EQ(Text(), "123459");
    for (int i = 0; i < 3; ++i) Pass({VK_BACK});
    EXPECT_EQ(Text(), "123");
    Pass({'7'});
    EXPECT_EQ(Text(), "1237");
    Pass({'8'});
    EXPECT_EQ(Text(), "1237");
}

TEST_F(Prompt, DeleteAndBackspace) {
    Open("1500", 10);
    Pass({VK_BACK});
    EXPECT_EQ(Text(), "150");
    EXPECT_EQ(INmenu.Cur, 3);
    Pass({VK_LEFT});
    Pass({VK_LEFT});
    Pass({VK_DELETE});
    EXPECT_EQ(Text(), "10");
    EXPECT_EQ(INmenu.Cur, 1);
    EXPECT_EQ(INmenu.Ln, 2);
    EXPECT_TRUE(TailIsClear());
    Pass({VK_BACK});
    EXPECT_EQ(Text(), "0");
    EXPECT_EQ(INmenu.Cur, 0);
    EXPECT_EQ(keys[VK_BACK], 0);
    EXPECT_EQ(keys[VK_DELETE], 0);
}

TEST_F(Prompt, BackspaceAtStartAndDeleteAtEndChangeNothing) {
    Open("42", 10);
    Pass({VK_DELETE});
    EXPECT_EQ(Text(), "42");
    EXPECT_EQ(INmenu.Cur, 2);
    Pass({VK_LEFT});
    Pass({VK_LEFT});
    Pass({VK_BACK});
    EXPECT_EQ(Text(), "42");
    EXPECT_EQ(INmenu.Cur, 0);
    Open("", 10);
    Pass({VK_BACK});
    Pass({VK_DELETE});
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(INmenu.Ln, 0);
}

TEST_F(Prompt, DeletionEndsThePassBeforeAnyCharacter) {
    Open("12", 10);
    Pass({VK_BACK, '5'});
    EXPECT_EQ(Text(), "1");
    EXPECT_EQ(keys['5'], 1) << "the character waits for the next pass";
    Pass({});
    EXPECT_EQ(Text(), "15");
    // Even a deletion that changed nothing ends the pass.
    Pass({VK_DELETE, '6'});
    EXPECT_EQ(Text(), "15");
    EXPECT_EQ(keys['6'], 1);
}

TEST_F(Prompt, LettersAndShift) {
    Open("", 20);
    Pass({'A'});
    keys[VK_SHIFT] = 1;
    Pass({'B'});
    Pass({'7'});
    keys[VK_SHIFT] = 0;
    Pass({'Z'});
    EXPECT_EQ(Text(), "aB7z");
}

TEST_F(Prompt, HighestCodeFirstOnePerPass) {
    Open("", 20);
    Pass({'1', '9', '5'});
    EXPECT_EQ(Text(), "9");
    EXPECT_EQ(keys['1'], 1);
    EXPECT_EQ(keys['5'], 1);
    Pass({});
    Pass({});
    EXPECT_EQ(Text(), "951");
    Pass({});
    EXPECT_EQ(Text(), "951");
}

TEST_F(Prompt, FullStopKeys) {
    Open("", 20);
    Pass({VK_OEM_PERIOD});
    Pass({VK_DECIMAL});
    EXPECT_EQ(Text(), "..");
    EXPECT_EQ(keys[VK_OEM_PERIOD], 0);
    EXPECT_EQ(keys[VK_DECIMAL], 0);
    // A character key held at the same time wins; the full stop is consumed with it.
    Pass({VK_OEM_PERIOD, '3'});
    EXPECT_EQ(Text(), "..3");
    EXPECT_EQ(keys[VK_OEM_PERIOD], 0);
}

TEST_F(Prompt, NumericPadTypesDigits) {
    Open("", 20);
    for (int code = 96; code <= 105; ++code) Pass({code});
    EXPECT_EQ(Text(), "0123456789");
    for (int code = 96; code <= 105; ++code) EXPECT_EQ(keys[code], 0) << code;
    // Held together with a letter, the pad digit has the higher code and comes first.
    Pass({VK_BACK});
    Pass({'A', 97});
    Pass({});
    EXPECT_EQ(Text(), "0123456781a");
}

TEST_F(Prompt, MinusKeysAndPadOperatorsTypeWhatTheyShow) {
    Open("", 20);
    Pass({189});  // minus on the main keyboard
    Pass({109});  // pad minus
    Pass({107});  // pad plus
    Pass({106});  // pad multiply
    Pass({111});  // pad divide
    EXPECT_EQ(Text(), "--+*/");
    EXPECT_EQ(keys[189], 0);
    // A character key held at the same time wins; the minus is consumed with it.
    Pass({189, '7'});
    EXPECT_EQ(Text(), "--+*/7");
    EXPECT_EQ(keys[189], 0);
}

TEST_F(Prompt, OtherKeysTypeTheCharacterOfTheirCode) {
    Open("", 20);
    Pass({36});   // Home
    Pass({45});   // Insert
    Pass({112});  // F1
    Pass({VK_SPACE});
    EXPECT_EQ(Text(), "$-p ");
}

TEST_F(Prompt, ArrowsNeverTypeAndUpDownDoNothing) {
    Open("ab", 10);
    Pass({VK_UP});
    Pass({VK_DOWN});
    EXPECT_EQ(Text(), "ab");
    EXPECT_EQ(INmenu.Cur, 2);
    EXPECT_EQ(keys[VK_UP], 0);
    EXPECT_EQ(keys[VK_DOWN], 0);
    Pass({VK_LEFT, VK_RIGHT});
    EXPECT_EQ(Text(), "ab");
}

TEST_F(Prompt, KeysBelowTheCharacterRangeAreLeftAlone) {
    Open("", 10);
    Pass({VK_SHIFT, 17, 9});
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(keys[VK_SHIFT], 1);
    EXPECT_EQ(keys[17], 1);
    EXPECT_EQ(keys[9], 1);
}

TEST_F(Prompt, DeactivateClearsTheClicks) {
    Open("", 10);
    Mouse.LClick = Mouse.RClick = Mouse.LDblClick = Mouse.RDblClick = 1;
    Mouse.Wheel = 120;
    Mouse.LButton = 1;
    InMenuDeactivate();
    EXPECT_EQ(INmenu.Active, 0);
    EXPECT_EQ(Mouse.LClick + Mouse.RClick + Mouse.LDblClick + Mouse.RDblClick + Mouse.Wheel, 0);
    EXPECT_EQ(Mouse.LButton, 1);
    Mouse = strMouse{};
}

}  // namespace
