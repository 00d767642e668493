// galaxy: the application core and the simulation driver. The shared records of the run, the entry
// point and main loop, start-up and parameters, the engine states, generation and integration of the
// cloud, the camera motion and the evolution-mode controls.
#pragma once

#include "utility.h"

// ---- Constants ----------------------------------------------------------------------------------------

// Largest star count; the star prompt clamps to it and the tables hold this many entries.
constexpr int MaxStars = 10000;
// The speed range the controls allow and the speed bar shows, scene units per 1/300 s: the
// single-precision 0.001, widened.
constexpr double SpeedLimit = static_cast<double>(0.001f);

// Application states held in AppState.
constexpr int StateSetup = 0;      // start screen and the four parameter prompts
constexpr int StateEvolution = 1;  // the cloud evolves and the camera flies
constexpr int StateQuitting = 2;   // set together with Quit; the engine does nothing more

// ---- Shared records -----------------------------------------------------------------------------------

// Colour of a star, each component 0 to 1.
struct strColor {
    float Red, Green, Blue;
};

// One star. Pos in scene units (multiples of G.Radius), Vel in m/s, Force in N, Mass in kg.
struct strStar {
    double Mass;     // set at generation, constant afterwards
    double Size;     // half the side of the sprite, scene units (0.002 to 0.004)
    strBod Pos;
    strBod Vel;
    strBod Force;    // accumulator of the current turn
    int Alive;       // 1: integrated and drawn; nothing clears it
    strColor Color;
};

// One entry of the depth-sort table: a star and its distance from the camera in scene units.
struct strStarIdx {
    int Index;
    double Dist;
};

// The system record.
struct strSystem {
    float KeyDelay;   // seconds between two accepted key-downs of one key
    int RefreshRate;  // frames a second the pacer aims at, 1 to 50
};

// The global record: simulation parameters and the camera ("ship"), fields in this order.
struct strGlobal {
    int NumStars;       // stars in the cloud, 1 to MaxStars once generated
    int NumVisible;     // entries of StarIdx filled for the current frame
    int Seed;           // the random seed in force
    int Turn;           // integrated turns
    int Pause;          // 1 while the simulation is paused
    double GravConst;   // m^3 kg^-1 s^-2
    double SolarMass;   // kg
    double LightYear;   // m
    double DeltaT;      // time step, years
    strBod ShipPos;     // camera position, scene units
    strBod ShipVel;     // displacement added by the latest motion step
    double ShipSpeed;   // signed speed along the view, scene units per 1/300 s
    double Radius;      // cloud radius, m: one scene unit
    // Mouse look: the mouse's turn per pixel is the product of MouseYawFactor (or PitchFactor, with
    // its sign), MouseLookScale (galaxy_ship.cpp) and TurnRate, 0.15 degrees a pixel.
    double MouseYawFactor;  // -1: moving the mouse right turns the view right
    double PitchFactor;     // -1: moving the mouse down tilts the view up, and Up tilts it down
    double SpeedStep;       // change of ShipSpeed per 1/300 s while A or Z is held
    double SpeedThreshold;  // below this magnitude the camera stands still
    double TurnRate;        // degrees per 1/300 s for the turn keys
    strBod ShipRight;   // camera x axis
    strBod ShipUp;      // camera y axis
    strBod ShipBack;    // camera z axis; the camera looks along -ShipBack
    float ViewMatrix[16];     // view rotation, rebuilt every evolution frame
    float ViewMatrixInv[16];  // its inverse: the billboard rotation of the sprites
};

// The cloud; entries 0 to G.NumStars - 1 are used.
extern strStar Star[MaxStars];
// The depth-sort table of the star field; its first G.NumVisible entries count.
extern strStarIdx StarIdx[MaxStars];
// StateSetup, StateEvolution or StateQuitting.
extern int AppState;
// 1 ends the main loop; only ever set.
extern int Quit;
// The system record: key delay and frame rate.
extern strSystem S;
// The global record: the run's parameters and the camera.
extern strGlobal G;
// Stars of the cloud: G.NumStars, never more than the tables hold, whatever it says.
inline int CloudSize() { return G.NumStars < MaxStars ? G.NumStars : MaxStars; }
// Clock value (ms) of the previous camera-motion step.
extern int LastPhysic;
// Clock value (ms) of the previous evolution key step.
extern int LastPlayer;

// ---- Start-up, states and main loop ---------------------------------------------------------------

