// The engine loop as the user runs it, in the real window (run it under Xvfb, where Mesa's llvmpipe
// renders): each combination starts the program afresh (AmbrelInit, GrInit: the window, its GL
// context, the fonts and the texture), takes the answers a user gives at 10,000 stars (10000, then
// Return through the other prompts, with a fixed seed in place of the random one), draws the first
// frame as the setup does, and then runs the main loop: a message step, a turn, the camera step and
// a frame whenever the pacer says one is due. After a warm-up (the first frames compile Mesa's
// shaders, and the pacer settles on its rate) it counts turns and drawn frames for a few seconds of
// wall-clock time. The fast combination is the program's own MainLoopStep; the plain one repeats it
// with EvolRecalcPlain in place of EvolRecalc, and DrawPerStar routes the frame through
// DrawStarField, star by star. An argument, when given, is the star count typed in place of 10000: the
// same program built for the page (make bench-web) measures the browser at 1,500 and 10,000 stars.
// Usage: bench_engine [STARS]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "galaxy.h"
#include "graphics.h"
#include "system.h"

namespace {

int BenchStars = MaxStars;
constexpr const char* BenchSeed = "20240601";
// The prompts' own defaults, as Return takes them.
constexpr const char* RadiusAnswerLy = "40";
constexpr const char* DeltaTAnswerYears = "20000";
constexpr double WarmupSeconds = 2;  // wall-clock time run before counting; the pacer rates on ten frames
constexpr double RunSeconds = 5;     // wall-clock time counted of each combination

struct strCombination {
    const char* Name;
    void (*LoopStep)();  // one pass of the main loop
    int PerStar;         // DrawPerStar while it runs
};

struct strLoopFigures {
    double TurnsPerSecond;
    double FramesPerSecond;
};

// The main loop's pass with the plain reference loop for the turn.
void PlainLoopStep() {
    if (SystemMessages() == 1 || !active) return;
    ++G.Turn;
    EvolRecalcPlain();
    ShipRecalc();
    AmbrelDoevents();
}

// The program's start and setup, as WinMain and the prompts run them; false without a window.
bool StartAsTheUser() {
    if (AmbrelInit() != 0 || GrInit() != 0) return false;
    char stars[16];
    std::snprintf(stars, sizeof stars, "%d", BenchStars);
    ApplyPromptAnswer(0, 0, stars);
    ApplyPromptAnswer(1, 0, RadiusAnswerLy);
    ApplyPromptAnswer(2, 0, DeltaTAnswerYears);
    ApplyPromptAnswer(3, 0, BenchSeed);
    StartEvolution();
    return true;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `step` until `seconds` of wall-clock time have passed; counts the turns and drawn frames.
strLoopFigures RunFor(void (*step)(), double seconds) {
    const int firstTurn = G.Turn;
    long frames = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    while (elapsed < seconds && Quit == 0) {
        const int lastDraw = LastDraw;
        step();
        frames += LastDraw != lastDraw ? 1 : 0;
        elapsed = SecondsSince(start);
    }
    return {(G.Turn - firstTurn) / elapsed, frames / elapsed};
}

// One combination from a fresh start of the program; negative figures when no window opened.
strLoopFigures Measure(const strCombination& combination) {
    if (!StartAsTheUser()) return {-1, -1};
    DrawPerStar = combination.PerStar;
    RunFor(combination.LoopStep, WarmupSeconds);
    const strLoopFigures figures = RunFor(combination.LoopStep, RunSeconds);
    DrawPerStar = 0;
    GrClose();
    return figures;
}

// The benchmark; its exit status.
int Run(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::atoi(argv[1]) < 1 || std::atoi(argv[1]) > MaxStars))) {
        std::fprintf(stderr, "usage: bench_engine [STARS]   (1 to %d stars, %d by default)\n", MaxStars, MaxStars);
        return 2;
    }
    if (argc == 2) BenchStars = std::atoi(argv[1]);
    const strCombination program = {"program's main loop (fast kernel, array draw)", MainLoopStep, 0};
    const strCombination plain = {"plain kernel + per-star drawing", PlainLoopStep, 1};
    const char* llvmpipeThreads = std::getenv("LP_NUM_THREADS");
    // The program starts the kernel's threads once, before its main loop; so does each run here.
    KernelStartThreads();
    const int everyCpu = KernelThreads();
    const strLoopFigures fast = Measure(program);
    if (fast.TurnsPerSecond < 0) {
        std::fprintf(stderr, "bench_engine needs a display: run it under xvfb-run\n");
        return 1;
    }
    KernelSetThreads(1);
    const strLoopFigures oneThread = Measure(program);
    KernelSetThreads(everyCpu);
    const strLoopFigures slow = Measure(plain);
    KernelStopThreads();
    std::printf("bench_engine: %d stars, window %d x %d, LP_NUM_THREADS %s; %.0f s warm-up, then %.0f s counted\n",
                BenchStars, WIN_X, WIN_Y, llvmpipeThreads != nullptr ? llvmpipeThreads : "unset (Mesa's default)",
                WarmupSeconds, RunSeconds);
    std::printf("  %-47s %6.2f turns/s %6.2f frames/s  (%d kernel threads)\n", program.Name, fast.TurnsPerSecond,
                fast.FramesPerSecond, everyCpu);
    std::printf("  %-47s %6.2f turns/s %6.2f frames/s  (1 kernel thread: the program %.2fx faster on %d)\n",
                program.Name, oneThread.TurnsPerSecond, oneThread.FramesPerSecond,
                fast.TurnsPerSecond / oneThread.TurnsPerSecond, everyCpu);
    std::printf("  %-47s %6.2f turns/s %6.2f frames/s  (the program %.2fx faster)\n", plain.Name,
                slow.TurnsPerSecond, slow.FramesPerSecond, fast.TurnsPerSecond / slow.TurnsPerSecond);
    return 0;
}

}  // namespace

// Ends through exit(), as the program does: in a page the runtime outlives a main that returns, and
// the page would never learn that the benchmark has ended.
int main(int argc, char** argv) {
    std::exit(Run(argc, argv));
}
