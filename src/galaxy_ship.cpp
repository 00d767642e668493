// The camera ("ship") in flight: its motion along the view on the wall clock, and the evolution-mode
// controls that turn it, change its speed, pause the simulation and end the program.
#include <cmath>

#include "galaxy.h"
#include "system.h"

int LastPhysic;
int LastPlayer;

namespace {

constexpr double MsPerSecond = 1000.0;
// Motion and controls count time in step units of 1/300 s.
constexpr double StepUnitsPerSecond = 300.0;
// Longest time a held key counts in one key step while the simulation runs, ms: a slow turn of the
// integration must not make the camera jump.
constexpr int LongestRunningKeyStepMs = 33;
// Degrees of mouse look per pixel before G's factors and TurnRate: with them, 0.15 degrees a pixel.
constexpr double MouseLookScale = static_cast<double>(0.3f);

// Windows virtual-key codes of the letter keys.
constexpr int KeyA = 'A';
constexpr int KeyQ = 'Q';
constexpr int KeyW = 'W';
constexpr int KeyZ = 'Z';

// Step units in an elapsed time of `ms` milliseconds.
double StepUnits(int ms) { return ms / MsPerSecond * StepUnitsPerSecond; }

// Turns the whole camera about one of its own axes. The axis is copied first: it is itself among
// the three vectors turned, and Rotate normalises the axis it is given.
void TurnAbout(const strBod& axis, double degrees) {
    strBod pivot = axis;
    Rotate(degrees, &pivot, &G.ShipRight);
    Rotate(degrees, &pivot, &G.ShipUp);
    Rotate(degrees, &pivot, &G.ShipBack);
}

// Mouse look: horizontal movement yaws about ShipUp, vertical movement pitches about ShipRight.
// A sum that is not a finite number would turn the axes into NaN for good, so it is dropped
// like any consumed movement instead of being applied.
void MouseLook() {
    if (Mouse.SumX != 0) {
        if (std::isfinite(Mouse.SumX))
            TurnAbout(G.ShipUp, G.MouseYawFactor * MouseLookScale * Mouse.SumX * G.TurnRate);
        Mouse.DX = 0;
    }
    if (Mouse.SumY != 0) {
        if (std::isfinite(Mouse.SumY))
            TurnAbout(G.ShipRight, -G.PitchFactor * MouseLookScale * Mouse.SumY * G.TurnRate);
        Mouse.DY = 0;
    }
    Mouse.SumX = 0;
    Mouse.SumY = 0;
}

// Step units key `code` was held since the last key step; while the simulation runs, no more than
// LongestRunningKeyStepMs of them.
double HeldUnits(int code, int now) {
    int ms = TakeHeldMs(code, now);
    if (G.Pause == 0 && ms > LongestRunningKeyStepMs) ms = LongestRunningKeyStepMs;
    return StepUnits(ms);
}

// Turns about `axis` by `rate` degrees a step unit for the time the key was held, if it was.
void HeldTurn(int code, int now, const strBod& axis, double rate) {
    const double k = HeldUnits(code, now);
    if (k > 0) TurnAbout(axis, rate * k);
}

// The held turn keys, each on its own.
void HeldTurns(int now) {
    HeldTurn(VK_LEFT, now, G.ShipUp, G.TurnRate);
    HeldTurn(VK_RIGHT, now, G.ShipUp, -G.TurnRate);
    HeldTurn(VK_UP, now, G.ShipRight, G.TurnRate * G.PitchFactor);
    HeldTurn(VK_DOWN, now, G.ShipRight, -G.TurnRate * G.PitchFactor);
    HeldTurn(KeyQ, now, G.ShipBack, G.TurnRate);
    HeldTurn(KeyW, now, G.ShipBack, -G.TurnRate);
}

// The held speed keys. Each is limited only on the side it pushes towards, and neither stops at 0 on
// the way through.
void HeldSpeed(int now) {
    const double faster = HeldUnits(KeyA, now);
    if (faster > 0) {
        G.ShipSpeed += G.SpeedStep * faster;
        if (G.ShipSpeed > SpeedLimit) G.ShipSpeed = SpeedLimit;
    }
    const double slower = HeldUnits(KeyZ, now);
    if (slower > 0) {
        G.ShipSpeed -= G.SpeedStep * slower;
        if (G.ShipSpeed < -SpeedLimit) G.ShipSpeed = -SpeedLimit;
    }
}

}  // namespace

void ShipRecalc() {
    const int now = Clock();
    const int dt = now - LastPhysic;
    // Advanced even while standing still, so that time spent at rest is never made up later.
    LastPhysic = now;
    const double k = StepUnits(dt);
    // A speed that is not a number fails the comparison and leaves the camera where it is.
    if (!(std::fabs(G.ShipSpeed) >= G.SpeedThreshold)) return;
    G.ShipVel.x = (-G.ShipBack.x * G.ShipSpeed) * k;
    G.ShipVel.y = (-G.ShipBack.y * G.ShipSpeed) * k;
    G.ShipVel.z = (-G.ShipBack.z * G.ShipSpeed) * k;
    G.ShipPos.x += G.ShipVel.x;
    G.ShipPos.y += G.ShipVel.y;
    G.ShipPos.z += G.ShipVel.z;
}

void EvolutionKeys() {
    if (TakeKey(VK_SPACE)) {
        G.Pause = G.Pause == 0 ? 1 : 0;
        return;
    }
    if (TakeKey(VK_ESCAPE)) {
        AppState = StateQuitting;
        Quit = 1;
        return;
    }

    MouseLook();

    // Within one clock tick the held keys wait for the next call; their time waits with them.
    const int now = Clock();
    if (now == LastPlayer) return;
    LastPlayer = now;
    HeldTurns(now);
    HeldSpeed(now);
}