// The entry point's steps: start-up, window, main loop, teardown. Returns the exit status.
int WinMain();
// One-time start-up: log, seed, state, timers, screen size, mouse, parameters. Returns 0.
int AmbrelInit();
// Sets the simulation and camera fields of G to their initial values (leaves Seed and NumVisible).
void InitParameters();
// One pass of the main loop: a message step, then an engine step while the window is active.
void MainLoopStep();
// One step of the application engine in the current AppState.
void GameEngine();
// Takes the answer of setup prompt `prompt` (0 stars, 1 radius, 2 time step, 3 seed) into G:
// `result` is the prompt's Result (negative when cancelled), `text` its Text.
void ApplyPromptAnswer(int prompt, int result, const char* text);
// The end of the setup: the cloud from the answers taken, the evolution state, its first frame
// drawn (not yet shown), and the mouse motion of the prompts dropped.
void StartEvolution();
// Requests the end of the program: AppState = StateQuitting, Quit = 1.
void AmbrelQuit();

// ---- Simulation -----------------------------------------------------------------------------------

// Fills Star[0 .. G.NumStars - 1] with a cloud at rest in the unit sphere from the current random sequence.
void GenerateGalaxy();
// Advances every live star by one turn of G.DeltaT years of direct pairwise gravity.
void EvolRecalc();
// The same turn computed by the plain nested loop: the reference the fast kernel must agree with.
void EvolRecalcPlain();
// The time step G.DeltaT in seconds: years of 365 days, multiplied in the program's historical order
// (days first, then the step, hours, minutes and seconds), which gives the step its bits.
double TurnSeconds();

// ---- Camera motion and controls -------------------------------------------------------------------

// Moves the camera along its view by the wall-clock time since the previous step.
void ShipRecalc();
// The evolution-mode controls: pause, quit, mouse look, turns, rolls and speed.
void EvolutionKeys();

// ---- Fast gravity kernel ----------------------------------------------------------------------------
// The pair sums of a turn over copies of the live stars' positions and masses, built for several
// instruction sets that all give the same bits; the best one the CPU runs is chosen at the first use.
// 1 / d comes from a single-precision seed refined in double; squared distances outside the seed's
// range take the reference loop's formula.

// Doubles handled together by every build of the kernel; the sums run lane by lane in groups this wide.
constexpr int KernelLanes = 8;
// Builds of the kernel, in increasing order of preference. Each exists only where its instruction set
// does: the portable one everywhere, SSE2, AVX2 and AVX-512 on x86-64, NEON on 64-bit ARM.
constexpr int KernelPortable = 0;
constexpr int KernelSse2 = 1;
constexpr int KernelAvx2 = 2;
constexpr int KernelAvx512 = 3;
constexpr int KernelNeon = 4;
constexpr int KernelVariants = 5;

// Whether this program holds the given build and this CPU (and its operating system) runs it.
bool KernelSupported(int variant);
// The most preferred build the CPU runs.
int KernelBest();
// "portable", "SSE2", "AVX2", "AVX-512" or "NEON".
const char* KernelName(int variant);
// Clears Force of Star[0 .. NumStars - 1] and adds the pull of every pair of live stars with the
// given build, which must be supported.
void GravityForcesWith(int variant);
// The same with the best build.
void GravityForces();
// The floor loop of the given build, which must be supported.
void KernelFloorWith(int variant, const double* in, double* out, int n);

// ---- Threads of the gravity kernel ------------------------------------------------------------------
// The pairs of a turn are cut into pieces whose bounds depend on the count of live stars alone; each
// piece sums into its own arrays, which are then added star by star in piece order. Whichever thread
// works a piece, and however many there are, a turn gives the same bits.

// Most threads a turn uses, the main thread included.
constexpr int KernelMaxThreads = 64;
// Most pieces the pairs of a turn are cut into.
constexpr int KernelMaxPieces = 32;

// Starts the workers once at program start: as many threads in all, the main thread included, as CPUs
// the process may run on, at most KernelMaxThreads; where none can be started the main thread works alone.
void KernelStartThreads();
// Wakes the workers to end and joins them; safe when none were started.
void KernelStopThreads();
// Uses at most `count` threads (main thread included, at least 1) from then on, starting workers as
// needed; for tests and benchmarks.
void KernelSetThreads(int count);
// Threads a turn uses now, the main thread included.
int KernelThreads();
// A call the main thread makes between the pieces it works, so that the program keeps up with the
// window system through a long turn, in which it takes no message; null (the default) calls nothing.
void KernelSetPoll(void (*poll)());
// Bounds of the pieces of a cloud of n live stars: piece p holds rows first[p] to first[p + 1] - 1.
// Returns the count of pieces; first holds KernelMaxPieces + 1 entries.
int KernelPieces(int n, int* first);

// ---- Offered, not called by the program -----------------------------------------------------------

// Closes the window and ends the process with status 0 at once.
[[noreturn]] void AmbrelForcedExit();
