// The gravity kernel's time a pair of stars in every build the CPU runs, on one thread and on every CPU
// the program may use, at the default cloud and the largest: the best of several turns' forces by the
// wall clock. It needs no benchmark library and no clock but the wall's (WebAssembly has no thread
// clock), so that one program measures the native builds and, built for node, the WebAssembly one
// (make bench-web): their figures compare like for like. Run it on a quiet machine.
#include <chrono>
#include <cstdio>

#include "galaxy.h"
#include "utility.h"

#include "bench_cloud.h"

namespace {

constexpr int Clouds[] = {1500, MaxStars};
// Turns timed for each build, thread count and cloud, of which the best counts.
constexpr int Turns = 10;

double BestSeconds(int variant) {
    double best = 0;
    for (int t = 0; t < Turns; ++t) {
        const auto start = std::chrono::steady_clock::now();
        GravityForcesWith(variant);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (best == 0 || seconds < best) best = seconds;
    }
    return best;
}

}  // namespace

int main() {
    KernelStartThreads();
    const int everyCpu = KernelThreads();
    const int threadCounts[] = {1, everyCpu};
    const int threadRuns = everyCpu > 1 ? 2 : 1;
    std::printf("bench_pairs: the kernel's forces, best of %d turns by the wall clock, on 1 and %d threads\n", Turns,
                everyCpu);
    for (const int stars : Clouds) {
        MakeBenchCloud(stars);
        const double pairs = stars * (stars - 1.0) / 2;
        for (int v = 0; v < KernelVariants; ++v) {
            if (!KernelSupported(v)) continue;
            for (int run = 0; run < threadRuns; ++run) {
                KernelSetThreads(threadCounts[run]);
                const double seconds = BestSeconds(v);
                std::printf("  %5d stars  %-8s  %2d threads  %9.3f ms  %6.3f ns a pair\n", stars, KernelName(v),
                            KernelThreads(), seconds * 1e3, seconds / pairs * 1e9);
            }
        }
    }
    KernelStopThreads();
    return 0;
}
