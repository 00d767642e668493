// One turn of direct pairwise gravity: the plain reference loop and the engine's turn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "galaxy.h"
#include "utility.h"

namespace {


void PlaceStar(int i, double solarMasses, strBod pos) {
    strStar& s = Star[i];
    s.Mass = solarMasses * G.SolarMass;
    s.Size = MassSize(s.Mass);
    s.Pos = pos;
    s.Vel = {0, 0, 0};
    s.Force = {0, 0, 0};
    s.Alive = 1;
    MassColor(s.Mass, &s.Color);
}

bool SameVector(const strBod& a, const strBod& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

strBod Cross(const strBod& a, const strBod& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Length(const strBod& v) {
    return dist(v.x, v.y, v.z, 0, 0, 0);
}

// Total momentum of the live stars and the sum of the magnitudes it is made of, kg m/s.
void Momentum(strBod* total, double* scale) {
    *total = {0, 0, 0};
    *scale = 0;
    for (int i = 0; i < G.NumStars; ++i) {
        const strStar& s = Star[i];
        if (s.Alive != 1) continue;
        total->x += s.Mass * s.Vel.x;
        total->y += s.Mass * s.Vel.y;
        total->z += s.Mass * s.Vel.z;
        *scale += s.Mass * Length(s.Vel);
    }
}

// Each case runs through the plain reference loop and through the engine's turn.
class Gravity : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        InitParameters();
        std::memset(Star, 0, sizeof Star);
        G.Radius = G.LightYear;
        G.DeltaT = 1;
    }
    void Turn() {
        if (GetParam() == "Plain") EvolRecalcPlain();
        else EvolRecalc();
    }
    void TwoSolarMassesOneLightYearApart() {
        G.NumStars = 2;
        PlaceStar(0, 1, {-0.5, 0, 0});
        PlaceStar(1, 1, {0.5, 0, 0});
    }
};

}  // namespace

TEST_P(Gravity, TwoSunsALightYearApart) {
    TwoSolarMassesOneLightYearApart();
    Turn();
    const strStar& a = Star[0];
    const strStar& b = Star[1];
    EXPECT_NEAR(a.Force.x, 2.9503e18, 2.9503e18 * 5e-5);
    EXPECT_NEAR(a.Vel.x, 4.6776e-5, 4.6776e-5 * 5e-5);
    EXPECT_NEAR(a.Pos.x - -0.5, 1.5592e-13, 1.5592e-13 * 5e-4);
    EXPECT_EQ(a.Force.y, 0.0);
    EXPECT_EQ(a.Force.z, 0.0);
    EXPECT_EQ(a.Vel.y, 0.0);
    EXPECT_EQ(a.Pos.z, 0.0);
    // Equal and opposite: the same values with the sign turned.
    EXPECT_EQ(b.Force.x, -a.Force.x);
    EXPECT_EQ(b.Vel.x, -a.Vel.x);
    EXPECT_EQ(b.Pos.x, -a.Pos.x);
}

TEST_P(Gravity, ForceFallsWithTheSquareOfTheDistanceAndGrowsWithTheMasses) {
    TwoSolarMassesOneLightYearApart();
    Turn();
    const double near = Star[0].Force.x;

    PlaceStar(0, 1, {-1, 0, 0});
    PlaceStar(1, 1, {1, 0, 0});
    Turn();
    EXPECT_NEAR(Star[0].Force.x, near / 4, near * 1e-14);

    PlaceStar(0, 3, {-0.5, 0, 0});
    PlaceStar(1, 2, {0.5, 0, 0});
    Turn();
    EXPECT_NEAR(Star[0].Force.x, near * 6, near * 1e-14);
    EXPECT_EQ(Star[1].Force.x, -Star[0].Force.x);
    // The lighter star is pulled faster.
    EXPECT_NEAR(-Star[1].Vel.x / Star[0].Vel.x, 1.5, 1e-14);
}

TEST_P(Gravity, ForcesAreClearedAtTheStartOfEveryTurn) {
    TwoSolarMassesOneLightYearApart();
    Turn();
    const strStar clean = Star[0];
    TwoSolarMassesOneLightYearApart();
    Star[0].Force = {1e30, -1e30, 5};
    Star[1].Force = {-7, 3, 1e25};
    Turn();
    EXPECT_TRUE(SameVector(Star[0].Force, clean.Force));
    EXPECT_TRUE(SameVector(Star[0].Vel, clean.Vel));
    EXPECT_TRUE(SameVector(Star[0].Pos, clean.Pos));
}

