// The birth of the cloud and the mass laws of colour and size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "galaxy.h"
#include "utility.h"

namespace {

// The mass range of the cloud in solar masses, as single-precision values widened.
const double Lightest = static_cast<double>(0.1f);
const double Heaviest = 20.0;
const double SmallestSize = static_cast<double>(0.002f);

strColor ColorOf(double solarMasses) {
    strColor c = {-1, -1, -1};
    MassColor(solarMasses * G.SolarMass, &c);
    return c;
}

void ExpectColor(double solarMasses, double red, double green, double blue) {
    SCOPED_TRACE(solarMasses);
    const strColor c = ColorOf(solarMasses);
    EXPECT_NEAR(c.Red, red, 1e-6);
    EXPECT_NEAR(c.Green, green, 1e-6);
    EXPECT_NEAR(c.Blue, blue, 1e-6);
}

double SizeOf(double solarMasses) {
    return MassSize(solarMasses * G.SolarMass);
}

// Fills the whole table with a pattern that no generated star can have.
void PoisonStars() {
    std::memset(Star, 0x5A, sizeof Star);
}

bool StarIsPoisoned(int i) {
    strStar poisoned;
    std::memset(&poisoned, 0x5A, sizeof poisoned);
    return std::memcmp(&Star[i], &poisoned, sizeof poisoned) == 0;
}

void Generate(unsigned int seed, int count) {
    G.NumStars = count;
    RandSeed(seed);
    GenerateGalaxy();
}

class Generation : public ::testing::Test {
protected:
    void SetUp() override {
        InitParameters();
        PoisonStars();
    }
};

using MassLaws = Generation;

}  // namespace

TEST_F(MassLaws, ColorOfTheNamedMasses) {
    ExpectColor(0.1, 0.5, 0, 0);
    ExpectColor(0.3, 0.75, 0, 0);
    ExpectColor(0.5, 0.5, 0.25, 0);
    ExpectColor(1.0, 0.75, 0.75, 0);
    ExpectColor(2.6, 0.85, 0.85, 0.85);
    ExpectColor(4.0, 0.7 * 0.58, 0.7 * 0.82, 0.7);
    ExpectColor(12.0, 0.85 * 0.58, 0.85 * 0.82, 0.85);
    ExpectColor(20.0, 0.58, 0.82, 1.0);
}

TEST_F(MassLaws, ColorIsClampedOutsideTheMassRange) {
    const strColor light = ColorOf(0.05);
    const strColor lightest = ColorOf(Lightest);
    EXPECT_EQ(light.Red, lightest.Red);
    EXPECT_EQ(light.Green, lightest.Green);
    EXPECT_EQ(light.Blue, lightest.Blue);
    EXPECT_EQ(ColorOf(0).Red, lightest.Red);

    const strColor heavy = ColorOf(500);
    const strColor heaviest = ColorOf(Heaviest);
    EXPECT_EQ(heavy.Red, heaviest.Red);
    EXPECT_EQ(heavy.Green, heaviest.Green);
    EXPECT_EQ(heavy.Blue, heaviest.Blue);
}

// Each band includes its lower edge and excludes its upper one, so the colour jumps there.
TEST_F(MassLaws, ColorJumpsAtTheBandEdges) {
    const double below = 1 - 1e-7, above = 1 + 1e-7;
    ExpectColor(0.5 * below, 1.0, 0, 0);
    ExpectColor(0.5 * above, 0.5, 0.25, 0);
    ExpectColor(0.8 * below, 1.0, 0.5, 0);
    ExpectColor(0.8 * above, 0.5, 0.5, 0);
    ExpectColor(1.2 * below, 1.0, 1.0, 0);
    ExpectColor(1.2 * above, 0.7, 0.7, 0.7);
    ExpectColor(4.0 * below, 1.0, 1.0, 1.0);
    ExpectColor(4.0 * above, 0.7 * 0.58, 0.7 * 0.82, 0.7);
}

TEST_F(MassLaws, ColorComponentsStayBetweenZeroAndOne) {
    for (double a = 0.01; a < 30; a *= 1.01) {
        const strColor c = ColorOf(a);
        ASSERT_GE(c.Red, 0.0f) << a;
        ASSERT_LE(c.Red, 1.0f) << a;
        ASSERT_GE(c.Green, 0.0f) << a;
        ASSERT_LE(c.Green, 1.0f) << a;
        ASSERT_GE(c.Blue, 0.0f) << a;
        ASSERT_LE(c.Blue, 1.0f) << a;
    }
}

