// One integration turn at the default star count and at the largest, through the plain reference
// loop and through the engine's turn, the latter on one thread and on every CPU the process may run
// on (threads:0), timed by the wall clock. The cloud is restored before every turn, outside the
// timing, so that each turn starts from the same freshly generated, unblown cloud.
#include <benchmark/benchmark.h>

#include <cstring>

#include <string>

#include "galaxy.h"
#include "system.h"
#include "utility.h"

#include "bench_cloud.h"

namespace {

constexpr unsigned int CloudSeed = 20240601u;

strStar Start[MaxStars];

void PrepareCloud(int stars) {
    MakeBenchCloud(stars, CloudSeed);
    std::memcpy(Start, Star, sizeof(strStar) * stars);
}

void TimeTurns(benchmark::State& state, void (*turn)()) {
    const int stars = static_cast<int>(state.range(0));
    PrepareCloud(stars);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(Star, Start, sizeof(strStar) * stars);
        state.ResumeTiming();
        turn();
        benchmark::DoNotOptimize(Star[0].Pos);
    }
    const double pairs = 0.5 * stars * (stars - 1.0);
    state.counters["pairs"] = pairs;
    state.counters["pairs_per_s"] = benchmark::Counter(pairs, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_TurnPlain(benchmark::State& state) {
    TimeTurns(state, &EvolRecalcPlain);
}

void BM_TurnEngine(benchmark::State& state) {
    KernelSetThreads(state.range(1) == 0 ? CpuCount() : static_cast<int>(state.range(1)));
    state.SetLabel(std::to_string(KernelThreads()) + " threads");
    TimeTurns(state, &EvolRecalc);
    KernelSetThreads(1);
}

}  // namespace

BENCHMARK(BM_TurnPlain)->Arg(1500)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurnEngine)
    ->ArgsProduct({{1500, 10000}, {1, 0}})
    ->ArgNames({"stars", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    KernelStopThreads();
    return 0;
}