TEST_P(Gravity, TheStepInSecondsScalesTheTurn) {
    TwoSolarMassesOneLightYearApart();
    Turn();
    const double velocity = Star[0].Vel.x;
    const double move = Star[0].Pos.x + 0.5;

    TwoSolarMassesOneLightYearApart();
    G.DeltaT = 1000;
    Turn();
    EXPECT_NEAR(Star[0].Vel.x, velocity * 1000, velocity * 1000 * 1e-12);
    // Velocity and displacement both scale with the step: a million times the distance.
    EXPECT_NEAR(Star[0].Pos.x + 0.5, move * 1e6, move * 1e6 * 1e-3);
}

// Explicit Euler would leave a star at rest in place for its first turn; here it already moves.
TEST_P(Gravity, PositionMovesWithTheNewVelocity) {
    G.NumStars = 2;
    PlaceStar(0, 1, {0, 0, 0});
    PlaceStar(1, 1, {1, 0, 0});
    const double dt = TurnSeconds();
    Turn();
    ASSERT_GT(Star[0].Pos.x, 0.0);
    EXPECT_NEAR(Star[0].Pos.x, Star[0].Vel.x * dt / G.Radius, 1e-12 * Star[0].Pos.x);

    const double before = Star[0].Pos.x;
    Turn();
    EXPECT_NEAR(Star[0].Pos.x - before, Star[0].Vel.x * dt / G.Radius, 1e-9 * before);
}

TEST_P(Gravity, ALoneStarNeverMoves) {
    G.NumStars = 1;
    PlaceStar(0, 5, {0.25, -0.5, 0.125});
    for (int t = 0; t < 100; ++t) Turn();
    EXPECT_TRUE(SameVector(Star[0].Pos, {0.25, -0.5, 0.125}));
    EXPECT_TRUE(SameVector(Star[0].Vel, {0, 0, 0}));
    EXPECT_TRUE(SameVector(Star[0].Force, {0, 0, 0}));
}

TEST_P(Gravity, CoincidingStarsExertNothingOnEachOther) {
    G.NumStars = 2;
    PlaceStar(0, 1, {0.3, 0.3, 0.3});
    PlaceStar(1, 2, {0.3, 0.3, 0.3});
    Turn();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(SameVector(Star[i].Force, {0, 0, 0}));
        EXPECT_TRUE(SameVector(Star[i].Vel, {0, 0, 0}));
        EXPECT_TRUE(SameVector(Star[i].Pos, {0.3, 0.3, 0.3}));
    }
}

TEST_P(Gravity, CoincidingStarsPullAThirdLikeOneOfTheirJointMass) {
    G.NumStars = 2;
    PlaceStar(0, 2, {0, 0, 0});
    PlaceStar(1, 1, {0.6, 0.8, 0});
    Turn();
    const strStar joint = Star[1];

    G.NumStars = 3;
    PlaceStar(0, 1, {0, 0, 0});
    PlaceStar(1, 1, {0, 0, 0});
    PlaceStar(2, 1, {0.6, 0.8, 0});
    Turn();
    EXPECT_NEAR(Star[2].Force.x, joint.Force.x, std::fabs(joint.Force.x) * 1e-14);
    EXPECT_NEAR(Star[2].Force.y, joint.Force.y, std::fabs(joint.Force.y) * 1e-14);
    EXPECT_TRUE(std::isfinite(Star[0].Pos.x) && std::isfinite(Star[1].Pos.x));
}

// Stars whose separation in metres squares to zero are as good as coinciding: no infinite pull.
TEST_P(Gravity, StarsTooCloseForTheSquaredDistanceExertNothing) {
    G.NumStars = 2;
    PlaceStar(0, 1, {0, 0, 0});
    PlaceStar(1, 1, {1e-300, 0, 0});
    Turn();
    EXPECT_TRUE(SameVector(Star[0].Force, {0, 0, 0}));
    EXPECT_TRUE(SameVector(Star[1].Force, {0, 0, 0}));
    EXPECT_TRUE(SameVector(Star[1].Pos, {1e-300, 0, 0}));
}