TEST_F(MassLaws, SizeRunsFromOneToTwoSmallestSizes) {
    EXPECT_EQ(SizeOf(Lightest), SmallestSize);
    EXPECT_EQ(SizeOf(0.1), SmallestSize);
    EXPECT_EQ(SizeOf(0.05), SmallestSize);
    EXPECT_EQ(SizeOf(Heaviest), 2 * SmallestSize);
    EXPECT_EQ(SizeOf(100), 2 * SmallestSize);
    EXPECT_NEAR(SizeOf(20), 0.004, 1e-9);
}

TEST_F(MassLaws, SizeGrowsWithTheCubeRootOfTheMass) {
    const double third = static_cast<double>(1.0f / 3.0f);
    const double low = std::pow(Lightest, third), high = std::pow(Heaviest, third);
    for (double a : {0.5, 1.0, 2.6, 4.0, 8.0}) {
        const double share = (SizeOf(a) - SmallestSize) / (2 * SmallestSize - SmallestSize);
        EXPECT_NEAR(share, (std::pow(a, third) - low) / (high - low), 1e-6) << a;
    }
    double previous = 0;
    for (double a = 0.1; a <= 20; a *= 1.05) {
        ASSERT_GT(SizeOf(a), previous) << a;
        previous = SizeOf(a);
    }
}

TEST_F(Generation, EveryStarIsAliveAtRestInsideTheUnitSphere) {
    for (int i = 0; i < MaxStars; ++i) Star[i].Force = {1, 2, 3};
    Generate(4242, MaxStars);
    for (int i = 0; i < MaxStars; ++i) {
        const strStar& s = Star[i];
        SCOPED_TRACE(i);
        ASSERT_EQ(s.Alive, 1);
        ASSERT_LE(dist(s.Pos.x, s.Pos.y, s.Pos.z, 0, 0, 0), 1.0);
        ASSERT_EQ(s.Vel.x, 0.0);
        ASSERT_EQ(s.Vel.y, 0.0);
        ASSERT_EQ(s.Vel.z, 0.0);
        ASSERT_GE(s.Mass, Lightest * G.SolarMass);
        ASSERT_LE(s.Mass, Heaviest * G.SolarMass);
        ASSERT_EQ(s.Force.x, 1.0);
        ASSERT_EQ(s.Force.z, 3.0);
    }
}

TEST_F(Generation, ColourAndSizeFollowTheMass) {
    Generate(17, 2000);
    for (int i = 0; i < 2000; ++i) {
        strColor c;
        MassColor(Star[i].Mass, &c);
        ASSERT_EQ(Star[i].Color.Red, c.Red) << i;
        ASSERT_EQ(Star[i].Color.Green, c.Green) << i;
        ASSERT_EQ(Star[i].Color.Blue, c.Blue) << i;
        ASSERT_EQ(Star[i].Size, MassSize(Star[i].Mass)) << i;
    }
}

TEST_F(Generation, SameSeedGivesTheSameCloud) {
    static strStar first[MaxStars];
    Generate(123456, 3000);
    std::memcpy(first, Star, sizeof first);
    PoisonStars();
    Generate(123456, 3000);
    EXPECT_EQ(std::memcmp(first, Star, 3000 * sizeof(strStar)), 0);

    Generate(123457, 3000);
    EXPECT_NE(first[0].Pos.x, Star[0].Pos.x);
    EXPECT_NE(first[0].Mass, Star[0].Mass);
}

