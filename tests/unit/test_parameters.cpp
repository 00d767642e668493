// The initial parameters and the rule that turns each setup prompt's answer into a parameter: the
// defaults of a cancelled or empty prompt, the leading-number reading and the clamps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "galaxy.h"
#include "utility.h"

namespace {

constexpr int Cancelled = -1;
// The lower clamp of the radius and time-step prompts: 0.01 as a single-precision value.
constexpr double LowerBound = static_cast<double>(0.01f);

enum Prompt { Stars = 0, RadiusLy = 1, TimeStep = 2, SeedPrompt = 3 };

class ParametersTest : public ::testing::Test {
protected:
    void SetUp() override {
        G = strGlobal{};
        InitParameters();
    }
    // Answers a prompt with Enter (the result is the text's length) or cancels it.
    static void Answer(Prompt prompt, const char* text) {
        ApplyPromptAnswer(prompt, static_cast<int>(std::strlen(text)), text);
    }
    static void Cancel(Prompt prompt, const char* text) { ApplyPromptAnswer(prompt, Cancelled, text); }
};

TEST_F(ParametersTest, InitialParametersBeforeThePrompts) {
    G.Seed = 1234;
    G.NumVisible = 77;
    G.Turn = 5;
    G.Pause = 1;
    G.NumStars = 9;
    InitParameters();
    EXPECT_EQ(G.NumStars, 0);
    EXPECT_EQ(G.Turn, 0);
    EXPECT_EQ(G.Pause, 0);
    EXPECT_EQ(G.DeltaT, 1.0);
    EXPECT_EQ(G.GravConst, 6.674 * std::pow(10.0, -11));
    EXPECT_EQ(G.SolarMass, 1.9891e30);
    EXPECT_EQ(G.LightYear, 9.4605284e15);
    EXPECT_EQ(G.Radius, 4.7302642e17);
    EXPECT_NEAR(G.Radius / G.LightYear, 50.0, 1e-12);
    EXPECT_EQ(G.Seed, 1234) << "the start-up seed stays";
    EXPECT_EQ(G.NumVisible, 77);
}

TEST_F(ParametersTest, StarCountIsClampedToOneToMaxStars) {
    struct Row {
        const char* text;
        int stars;
    };
    const Row rows[] = {{"0", 1},         {"-5", 1},       {"abc", 1},   {"20000", MaxStars},
                        {"10000", 10000}, {"1", 1},        {"250", 250}, {"12x", 12},
                        {" 7", 7},        {"99999999999", MaxStars}, {"-99999999999", 1}};
    for (const Row& row : rows) {
        G.NumStars = -3;
        Answer(Stars, row.text);
        EXPECT_EQ(G.NumStars, row.stars) << '"' << row.text << '"';
    }
}

TEST_F(ParametersTest, CancelledOrEmptyStarPromptTakesTheDefault) {
    Answer(Stars, "");
    EXPECT_EQ(G.NumStars, 1500);
    G.NumStars = 3;
    Cancel(Stars, "20000");
    EXPECT_EQ(G.NumStars, 1500);
}

TEST_F(ParametersTest, RadiusInLightYearsIsClamped) {
    const double ly = G.LightYear;
    Answer(RadiusLy, "0");
    EXPECT_EQ(G.Radius, LowerBound * ly);
    EXPECT_EQ(G.Radius / ly, LowerBound);
    Answer(RadiusLy, "2e9");
    EXPECT_EQ(G.Radius, 1e9 * ly);
    Answer(RadiusLy, "1e9");
    EXPECT_EQ(G.Radius, 1e9 * ly) << "a value at the bound stays";
    Answer(RadiusLy, "12.5");
    EXPECT_EQ(G.Radius, 12.5 * ly);
    Answer(RadiusLy, "-3");
    EXPECT_EQ(G.Radius, LowerBound * ly);
    Answer(RadiusLy, "nan");
    EXPECT_EQ(G.Radius, LowerBound * ly) << "no number is no radius";
}

TEST_F(ParametersTest, CancelledOrEmptyRadiusIsFortyLightYears) {
    Cancel(RadiusLy, "0");
    EXPECT_EQ(G.Radius, 40.0 * G.LightYear);
    EXPECT_NEAR(G.Radius / G.LightYear, 40.0, 1e-12);
    G.Radius = 1;
    Answer(RadiusLy, "");
    EXPECT_EQ(G.Radius, 40.0 * G.LightYear);
}

TEST_F(ParametersTest, TimeStepInYearsIsClamped) {
    Answer(TimeStep, "0");
    EXPECT_EQ(G.DeltaT, 0.009999999776482582);
    Answer(TimeStep, "abc");
    EXPECT_EQ(G.DeltaT, 0.009999999776482582);
    Answer(TimeStep, "2e9");
    EXPECT_EQ(G.DeltaT, 1e9);
    Answer(TimeStep, "0.5");
    EXPECT_EQ(G.DeltaT, 0.5);
    Answer(TimeStep, "0.01");
    EXPECT_EQ(G.DeltaT, 0.01) << "the double 0.01 lies above the single-precision bound";
    Cancel(TimeStep, "5");
    EXPECT_EQ(G.DeltaT, 20000.0);
    G.DeltaT = 3;
    Answer(TimeStep, "");
    EXPECT_EQ(G.DeltaT, 20000.0);
}

// The next `n` values of the generator, to compare sequences.
std::vector<int> NextValues(int n) {
    std::vector<int> values;
    for (int i = 0; i < n; ++i) values.push_back(RandNext());
    return values;
}

TEST_F(ParametersTest, TypedSeedRestartsTheSequence) {
    RandSeed(42);
    const std::vector<int> fresh = NextValues(3);

    RandSeed(7);
    NextValues(5);
    Answer(SeedPrompt, "42");
    EXPECT_EQ(G.Seed, 42);
    EXPECT_EQ(NextValues(3), fresh);

    Answer(SeedPrompt, "abc");
    EXPECT_EQ(G.Seed, 0);
    const std::vector<int> afterZero = NextValues(3);
    RandSeed(0);
    EXPECT_EQ(NextValues(3), afterZero);
}

TEST_F(ParametersTest, EmptyOrCancelledSeedKeepsTheSeedAndTheSequenceBegun) {
    G.Seed = 1999;
    RandSeed(1999);
    NextValues(2);
    const std::vector<int> expected = NextValues(3);

    RandSeed(1999);
    NextValues(2);
    Answer(SeedPrompt, "");
    Cancel(SeedPrompt, "42");
    EXPECT_EQ(G.Seed, 1999);
    EXPECT_EQ(NextValues(3), expected);
}

}  // namespace
