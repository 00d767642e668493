// The gravity turn at the largest cloud: the plain nested loop against the fast kernel in every build
// this CPU runs, and the floor of the kernel's arithmetic: the single-precision seed of 1 / d and its
// refinement to 1 / d^3, a lane at a time at the widest vectors. After the runs it prints each
// build's speed-up over the plain loop and its time as a multiple of that floor, all measured in
// this one run, and names the build the program uses.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <string>

#include "galaxy.h"
#include "utility.h"

namespace {

constexpr int BenchStars = MaxStars;
constexpr double BenchRadiusLy = 40.0;
constexpr double BenchDeltaTYears = 20000.0;
constexpr int BenchSeed = 12345;
constexpr double PairsPerTurn = BenchStars * (BenchStars - 1.0) / 2;
// Doubles of the floor loop: 8 KiB, well inside the first-level cache.
constexpr int FloorLength = 1024;
// Passes over it per measurement, long enough for the thread clock's granularity not to matter.
constexpr int FloorRepeats = 64;

// Best seconds a call seen by each measurement, kept for the summary.
double PlainSeconds = 0;
double KernelSeconds[KernelVariants] = {};
double FloorSecondsPerLane = 0;

void MakeCloud() {
    InitParameters();
    G.NumStars = BenchStars;
    G.Radius = BenchRadiusLy * G.LightYear;
    G.DeltaT = BenchDeltaTYears;
    RandSeed(BenchSeed);
    GenerateGalaxy();
}

// Processor time of this thread: the cores are shared, and time spent on other work must not count.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

void KeepBest(double& best, double seconds) {
    if (best == 0 || seconds < best) best = seconds;
}

void BM_TurnPlain(benchmark::State& state) {
    MakeCloud();
    for (auto _ : state) {
        const double start = ThreadSeconds();
        EvolRecalcPlain();
        KeepBest(PlainSeconds, (ThreadSeconds() - start));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(PairsPerTurn));
}

void BM_ForcesKernel(benchmark::State& state, int variant) {
    MakeCloud();
    for (auto _ : state) {
        const double start = ThreadSeconds();
        GravityForcesWith(variant);
        KeepBest(KernelSeconds[variant], (ThreadSeconds() - start));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(PairsPerTurn));
}

void BM_TurnFast(benchmark::State& state) {
    MakeCloud();
    for (auto _ : state) EvolRecalc();
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(PairsPerTurn));
}

void BM_FloorSeedAndRefinement(benchmark::State& state) {
    const int variant = KernelBest();
    state.SetLabel(KernelName(variant));
    alignas(64) static double in[FloorLength];
    alignas(64) static double out[FloorLength];
    for (int k = 0; k < FloorLength; ++k) in[k] = 1.0 + k * 0.001;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        for (int r = 0; r < FloorRepeats; ++r) {
            KernelFloorWith(variant, in, out, FloorLength);
            benchmark::DoNotOptimize(out);
            benchmark::ClobberMemory();
        }
        const double perLane = (ThreadSeconds() - start) / (FloorLength * FloorRepeats);
        KeepBest(FloorSecondsPerLane, perLane);
    }
    state.SetItemsProcessed(state.iterations() * FloorLength * FloorRepeats);
}

// The kernel is measured in every build this CPU runs.
void RegisterBenchmarks() {
    benchmark::RegisterBenchmark("BM_FloorSeedAndRefinement", BM_FloorSeedAndRefinement);
    benchmark::RegisterBenchmark("BM_TurnPlain", BM_TurnPlain)->Unit(benchmark::kMillisecond)->Iterations(3);
    for (int v = 0; v < KernelVariants; ++v) {
        if (!KernelSupported(v)) continue;
        const std::string name = std::string("BM_ForcesKernel/") + KernelName(v);
        benchmark::RegisterBenchmark(name.c_str(), BM_ForcesKernel, v)->Unit(benchmark::kMillisecond)->Iterations(5);
    }
    benchmark::RegisterBenchmark("BM_TurnFast", BM_TurnFast)->Unit(benchmark::kMillisecond)->Iterations(5);
}

}  // namespace

int main(int argc, char** argv) {
    RegisterBenchmarks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nBest times of this run, %d stars, %.0f pairs:\n", BenchStars, PairsPerTurn);
    std::printf("  plain turn            %8.1f ms  %6.3f ns a pair\n", PlainSeconds * 1e3, PlainSeconds / PairsPerTurn * 1e9);
    std::printf("  floor (%s): seed and refinement  %6.3f ns a lane\n", KernelName(KernelBest()), FloorSecondsPerLane * 1e9);
    for (int v = 0; v < KernelVariants; ++v) {
        if (KernelSeconds[v] == 0) continue;
        const double perPair = KernelSeconds[v] / PairsPerTurn;
        std::printf("  kernel %-8s forces %8.1f ms  %6.3f ns a pair  %5.2fx faster than plain  %4.2fx the floor\n",
                    KernelName(v), KernelSeconds[v] * 1e3, perPair * 1e9, PlainSeconds / KernelSeconds[v],
                    perPair / FloorSecondsPerLane);
    }
    std::printf("  the program uses %s\n", KernelName(KernelBest()));
    return 0;
}
