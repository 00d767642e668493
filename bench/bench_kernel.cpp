// The gravity turn at the largest cloud: the plain nested loop against the fast kernel in every build
// this CPU runs, on one thread and on every CPU the process may use, and the floor of the kernel's
// arithmetic: the single-precision seed of 1 / d and its refinement to 1 / d^3, a lane at a time at
// the widest vectors. The best build is also timed at the default cloud of 1,500 stars, where waking
// the workers weighs most. After the runs it prints each build's speed-up over the plain loop, its
// time as a multiple of that floor and its speed-up on the threads, all measured in this one run,
// and names the build the program uses.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "galaxy.h"
#include "system.h"
#include "utility.h"

#include "bench_cloud.h"

namespace {

constexpr int BenchStars = MaxStars;
// The default answer of the star prompt.
constexpr int SmallStars = 1500;
constexpr double PairsPerTurn = BenchStars * (BenchStars - 1.0) / 2;
// Doubles of the floor loop: 8 KiB, well inside the first-level cache.
constexpr int FloorLength = 1024;
// Passes over it per measurement, long enough for the thread clock's granularity not to matter.
constexpr int FloorRepeats = 64;

// Turns timed for each build and thread count, of which the best counts: on a machine shared with
// other work, enough for the threads to meet a moment with their cores free.
constexpr int KernelIterations = 10;
// Thread counts measured: one, and every CPU the process may run on.
constexpr int OneThread = 0;
constexpr int AllThreads = 1;

// Best seconds a call seen by each measurement, kept for the summary.
double PlainSeconds = 0;
double KernelSeconds[KernelVariants][2] = {};
double SmallSeconds[2] = {};
// Processor time of every thread of the process in the best multi-threaded runs: what the threads
// cost in all, against one thread's time, whether or not the machine gave them free cores.
double KernelWork[KernelVariants] = {};
double SmallWork = 0;
double FloorSecondsPerLane = 0;
int ThreadCount[2] = {1, 1};

double Pairs(int stars) {
    return stars * (stars - 1.0) / 2;
}

// Processor time of this thread: the cores are shared, and time spent on other work must not count.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double ProcessSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Wall-clock time, for the runs on several threads.
double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void KeepBest(double& best, double seconds) {
    if (best == 0 || seconds < best) best = seconds;
}

void BM_TurnPlain(benchmark::State& state) {
    MakeBenchCloud(BenchStars);
    for (auto _ : state) {
        const double start = ThreadSeconds();
        EvolRecalcPlain();
        KeepBest(PlainSeconds, (ThreadSeconds() - start));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(PairsPerTurn));
}

// One thread is timed by its own processor time, so that other work on the machine does not count;
// several threads by the wall clock, which is what their speed-up is about.
void TimeForces(benchmark::State& state, int variant, int stars, int threads, double& best, double* work) {
    MakeBenchCloud(stars);
    KernelSetThreads(ThreadCount[threads]);
    state.SetLabel(std::to_string(KernelThreads()) + " threads");
    for (auto _ : state) {
        const double start = threads == OneThread ? ThreadSeconds() : WallSeconds();
        const double processStart = ProcessSeconds();
        GravityForcesWith(variant);
        KeepBest(best, (threads == OneThread ? ThreadSeconds() : WallSeconds()) - start);
        if (work) KeepBest(*work, ProcessSeconds() - processStart);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(Pairs(stars)));
}

void BM_ForcesKernel(benchmark::State& state, int variant, int threads) {
    TimeForces(state, variant, BenchStars, threads, KernelSeconds[variant][threads],
               threads == AllThreads ? &KernelWork[variant] : nullptr);
}

void BM_ForcesSmall(benchmark::State& state, int threads) {
    TimeForces(state, KernelBest(), SmallStars, threads, SmallSeconds[threads], threads == AllThreads ? &SmallWork : nullptr);
}

void BM_TurnFast(benchmark::State& state) {
    MakeBenchCloud(BenchStars);
    KernelSetThreads(ThreadCount[AllThreads]);
    state.SetLabel(std::to_string(KernelThreads()) + " threads");
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
        for (int t = OneThread; t <= AllThreads; ++t) {
            const std::string name = std::string("BM_ForcesKernel/") + KernelName(v) + "/threads:" +
                                     std::to_string(ThreadCount[t]);
            benchmark::RegisterBenchmark(name.c_str(), BM_ForcesKernel, v, t)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(KernelIterations);
        }
    }
    for (int t = OneThread; t <= AllThreads; ++t) {
        const std::string name = std::string("BM_ForcesSmall/") + KernelName(KernelBest()) + "/threads:" +
                                 std::to_string(ThreadCount[t]);
        benchmark::RegisterBenchmark(name.c_str(), BM_ForcesSmall, t)->Unit(benchmark::kMicrosecond)->Iterations(200);
    }
    benchmark::RegisterBenchmark("BM_TurnFast", BM_TurnFast)->Unit(benchmark::kMillisecond)->Iterations(5);
}

}  // namespace

int main(int argc, char** argv) {
    ThreadCount[AllThreads] = CpuCount() < KernelMaxThreads ? CpuCount() : KernelMaxThreads;
    RegisterBenchmarks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    KernelStopThreads();
    std::printf("\nBest times of this run, %d stars, %.0f pairs; one thread by its processor time, %d by the "
                "wall clock:\n", BenchStars, PairsPerTurn, ThreadCount[AllThreads]);
    std::printf("  plain turn            %8.1f ms  %6.3f ns a pair\n", PlainSeconds * 1e3, PlainSeconds / PairsPerTurn * 1e9);
    std::printf("  floor (%s): seed and refinement  %6.3f ns a lane\n", KernelName(KernelBest()), FloorSecondsPerLane * 1e9);
    for (int v = 0; v < KernelVariants; ++v) {
        const double one = KernelSeconds[v][OneThread], all = KernelSeconds[v][AllThreads];
        if (one == 0) continue;
        const double perPair = one / PairsPerTurn;
        std::printf("  kernel %-8s forces, 1 thread  %8.1f ms  %6.3f ns a pair  %5.2fx faster than plain  %4.2fx the floor\n",
                    KernelName(v), one * 1e3, perPair * 1e9, PlainSeconds / one, perPair / FloorSecondsPerLane);
        if (all == 0) continue;
        std::printf("  kernel %-8s forces, %d threads %8.1f ms  %6.3f ns a pair  %5.2fx the speed of 1 thread  "
                    "(processor time of all threads %.1f ms, %4.2fx one thread's)\n",
                    KernelName(v), ThreadCount[AllThreads], all * 1e3, all / PairsPerTurn * 1e9, one / all,
                    KernelWork[v] * 1e3, KernelWork[v] / one);
    }
    std::printf("  %d stars, %s: 1 thread %.3f ms, %d threads %.3f ms: %4.2fx the speed of 1 thread  "
                "(processor time of all threads %.3f ms, %4.2fx one thread's)\n",
                SmallStars, KernelName(KernelBest()), SmallSeconds[OneThread] * 1e3, ThreadCount[AllThreads],
                SmallSeconds[AllThreads] * 1e3, SmallSeconds[OneThread] / SmallSeconds[AllThreads], SmallWork * 1e3,
                SmallWork / SmallSeconds[OneThread]);
    std::printf("  the program uses %s\n", KernelName(KernelBest()));
    return 0;
}
