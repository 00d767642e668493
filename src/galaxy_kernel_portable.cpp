// The fast gravity kernel built without vector instructions: one double a lane, for every CPU. Its
// float and double operations are the IEEE ones of the vector builds, lane by lane, so it gives
// their bits, and it is the build of last resort wherever no vector build exists.
#include <cfloat>
#include <cmath>

#include "galaxy_kernel.h"

// Single and double precision must be evaluated in their own formats, as the vector builds do.
static_assert(FLT_EVAL_METHOD == 0, "float and double arithmetic in their own precision");

namespace {

typedef double Lanes;
constexpr int LaneWidth = 1;

inline Lanes Load(const double* p) {
    return *p;
}

inline void Store(double* p, Lanes v) {
    *p = v;
}

inline Lanes Splat(double x) {
    return x;
}

inline Lanes Sqrt(Lanes v) {
    return std::sqrt(v);
}

inline Lanes RoundToFloat(Lanes v) {
    return static_cast<float>(v);
}

inline bool Seeded(float f) {
    return f >= static_cast<float>(SeedLow) && f <= static_cast<float>(SeedHigh);
}

inline bool Seeds(Lanes a, Lanes b, Lanes& sa, Lanes& sb) {
    const float fa = static_cast<float>(a), fb = static_cast<float>(b);
    sa = 1.0f / std::sqrt(fa);
    sb = 1.0f / std::sqrt(fb);
    return Seeded(fa) && Seeded(fb);
}

}  // namespace

#define KERNEL_PAIRS KernelPairsPortable
#define KERNEL_FLOOR KernelFloorPortable
#include "galaxy_kernel_body.h"