// Per star: three numbers per position attempt, then one for the band, then one for the mass.
TEST_F(Generation, ConsumesTheRandomNumbersInItsOrder) {
    const int count = 20;
    Generate(555, count);
    const int nextAfterCloud = RandNext();

    RandSeed(555);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        double x, y, z;
        do {
            x = drand(-1, 1);
            y = drand(-1, 1);
            z = drand(-1, 1);
        } while (dist(x, y, z, 0, 0, 0) > 1);
        EXPECT_EQ(Star[i].Pos.x, x);
        EXPECT_EQ(Star[i].Pos.y, y);
        EXPECT_EQ(Star[i].Pos.z, z);
        const double band = drand(0, 76.1);
        const double fraction = drand(0, 1);
        const double solarMasses = Star[i].Mass / G.SolarMass;
        // The band number picks the range; the fraction places the mass within it.
        double lo = Lightest, hi = 0.5;
        if (band <= 1) lo = 4, hi = 20;
        else if (band <= static_cast<double>(5.6f)) lo = static_cast<double>(1.2f), hi = 4;
        else if (band <= 17) lo = static_cast<double>(0.8f), hi = static_cast<double>(1.2f);
        else if (band <= static_cast<double>(36.1f)) lo = 0.5, hi = static_cast<double>(0.8f);
        EXPECT_NEAR(solarMasses, lo + fraction * (hi - lo), 1e-12 * hi);
    }
    EXPECT_EQ(RandNext(), nextAfterCloud);
}

TEST_F(Generation, NoStarsForACountOfZeroOrLess) {
    for (int count : {0, -1, -10000}) {
        RandSeed(9);
        const int next = RandNext();
        Generate(9, count);
        EXPECT_EQ(RandNext(), next) << count;
        EXPECT_TRUE(StarIsPoisoned(0)) << count;
    }
}

TEST_F(Generation, WritesOnlyTheCountedStars) {
    Generate(1, 3);
    EXPECT_FALSE(StarIsPoisoned(2));
    EXPECT_TRUE(StarIsPoisoned(3));
    EXPECT_TRUE(StarIsPoisoned(MaxStars - 1));
}

// A count beyond the table cannot write past it: the cloud is the whole table and no more.
TEST_F(Generation, ACountAboveTheTableFillsOnlyTheTable) {
    Generate(64, MaxStars);
    const int nextAfterFullTable = RandNext();
    const strStar last = Star[MaxStars - 1];
    Generate(64, MaxStars + 100);
    EXPECT_EQ(RandNext(), nextAfterFullTable);
    EXPECT_EQ(std::memcmp(&Star[MaxStars - 1], &last, sizeof last), 0);
}

TEST_F(Generation, MassBandSharesFollowTheirWidths) {
    // Band limits of the band number 0 .. 76.1 and their mass ranges' lower ends in solar masses.
    const double limits[] = {1.0, static_cast<double>(5.6f), 17.0, static_cast<double>(36.1f), 76.1};
    const double lows[] = {4.0, static_cast<double>(1.2f), static_cast<double>(0.8f), 0.5, 0.0};
    int counts[5] = {};
    int total = 0;
    for (unsigned int seed = 1; seed <= 10; ++seed) {
        Generate(seed * 7919, MaxStars);
        for (int i = 0; i < MaxStars; ++i) {
            const double a = Star[i].Mass / G.SolarMass;
            int band = 0;
            while (a < lows[band]) ++band;
            ++counts[band];
            ++total;
        }
    }
    double previousLimit = 0;
    for (int band = 0; band < 5; ++band) {
        const double p = (limits[band] - previousLimit) / 76.1;
        previousLimit = limits[band];
        const double sigma = std::sqrt(p * (1 - p) / total);
        EXPECT_NEAR(static_cast<double>(counts[band]) / total, p, 5 * sigma) << "band " << band;
    }
}

TEST_F(Generation, PositionsAreUniformInTheBall) {
    int inner = 0, total = 0;
    double sum[3] = {};
    for (unsigned int seed = 100; seed < 105; ++seed) {
        Generate(seed, MaxStars);
        for (int i = 0; i < MaxStars; ++i) {
            const strBod& p = Star[i].Pos;
            inner += dist(p.x, p.y, p.z, 0, 0, 0) <= 0.5;
            sum[0] += p.x;
            sum[1] += p.y;
            sum[2] += p.z;
            ++total;
        }
    }
    // An eighth of the ball's volume lies within half its radius; each coordinate has variance 1/5.
    const double p = 0.125;
    EXPECT_NEAR(static_cast<double>(inner) / total, p, 5 * std::sqrt(p * (1 - p) / total));
    for (double s : sum) EXPECT_NEAR(s / total, 0.0, 5 * std::sqrt(0.2 / total));
}
