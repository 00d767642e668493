// The star field of the largest cloud drawn into the real window (run it under Xvfb, where Mesa's
// llvmpipe renders): the per-star matrix path against the single array draw, and the depth sort
// alone, qsort against the fast sort that starts from the previous frame's order. Every frame is
// finished (glFinish) inside the timing, so the rasterisation counts too. After the runs it prints
// the speed-ups measured in this one run.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "galaxy.h"
#include "graphics.h"
#include "system.h"
#include "utility.h"

namespace {

constexpr int BenchStars = MaxStars;
constexpr int BenchSeed = 2024;
// The camera drifts by about its top speed per frame, so that the order changes as in flight.
constexpr double DriftPerFrame = 0.01;

double BestSeconds[4] = {};  // per-star frame, fast frame, qsort, fast sort

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void KeepBest(int slot, double seconds) {
    if (BestSeconds[slot] == 0 || seconds < BestSeconds[slot]) BestSeconds[slot] = seconds;
}

void MakeCloud() {
    InitParameters();
    AppState = StateEvolution;
    G.NumStars = BenchStars;
    G.NumVisible = 0;
    RandSeed(BenchSeed);
    GenerateGalaxy();
}

void Drift(long frame) {
    G.ShipPos.z = 3 + DriftPerFrame * std::sin(frame * 0.1);
    G.ShipPos.x = DriftPerFrame * std::cos(frame * 0.07);
}

// The evolution frame's star field with the given path, without the overlay.
void DrawField(void (*field)()) {
    BeginStarField();
    field();
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();
}

void TimeFrames(benchmark::State& state, void (*field)(), int slot) {
    MakeCloud();
    ReSizeGLScene(WIN_X, WIN_Y);
    long frame = 0;
    for (auto _ : state) {
        Drift(frame++);
        const auto start = std::chrono::steady_clock::now();
        DrawField(field);
        KeepBest(slot, Seconds(start));
    }
    state.SetItemsProcessed(state.iterations() * BenchStars);
}

void BM_FramePerStar(benchmark::State& state) {
    TimeFrames(state, DrawStarField, 0);
}

void BM_FrameFast(benchmark::State& state) {
    TimeFrames(state, DrawStarFieldFast, 1);
}

// The whole evolution frame as the program draws it, overlay included.
void BM_EvolutionFrame(benchmark::State& state) {
    MakeCloud();
    long frame = 0;
    for (auto _ : state) {
        Drift(frame++);
        GraphicsDrawEvol();
        glFinish();
    }
}

void CollectAndQsort() {
    G.NumVisible = 0;
    for (int i = 0; i < G.NumStars; ++i) {
        const strBod& p = Star[i].Pos;
        StarIdx[G.NumVisible++] = {i, dist(G.ShipPos.x, G.ShipPos.y, G.ShipPos.z, p.x, p.y, p.z)};
    }
    std::qsort(StarIdx, G.NumVisible, sizeof(strStarIdx), StarIdxCompare);
}

void TimeSorts(benchmark::State& state, void (*sort)(), int slot) {
    MakeCloud();
    long frame = 0;
    sort();
    for (auto _ : state) {
        Drift(frame++);
        const auto start = std::chrono::steady_clock::now();
        sort();
        KeepBest(slot, Seconds(start));
    }
    state.SetItemsProcessed(state.iterations() * BenchStars);
}

void BM_SortQsort(benchmark::State& state) {
    TimeSorts(state, CollectAndQsort, 2);
}

void BM_SortFast(benchmark::State& state) {
    TimeSorts(state, SortStarsFast, 3);
}

}  // namespace

BENCHMARK(BM_FramePerStar)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameFast)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EvolutionFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SortQsort)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SortFast)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (AmbrelInit() != 0 || GrInit() != 0) {
        std::fprintf(stderr, "bench_starfield needs a display: run it under xvfb-run\n");
        return 1;
    }
    std::printf("window %d x %d, %d stars\n", WIN_X, WIN_Y, BenchStars);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    GrClose();
    std::printf("\nBest times of this run:\n");
    std::printf("  frame, per-star path  %8.2f ms\n", BestSeconds[0] * 1e3);
    std::printf("  frame, array draw     %8.2f ms  %5.2fx faster\n", BestSeconds[1] * 1e3,
                BestSeconds[0] / BestSeconds[1]);
    std::printf("  sort, qsort           %8.1f us\n", BestSeconds[2] * 1e6);
    std::printf("  sort, previous order  %8.1f us  %5.2fx faster\n", BestSeconds[3] * 1e6,
                BestSeconds[2] / BestSeconds[3]);
    return 0;
}
