// turn_bits: the exact bits of a generated cloud and of its first turns, so that two builds of Kelvra
// (another operating system, another CPU) can be compared with a plain diff. Before the turns run,
// every build of the gravity kernel this CPU runs computes the first turn's forces, and they must
// agree to the bit; the turns are then run by the program's own step with the build it chooses.
//
// Usage: turn_bits STARS SEED [TURNS]      (1 to 10000 stars, TURNS 1 by default)
// Output, every double as the 16 hex digits of its bits:
//   params  the constants and answers the turn uses
//   chosen  the kernel build the program chooses: the only line that depends on the CPU
// The turns run on as many threads as the program would use (told on standard error), which must
// not change a bit.
//   cloud   one line a star as generated: mass, position
//   turn    one line a star after TURNS turns: position, velocity, the last turn's force
//   digest  FNV-1a of all the lines above but "chosen"
// Exit status 0; 1 when the kernel builds disagree (told on standard error); 2 on a usage error.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "galaxy.h"
#include "utility.h"

namespace {

// The prompts' defaults: a cloud of 40 light years, turns of 20,000 years.
constexpr double CloudRadiusLy = 40;
constexpr double TurnYears = 20000;

constexpr std::uint64_t FnvOffset = 0xcbf29ce484222325u;
constexpr std::uint64_t FnvPrime = 0x100000001b3u;

std::uint64_t Digest = FnvOffset;

strStar Cloud[MaxStars];
strBod ReferenceForce[MaxStars];

// Prints one line and adds it to the digest.
void Line(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) Digest = (Digest ^ static_cast<unsigned char>(*c)) * FnvPrime;
    Digest = (Digest ^ '\n') * FnvPrime;
    std::printf("%s\n", text);
}

std::uint64_t Bits(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// Appends " <hex>" for each of the n doubles to text, which holds room for them.
void AppendBits(char* text, std::size_t room, const double* values, int n) {
    for (int k = 0; k < n; ++k) {
        const std::size_t used = std::strlen(text);
        std::snprintf(text + used, room - used, " %016" PRIx64, Bits(values[k]));
    }
}

bool SameForces(const strBod* a, const strBod* b, int n) {
    return std::memcmp(a, b, sizeof(strBod) * static_cast<std::size_t>(n)) == 0;
}

// The first turn's forces of the cloud with every build the CPU runs; true when they all agree.
bool BuildsAgree() {
    bool agree = true;
    for (int v = 0; v < KernelVariants; ++v) {
        if (!KernelSupported(v)) continue;
        std::memcpy(Star, Cloud, sizeof Cloud);
        GravityForcesWith(v);
        static strBod force[MaxStars];
        for (int i = 0; i < G.NumStars; ++i) force[i] = Star[i].Force;
        if (v == KernelPortable) {
            std::memcpy(ReferenceForce, force, sizeof force);
        } else if (!SameForces(force, ReferenceForce, G.NumStars)) {
            std::fprintf(stderr, "turn_bits: the %s build's forces differ from the portable build's\n", KernelName(v));
            agree = false;
        }
    }
    return agree;
}

bool ParseCount(const char* text, long long lo, long long hi, long long* value) {
    char* end = nullptr;
    *value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && *value >= lo && *value <= hi;
}

}  // namespace

int main(int argc, char** argv) {
    long long stars = 0, seed = 0, turns = 1;
    if (argc < 3 || argc > 4 || !ParseCount(argv[1], 1, MaxStars, &stars) ||
        !ParseCount(argv[2], 0, 4294967295LL, &seed) || (argc == 4 && !ParseCount(argv[3], 1, 1000000, &turns))) {
        std::fprintf(stderr, "usage: turn_bits STARS SEED [TURNS]   (STARS 1 to %d)\n", MaxStars);
        return 2;
    }
    KernelStartThreads();
    std::fprintf(stderr, "turn_bits: %d threads\n", KernelThreads());
    InitParameters();
    G.NumStars = static_cast<int>(stars);
    G.Radius = CloudRadiusLy * G.LightYear;
    G.DeltaT = TurnYears;
    RandSeed(static_cast<unsigned int>(seed));
    GenerateGalaxy();
    std::memcpy(Cloud, Star, sizeof Star);

    char text[512];
    std::snprintf(text, sizeof text, "params stars=%lld seed=%lld turns=%lld", stars, seed, turns);
    const double constants[] = {G.GravConst, G.SolarMass, G.LightYear, G.Radius, G.DeltaT};
    AppendBits(text, sizeof text, constants, 5);
    Line(text);
    std::printf("chosen %s\n", KernelName(KernelBest()));
    for (int i = 0; i < G.NumStars; ++i) {
        std::snprintf(text, sizeof text, "cloud %d", i);
        const double values[] = {Cloud[i].Mass, Cloud[i].Pos.x, Cloud[i].Pos.y, Cloud[i].Pos.z};
        AppendBits(text, sizeof text, values, 4);
        Line(text);
    }

    const bool agree = BuildsAgree();
    std::memcpy(Star, Cloud, sizeof Cloud);
    for (long long t = 0; t < turns; ++t) EvolRecalc();
    for (int i = 0; i < G.NumStars; ++i) {
        const strStar& s = Star[i];
        std::snprintf(text, sizeof text, "turn %d", i);
        const double values[] = {s.Pos.x, s.Pos.y, s.Pos.z, s.Vel.x, s.Vel.y, s.Vel.z, s.Force.x, s.Force.y, s.Force.z};
        AppendBits(text, sizeof text, values, 9);
        Line(text);
    }
    std::printf("digest %016" PRIx64 "\n", Digest);
    return agree ? 0 : 1;
}
