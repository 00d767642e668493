// The cloud the gravity benchmarks time: the prompts' default radius and time step, with a seed of the
// benchmark's own, so that bench_kernel's figures and bench_pairs' (natively and in node) are of one
// cloud.
#pragma once

#include "galaxy.h"
#include "utility.h"

constexpr double BenchRadiusLy = 40.0;         // the radius prompt's default
constexpr double BenchDeltaTYears = 20000.0;   // the time-step prompt's default
constexpr unsigned int BenchSeed = 12345;

inline void MakeBenchCloud(int stars, unsigned int seed = BenchSeed) {
    InitParameters();
    G.NumStars = stars;
    G.Radius = BenchRadiusLy * G.LightYear;
    G.DeltaT = BenchDeltaTYears;
    RandSeed(seed);
    GenerateGalaxy();
}