TEST_P(Gravity, ADeadStarNeitherMovesNorPulls) {
    TwoSolarMassesOneLightYearApart();
    Turn();
    const strStar a = Star[0], b = Star[1];

    G.NumStars = 3;
    PlaceStar(0, 1, {-0.5, 0, 0});
    PlaceStar(1, 10, {0, 0.1, 0});
    PlaceStar(2, 1, {0.5, 0, 0});
    Star[1].Alive = 0;
    Star[1].Vel = {100, 200, 300};
    Star[1].Force = {9, 9, 9};
    Turn();
    EXPECT_TRUE(SameVector(Star[0].Pos, a.Pos));
    EXPECT_TRUE(SameVector(Star[0].Vel, a.Vel));
    EXPECT_TRUE(SameVector(Star[2].Pos, b.Pos));
    EXPECT_TRUE(SameVector(Star[2].Vel, b.Vel));
    EXPECT_TRUE(SameVector(Star[1].Pos, {0, 0.1, 0}));
    EXPECT_TRUE(SameVector(Star[1].Vel, {100, 200, 300}));
    EXPECT_TRUE(SameVector(Star[1].Force, {0, 0, 0}));
    EXPECT_EQ(Star[1].Alive, 0);
}

TEST_P(Gravity, StarsBeyondTheCountTakeNoPart) {
    TwoSolarMassesOneLightYearApart();
    PlaceStar(2, 50, {0, 0.2, 0});
    Turn();
    EXPECT_EQ(Star[0].Force.y, 0.0);
    EXPECT_TRUE(SameVector(Star[2].Pos, {0, 0.2, 0}));
    EXPECT_TRUE(SameVector(Star[2].Force, {0, 0, 0}));
}

TEST_P(Gravity, FirstTurnFromRestMovesEachStarAlongItsForce) {
    G.NumStars = 200;
    RandSeed(31337);
    GenerateGalaxy();
    G.Radius = 40 * G.LightYear;
    G.DeltaT = 20000;
    static strStar start[MaxStars];
    std::memcpy(start, Star, sizeof start);
    Turn();
    for (int i = 0; i < G.NumStars; ++i) {
        const strStar& s = Star[i];
        const strBod move = {s.Pos.x - start[i].Pos.x, s.Pos.y - start[i].Pos.y, s.Pos.z - start[i].Pos.z};
        SCOPED_TRACE(i);
        ASSERT_GT(Length(s.Force), 0.0);
        EXPECT_LE(Length(Cross(s.Vel, s.Force)), 1e-12 * Length(s.Vel) * Length(s.Force));
        EXPECT_LE(Length(Cross(move, s.Force)), 1e-6 * Length(move) * Length(s.Force));
    }
}

TEST_P(Gravity, MomentumIsConservedOverManyTurns) {
    G.NumStars = 60;
    RandSeed(2718);
    GenerateGalaxy();
    G.Radius = 40 * G.LightYear;
    G.DeltaT = 1e6;
    const strBod start = Star[0].Pos;
    for (int t = 0; t < 300; ++t) Turn();
    strBod total;
    double scale;
    Momentum(&total, &scale);
    ASSERT_GT(Length({Star[0].Pos.x - start.x, Star[0].Pos.y - start.y, Star[0].Pos.z - start.z}), 0.01);
    EXPECT_LE(Length(total), 1e-12 * scale);
}

TEST_P(Gravity, ABlownUpCloudKeepsIntegratingWithoutFaults) {
    G.NumStars = 300;
    RandSeed(1);
    GenerateGalaxy();
    G.Radius = static_cast<double>(0.01f) * G.LightYear;
    G.DeltaT = 1e9;
    for (int t = 0; t < 20; ++t) Turn();
    int wild = 0;
    for (int i = 0; i < G.NumStars; ++i) {
        const strBod& p = Star[i].Pos;
        wild += !std::isfinite(p.x) || std::fabs(p.x) > 1e6;
        ASSERT_EQ(Star[i].Alive, 1);
    }
    EXPECT_GT(wild, 0);
}

// A star whose position is no longer a number has no defined distance and pulls nobody.
TEST_P(Gravity, AStarLostToNotANumberPullsNobody) {
    TwoSolarMassesOneLightYearApart();
    Turn();
    const strStar a = Star[0];

    G.NumStars = 3;
    PlaceStar(0, 1, {-0.5, 0, 0});
    PlaceStar(1, 1, {0.5, 0, 0});
    PlaceStar(2, 1, {std::nan(""), 0, 0});
    Turn();
    EXPECT_TRUE(SameVector(Star[0].Pos, a.Pos));
    EXPECT_TRUE(SameVector(Star[0].Force, a.Force));
}

INSTANTIATE_TEST_SUITE_P(Turns, Gravity, ::testing::Values("Plain", "Engine"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });
