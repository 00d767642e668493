// The real engine loop of the evolution state at the largest cloud, in the real window (run it under
// Xvfb, where Mesa's llvmpipe renders): a turn, the camera step and a frame whenever the pacer says
// one is due, for a few seconds of wall-clock time, counting the turns. Two combinations: the plain
// loop with the per-star drawing, and the fast kernel with the array draw. The fast one is the
// program's own GameEngine; the plain one repeats its evolution step with EvolRecalcPlain in place
// of EvolRecalc, and DrawPerStar routes the frame through DrawStarField.
#include <chrono>
#include <cstdio>

#include "galaxy.h"
#include "graphics.h"
#include "system.h"
#include "utility.h"

namespace {

constexpr int BenchStars = MaxStars;
constexpr unsigned int BenchSeed = 20240601u;
constexpr double BenchRadiusLy = 40;      // the radius prompt's default
constexpr double BenchDeltaTYears = 20000;  // the time-step prompt's default
constexpr double RunSeconds = 5;          // wall-clock time of each combination

void MakeCloud() {
    InitParameters();
    G.NumStars = BenchStars;
    G.NumVisible = 0;
    G.Radius = BenchRadiusLy * G.LightYear;
    G.DeltaT = BenchDeltaTYears;
    RandSeed(BenchSeed);
    GenerateGalaxy();
    AppState = StateEvolution;
}

// The engine's evolution step with the plain reference loop for the turn.
void PlainStep() {
    ++G.Turn;
    EvolRecalcPlain();
    ShipRecalc();
    AmbrelDoevents();
}

// Turns a second of the given step, run from a fresh cloud for RunSeconds.
double TurnsPerSecond(void (*step)(), int perStar) {
    MakeCloud();
    DrawPerStar = perStar;
    const auto start = std::chrono::steady_clock::now();
    double seconds = 0;
    while (seconds < RunSeconds && Quit == 0) {
        step();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    DrawPerStar = 0;
    return G.Turn / seconds;
}

}  // namespace

int main() {
    if (AmbrelInit() != 0 || GrInit() != 0) {
        std::fprintf(stderr, "bench_engine needs a display: run it under xvfb-run\n");
        return 1;
    }
    std::printf("engine loop, window %d x %d, %d stars, %.0f s each\n", WIN_X, WIN_Y, BenchStars, RunSeconds);
    const double plain = TurnsPerSecond(PlainStep, 1);
    const double fast = TurnsPerSecond(GameEngine, 0);
    GrClose();
    std::printf("  plain kernel + per-star drawing  %6.2f turns/s\n", plain);
    std::printf("  fast kernel + array draw         %6.2f turns/s  %5.2fx faster\n", fast, fast / plain);
    return 0;
}
