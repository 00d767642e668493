// The per-frame camera work: rebuilding the view matrix with its inverse, and a key step with every
// turn key held. Both run at least once per drawn frame and must stay negligible beside a turn.
#include <benchmark/benchmark.h>

#include <cstring>

#include "galaxy.h"
#include "graphics.h"
#include "system.h"

namespace {

void BM_CreateViewMatrix(benchmark::State& state) {
    InitParameters();
    strBod axis = {0.3, -0.5, 0.8};
    Rotate(37, &axis, &G.ShipRight);
    Rotate(37, &axis, &G.ShipUp);
    Rotate(37, &axis, &G.ShipBack);
    for (auto _ : state) {
        CreateViewMatrix();
        benchmark::DoNotOptimize(G.ViewMatrixInv);
    }
}
BENCHMARK(BM_CreateViewMatrix);

void BM_EvolutionKeysAllTurns(benchmark::State& state) {
    InitParameters();
    std::memset(keys, 0, sizeof keys);
    for (int key : {VK_LEFT, VK_UP, int{'Q'}, int{'A'}}) keys[key] = 1;
    ClockManual = true;
    ClockManualMs = 0;
    LastPlayer = 0;
    for (auto _ : state) {
        ++ClockManualMs;
        Mouse.SumX = 3;
        Mouse.SumY = -2;
        EvolutionKeys();
        benchmark::DoNotOptimize(G.ShipBack);
    }
    std::memset(keys, 0, sizeof keys);
}
BENCHMARK(BM_EvolutionKeysAllTurns);

}  // namespace

BENCHMARK_MAIN();
