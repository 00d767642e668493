// The fast gravity kernel's driver: copies the live stars into lane-aligned arrays, runs the build
// chosen for this CPU over them and writes the forces back.
#include "galaxy.h"

namespace {

// Room for the whole table padded to a whole lane group, and the entries after it that the kernel
// reads ahead into.
constexpr int KernelRoom = (MaxStars + KernelLanes - 1) / KernelLanes * KernelLanes + KernelReadAhead;

struct strKernelArrays {
    alignas(64) double X[KernelRoom];
    alignas(64) double Y[KernelRoom];
    alignas(64) double Z[KernelRoom];
    alignas(64) double M[KernelRoom];
    alignas(64) double GM[KernelRoom];
    alignas(64) double FX[KernelRoom];
    alignas(64) double FY[KernelRoom];
    alignas(64) double FZ[KernelRoom];
    int Slot[KernelRoom];  // the Star entry behind each live entry
};

strKernelArrays K;

// The builds this program holds, by architecture; an absent one is empty.
struct strKernelBuild {
    void (*Pairs)(const strKernelCloud&);
    void (*Floor)(const double*, double*, int);
};

#if defined(__x86_64__)
constexpr strKernelBuild Builds[KernelVariants] = {{KernelPairsPortable, KernelFloorPortable},
                                                   {KernelPairsSse2, KernelFloorSse2},
                                                   {KernelPairsAvx2, KernelFloorAvx2},
                                                   {KernelPairsAvx512, KernelFloorAvx512},
                                                   {nullptr, nullptr}};
#elif defined(__aarch64__)
constexpr strKernelBuild Builds[KernelVariants] = {{KernelPairsPortable, KernelFloorPortable},
                                                   {nullptr, nullptr},
                                                   {nullptr, nullptr},
                                                   {nullptr, nullptr},
                                                   {KernelPairsNeon, KernelFloorNeon}};
#else
constexpr strKernelBuild Builds[KernelVariants] = {{KernelPairsPortable, KernelFloorPortable}};
#endif

constexpr const char* KernelNames[KernelVariants] = {"portable", "SSE2", "AVX2", "AVX-512", "NEON"};

// Whether the CPU runs the instruction set of a build this program holds.
bool CpuRuns(int variant) {
#if defined(__x86_64__)
    switch (variant) {
        case KernelAvx2: return __builtin_cpu_supports("avx2");
        case KernelAvx512: return __builtin_cpu_supports("avx512f");
        default: return true;
    }
#else
    (void)variant;
    return true;
#endif
}

int CloudSize() {
    return G.NumStars < MaxStars ? G.NumStars : MaxStars;
}

// Copies the live stars in their order and pads them to a whole lane group, and beyond it as far as
// the kernel reads ahead, with massless stars at the origin, which it never pairs anyway; returns the
// count of live stars.
int GatherLiveStars() {
    const double scale = -G.GravConst / (G.Radius * G.Radius);
    int n = 0;
    for (int s = 0; s < CloudSize(); ++s) {
        if (Star[s].Alive != 1) continue;
        K.Slot[n] = s;
        K.X[n] = Star[s].Pos.x;
        K.Y[n] = Star[s].Pos.y;
        K.Z[n] = Star[s].Pos.z;
        K.M[n] = Star[s].Mass;
        K.GM[n] = scale * Star[s].Mass;
        ++n;
    }
    const int padded = (n + KernelLanes - 1) / KernelLanes * KernelLanes + KernelReadAhead;
    for (int k = 0; k < padded; ++k) {
        if (k >= n) K.X[k] = K.Y[k] = K.Z[k] = K.M[k] = K.GM[k] = 0;
        K.FX[k] = K.FY[k] = K.FZ[k] = 0;
    }
    return n;
}

void ScatterForces(int n) {
    for (int s = 0; s < CloudSize(); ++s) Star[s].Force = {0, 0, 0};
    for (int k = 0; k < n; ++k) Star[K.Slot[k]].Force = {K.FX[k], K.FY[k], K.FZ[k]};
}

}  // namespace

bool KernelSupported(int variant) {
    return variant >= 0 && variant < KernelVariants && Builds[variant].Pairs != nullptr && CpuRuns(variant);
}

// Every build gives the same bits, so the choice is free; on the machines measured the widest
// registers the CPU runs are also the fastest.
int KernelBest() {
    static const int best = [] {
        int found = KernelPortable;
        for (int v = 0; v < KernelVariants; ++v) {
            if (KernelSupported(v)) found = v;
        }
        return found;
    }();
    return best;
}

const char* KernelName(int variant) {
    return variant >= 0 && variant < KernelVariants ? KernelNames[variant] : "";
}

void GravityForcesWith(int variant) {
    const int n = GatherLiveStars();
    const strKernelCloud cloud = {K.X, K.Y, K.Z, K.M, K.GM, K.FX, K.FY, K.FZ, n, -G.GravConst, G.Radius};
    Builds[variant].Pairs(cloud);
    ScatterForces(n);
}

void GravityForces() {
    GravityForcesWith(KernelBest());
}

void KernelFloorWith(int variant, const double* in, double* out, int n) {
    Builds[variant].Floor(in, out, n);
}
